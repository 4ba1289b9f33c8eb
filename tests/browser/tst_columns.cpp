// What the columns hold and how clicks list folders into them.

#include "TestSupport.h"

#include "browser/CColumnList.h"
#include "ui/CDirquillDlg.h"

#include <QDir>
#include <QTest>

using namespace testsupport;

namespace {
const QString kDriveHeading = QString::fromUtf8("----------我的电脑---------");
const QString kWorkHeading = QString::fromUtf8("----------自定义目录---------");
} // namespace

class TestColumns : public QObject {
    Q_OBJECT
private slots:
    void rootColumnListsHeadingsDrivesAndWorkDirs();
    void levelColumnListsEveryEntryOfTheSelectedFolder();
    void headingBlankAndFileRowsListNothing();
    void clicksDrillDownAndEmptyTheColumnsAfter();
    void clickOnEmptySpaceClearsTheSelectionAndTheColumnsAfter();
    void keyboardSelectionRefillsNothing();
    void doubleClickOpensTheSelectionPath();
    void doubleClickOpensWhatTheColumnListed();
    void rightClickRefillsThenShowsTheColumnMenu();
};

void TestColumns::rootColumnListsHeadingsDrivesAndWorkDirs() {
    TestWorkspace workspace({u("/data/照片"), u("  spaced  ")});
    workspace.setDriveRoots({"/", "/mnt/usb/"});
    CDirquillDlg dlg;
    dlg.Create();
    QCOMPARE(rowTexts(dlg.Column(0)),
             QStringList({kDriveHeading, "/", "/mnt/usb/", QString(), kWorkHeading, u("/data/照片"),
                          u("  spaced  ")}));
    for (int k = 1; k < 5; ++k) {
        QCOMPARE(dlg.Column(k).GetItemCount(), 0);
        QCOMPARE(dlg.SelectedRow(k), -1);
    }
    QCOMPARE(dlg.SelectedRow(0), -1);

    TestWorkspace empty;
    CDirquillDlg bare;
    bare.Create();
    QCOMPARE(rowTexts(bare.Column(0)).last(), kWorkHeading);
}

void TestColumns::levelColumnListsEveryEntryOfTheSelectedFolder() {
    TestWorkspace workspace;
    makeFile(workspace.root() + "/a.txt");
    makeFile(workspace.root() + "/.hidden");
    makeFolder(workspace.root() + u("/文件夹/sub"));
    CDirquillDlg dlg;
    dlg.Create();
    dlg.Column(0).SelectRow(1);
    dlg.RefillColumnsFrom(1);
    QStringList names = rowTexts(dlg.Column(1));
    names.sort();
    QCOMPARE(names, QStringList({".hidden", "a.txt", "config.mdb", u("文件夹")}));
    // The drive row ends in a separator, so paths below it carry a doubled one.
    const int folderRow = rowTexts(dlg.Column(1)).indexOf(u("文件夹"));
    dlg.Column(1).SelectRow(folderRow);
    QCOMPARE(dlg.SelectionPath(1), workspace.root() + u("//文件夹"));
    dlg.RefillColumnsFrom(2);
    QCOMPARE(rowTexts(dlg.Column(2)), QStringList({"sub"}));
    // Refilling from 1 lists column 1 afresh and leaves 2 to 4 empty.
    dlg.Column(2).SelectRow(0);
    dlg.RefillColumnsFrom(3);
    dlg.RefillColumnsFrom(1);
    QCOMPARE(dlg.Column(1).GetItemCount(), 4);
    QCOMPARE(dlg.SelectedRow(1), -1);
    for (int k = 2; k < 5; ++k) {
        QCOMPARE(dlg.Column(k).GetItemCount(), 0);
    }
}

void TestColumns::headingBlankAndFileRowsListNothing() {
    TestWorkspace workspace({QString()});
    makeFile(workspace.root() + "/plain.txt");
    CDirquillDlg dlg;
    dlg.Create();
    const QStringList rows = rowTexts(dlg.Column(0));
    const int blank = rows.indexOf(QString());
    const int storedEmpty = rows.size() - 1;
    for (const int row : {blank, storedEmpty}) {
        dlg.Column(0).SelectRow(row);
        dlg.RefillColumnsFrom(1);
        QCOMPARE(dlg.Column(1).GetItemCount(), 0);
    }
    dlg.Column(0).SelectRow(rows.indexOf(kWorkHeading));
    dlg.RefillColumnsFrom(1);
    QCOMPARE(dlg.Column(1).GetItemCount(), 0);

    dlg.Column(0).SelectRow(1);
    dlg.RefillColumnsFrom(1);
    dlg.Column(1).SelectRow(rowTexts(dlg.Column(1)).indexOf("plain.txt"));
    dlg.RefillColumnsFrom(2);
    QCOMPARE(dlg.Column(2).GetItemCount(), 0);
}

void TestColumns::clicksDrillDownAndEmptyTheColumnsAfter() {
    TestWorkspace workspace;
    makeFolder(workspace.root() + "/l1/l2/l3/l4");
    makeFile(workspace.root() + "/l1/l2/l3/l4/deep.txt");
    CDirquillDlg dlg;
    dlg.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    clickRow(&dlg.Column(0), 1);
    clickRow(&dlg.Column(1), rowTexts(dlg.Column(1)).indexOf("l1"));
    clickRow(&dlg.Column(2), 0);
    clickRow(&dlg.Column(3), 0);
    QCOMPARE(rowTexts(dlg.Column(4)), QStringList({"l4"}));
    clickRow(&dlg.Column(4), 0);
    QCOMPARE(dlg.SelectionPath(4), workspace.root() + "//l1/l2/l3/l4");
    // A click in column 4 changes nothing; a click further left empties the columns after.
    QCOMPARE(rowTexts(dlg.Column(4)), QStringList({"l4"}));
    clickRow(&dlg.Column(1), rowTexts(dlg.Column(1)).indexOf("l1"));
    QCOMPARE(dlg.Column(2).GetItemCount(), 1);
    QCOMPARE(dlg.Column(3).GetItemCount(), 0);
    QCOMPARE(dlg.Column(4).GetItemCount(), 0);
}

void TestColumns::clickOnEmptySpaceClearsTheSelectionAndTheColumnsAfter() {
    TestWorkspace workspace;
    makeFolder(workspace.root() + "/l1/l2");
    CDirquillDlg dlg;
    dlg.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    clickRow(&dlg.Column(0), 1);
    clickRow(&dlg.Column(1), rowTexts(dlg.Column(1)).indexOf("l1"));
    QCOMPARE(dlg.Column(2).GetItemCount(), 1);
    clickRow(&dlg.Column(1), -1);
    QCOMPARE(dlg.SelectedRow(1), -1);
    QCOMPARE(dlg.Column(2).GetItemCount(), 0);
}

void TestColumns::keyboardSelectionRefillsNothing() {
    TestWorkspace workspace({QStringLiteral("/nonexistent-work-dir")});
    makeFolder(workspace.root() + "/x");
    CDirquillDlg dlg;
    dlg.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    clickRow(&dlg.Column(0), 1);
    const QStringList listed = rowTexts(dlg.Column(1));
    dlg.Column(0).setFocus();
    QTest::keyClick(&dlg.Column(0), Qt::Key_Down);
    QCOMPARE(dlg.SelectedRow(0), 2);
    QCOMPARE(rowTexts(dlg.Column(1)), listed);
}

void TestColumns::doubleClickOpensTheSelectionPath() {
    TestWorkspace workspace({QStringLiteral("/srv/work")});
    makeFile(workspace.root() + u("/说明 file.txt"));
    OpenRecorder opened;
    CDirquillDlg dlg;
    dlg.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    // Column 0 opens the row text itself; a heading is passed on as it stands.
    doubleClickRow(&dlg.Column(0), 1);
    doubleClickRow(&dlg.Column(0), dlg.Column(0).GetItemCount() - 1);
    QCOMPARE(opened.urls.size(), 2);
    QCOMPARE(opened.urls[0].toLocalFile(), workspace.root());
    QCOMPARE(opened.urls[1].toLocalFile(), QStringLiteral("/srv/work"));

    clickRow(&dlg.Column(0), 1);
    doubleClickRow(&dlg.Column(1), rowTexts(dlg.Column(1)).indexOf(u("说明 file.txt")));
    QCOMPARE(opened.urls.size(), 3);
    QCOMPARE(opened.urls[2].toLocalFile(), workspace.root() + u("/说明 file.txt"));
    // Nothing is refilled by a double click.
    QCOMPARE(dlg.SelectedRow(1), rowTexts(dlg.Column(1)).indexOf(u("说明 file.txt")));

    // No selection in the column: nothing to open.
    clickRow(&dlg.Column(1), -1);
    doubleClickRow(&dlg.Column(1), -1);
    QCOMPARE(opened.urls.size(), 3);
}

void TestColumns::doubleClickOpensWhatTheColumnListed() {
    // "link/.." is the parent of the link's target, not the folder that holds the link.
    TestWorkspace workspace;
    const QString root = workspace.root();
    makeFile(root + "/real/report.txt", "real");
    makeFolder(root + "/real/sub");
    makeFile(root + "/report.txt", "elsewhere");
    QVERIFY(QFile::link(root + "/real/sub", root + "/link"));
    workspace.setDriveRoots({root + "/link/../"});
    OpenRecorder opened;
    CDirquillDlg dlg;
    dlg.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    clickRow(&dlg.Column(0), 1);
    QCOMPARE(rowTexts(dlg.Column(1)), QStringList({"report.txt", "sub"}));
    doubleClickRow(&dlg.Column(1), 0);
    doubleClickRow(&dlg.Column(0), 1);
    QCOMPARE(opened.urls.size(), 2);
    QCOMPARE(opened.urls[0].toLocalFile(), root + "/real/report.txt");
    QCOMPARE(opened.urls[1].toLocalFile(), root + "/real");
}

void TestColumns::rightClickRefillsThenShowsTheColumnMenu() {
    TestWorkspace workspace;
    makeFolder(workspace.root() + "/l1/l2/l3/l4");
    CDirquillDlg dlg;
    dlg.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    QStringList items;
    chooseFromNextMenu(QString(), &items);
    rightClickRow(&dlg.Column(0), 1);
    QCOMPARE(items, QStringList({u("增加工作目录"), u("删除工作目录")}));
    QVERIFY(dlg.Column(1).GetItemCount() > 0);

    clickRow(&dlg.Column(1), rowTexts(dlg.Column(1)).indexOf("l1"));
    clickRow(&dlg.Column(2), 0);
    clickRow(&dlg.Column(3), 0);
    clickRow(&dlg.Column(4), 0);
    // Column 4 refills nothing; the others refill the columns after them first.
    for (int k = 4; k >= 1; --k) {
        items.clear();
        chooseFromNextMenu(QString(), &items);
        rightClickRow(&dlg.Column(k), k == 1 ? rowTexts(dlg.Column(1)).indexOf("l1") : 0);
        QCOMPARE(items, QStringList({u("新建文件夹"), u("删除"), u("重命名")}));
        if (k == 4) {
            QCOMPARE(dlg.SelectedRow(4), 0);
        } else {
            QCOMPARE(dlg.Column(k + 1).GetItemCount(), 1);
            QCOMPARE(dlg.SelectedRow(k + 1), -1);
        }
    }
    // Empty space below the rows still has the menu.
    items.clear();
    chooseFromNextMenu(QString(), &items);
    rightClickRow(&dlg.Column(3), -1);
    QCOMPARE(items.size(), 3);
}

QTEST_MAIN(TestColumns)
#include "tst_columns.moc"
