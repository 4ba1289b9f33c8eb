// Adding and deleting work directories from column 0, with a real database.

#include "TestSupport.h"

#include "app/CDirquillApp.h"
#include "browser/CColumnList.h"
#include "res/resource.h"
#include "ui/CDirquillDlg.h"

#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <sqlite3.h>

using namespace testsupport;

class TestWorkDirCommands : public QObject {
    Q_OBJECT
private slots:
    void addAppendsTheTypedTextUnchanged();
    void cancelAddsNothing();
    void deleteRemovesEveryEqualRecordAndRebuilds();
    void deleteOfAHeadingRowChangesNoRecord();
    void quotesDeleteExactlyTheirOwnRecords();
    void failedWritesChangeNeitherDatabaseNorColumn();
    void failedListingIsReportedOnceAndKeepsTheFixedRows();
};

void TestWorkDirCommands::addAppendsTheTypedTextUnchanged() {
    TestWorkspace workspace({"/first"});
    CDirquillDlg dlg;
    dlg.Create();
    dlg.Column(0).SelectRow(1);
    dlg.RefillColumnsFrom(1);
    const int listed = dlg.Column(1).GetItemCount();
    for (const QString& text : {u("  /数据/照片 "), QString(), QStringLiteral("/first")}) {
        QString title;
        onNextModal([&title, text](QWidget* prompt) {
            title = prompt->windowTitle();
            prompt->findChild<QLineEdit*>()->setText(text);
            QTest::keyClick(prompt, Qt::Key_Return);
        });
        dlg.OnCommandId(ID_ADD_WORKDIR);
        QCOMPARE(title, u("工作目录"));
        QCOMPARE(rowTexts(dlg.Column(0)).last(), text);
    }
    QCOMPARE(workspace.storedWorkDirs(),
             QStringList({"/first", u("  /数据/照片 "), QString(), "/first"}));
    // The other columns and the selection are left alone.
    QCOMPARE(dlg.SelectedRow(0), 1);
    QCOMPARE(dlg.Column(1).GetItemCount(), listed);
}

void TestWorkDirCommands::cancelAddsNothing() {
    TestWorkspace workspace;
    CDirquillDlg dlg;
    dlg.Create();
    const int rows = dlg.Column(0).GetItemCount();
    answerNextPrompt("/never", false);
    dlg.OnAddWorkDir();
    QCOMPARE(dlg.Column(0).GetItemCount(), rows);
    QVERIFY(workspace.storedWorkDirs().isEmpty());
}

void TestWorkDirCommands::deleteRemovesEveryEqualRecordAndRebuilds() {
    TestWorkspace workspace({"/dup", "/keep", "/dup"});
    CDirquillDlg dlg;
    dlg.Create();
    // Nothing selected: nothing happens.
    dlg.OnDeleteWorkDir();
    QCOMPARE(workspace.storedWorkDirs().size(), 3);

    dlg.Column(0).SelectRow(1);
    dlg.RefillColumnsFrom(1);
    QVERIFY(dlg.Column(1).GetItemCount() > 0);
    dlg.Column(0).SelectRow(rowTexts(dlg.Column(0)).indexOf("/dup"));
    dlg.OnCommandId(ID_DELETE_WORKDIR);
    QCOMPARE(workspace.storedWorkDirs(), QStringList({"/keep"}));
    QCOMPARE(rowTexts(dlg.Column(0)).last(), QStringLiteral("/keep"));
    QCOMPARE(rowTexts(dlg.Column(0)).count("/dup"), 0);
    QCOMPARE(dlg.SelectedRow(0), -1);
    for (int k = 1; k < 5; ++k) {
        QCOMPARE(dlg.Column(k).GetItemCount(), 0);
    }
}

void TestWorkDirCommands::deleteOfAHeadingRowChangesNoRecord() {
    TestWorkspace workspace({"/keep/"});
    workspace.setDriveRoots({"/", "/keep/"});
    CDirquillDlg dlg;
    dlg.Create();
    for (int row : {0, 3, 4}) {
        dlg.Column(0).SelectRow(row);
        dlg.OnDeleteWorkDir();
        QCOMPARE(workspace.storedWorkDirs(), QStringList({"/keep/"}));
    }
    // A drive row whose text equals a stored directory removes that record.
    dlg.Column(0).SelectRow(2);
    dlg.OnDeleteWorkDir();
    QVERIFY(workspace.storedWorkDirs().isEmpty());
}

void TestWorkDirCommands::quotesDeleteExactlyTheirOwnRecords() {
    const QString apostrophe = QStringLiteral("/home/me/it's mine");
    const QString injection = QStringLiteral("x' OR '1'='1");
    TestWorkspace workspace({"/a", apostrophe, injection, "/b"});
    CDirquillDlg dlg;
    dlg.Create();
    dlg.Column(0).SelectRow(rowTexts(dlg.Column(0)).indexOf(injection));
    dlg.OnDeleteWorkDir();
    QCOMPARE(workspace.storedWorkDirs(), QStringList({"/a", apostrophe, "/b"}));
    dlg.Column(0).SelectRow(rowTexts(dlg.Column(0)).indexOf(apostrophe));
    dlg.OnDeleteWorkDir();
    QCOMPARE(workspace.storedWorkDirs(), QStringList({"/a", "/b"}));
}

void TestWorkDirCommands::failedWritesChangeNeitherDatabaseNorColumn() {
    TestWorkspace workspace({"/keep"});
    CDirquillDlg dlg;
    dlg.Create();
    const QStringList before = rowTexts(dlg.Column(0));
    // Another program holds the database locked beyond the timeout.
    sqlite3* other = nullptr;
    sqlite3_open(QFile::encodeName(workspace.databasePath()).constData(), &other);
    sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);

    QString message;
    answerNextPrompt("/new");
    closeNextMessageBox(&message);
    dlg.OnAddWorkDir();
    QCOMPARE(message, u("另一个程序正在使用此文件，进程无法访问。"));
    QCOMPARE(rowTexts(dlg.Column(0)), before);

    message.clear();
    dlg.Column(0).SelectRow(before.size() - 1);
    closeNextMessageBox(&message);
    dlg.OnDeleteWorkDir();
    QCOMPARE(message, u("另一个程序正在使用此文件，进程无法访问。"));
    QCOMPARE(rowTexts(dlg.Column(0)), before);
    QCOMPARE(dlg.SelectedRow(0), before.size() - 1);

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QCOMPARE(workspace.storedWorkDirs(), QStringList({"/keep"}));
}

void TestWorkDirCommands::failedListingIsReportedOnceAndKeepsTheFixedRows() {
    TestWorkspace workspace({"/keep"});
    sqlite3* other = nullptr;
    sqlite3_open(QFile::encodeName(workspace.databasePath()).constData(), &other);
    sqlite3_exec(other, "DROP TABLE workspace", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    QStringList messages;
    auto* watcher = new QTimer(this);
    connect(watcher, &QTimer::timeout, this, [&messages] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            messages.append(box->text());
            box->accept();
        }
    });
    watcher->start(10);
    CDirquillDlg dlg;
    dlg.Create();
    watcher->stop();
    QCOMPARE(messages, QStringList({"IDispatch error #3127"}));
    QCOMPARE(rowTexts(dlg.Column(0)).size(), 4);
}

QTEST_MAIN(TestWorkDirCommands)
#include "tst_workdir_commands.moc"
