// The main window: template, layout over the client area, closing keys, window menu.

#include "TestSupport.h"

#include "browser/CColumnList.h"
#include "res/DialogTemplates.h"
#include "res/resource.h"
#include "ui/CDirquillDlg.h"
#include "ui/DialogUnits.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace testsupport;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void opensWithItsCaptionSizeAndColumns();
    void layoutSharesTheClientAreaAmongFiveColumns();
    void headerColumnsKeepTheirFirstWidthUntilTheWindowChangesSize();
    void minimisingLaysNothingOut();
    void escapeAndEnterCloseTheWindow();
    void windowMenuEndsWithTheAboutItem();
};

void TestMainWindow::opensWithItsCaptionSizeAndColumns() {
    TestWorkspace workspace;
    CDirquillDlg dlg;
    dlg.Create();
    QCOMPARE(dlg.windowTitle(), QString::fromUtf8("澄枫文件助手V1.0"));

    const DialogUnits units(dlg.font());
    QVERIFY(units.baseX() > 0 && units.baseY() > 0);
    // The template's size, unless the screen is smaller.
    const QSize room = dlg.screen()->availableSize();
    QCOMPARE(dlg.width(), std::min(units.toPixelsX(800), room.width()));
    QCOMPARE(dlg.height(), std::min(units.toPixelsY(500), room.height()));
    QVERIFY(dlg.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(dlg.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    // The sizing border: the window is no longer fixed in size after initialisation.
    QVERIFY(dlg.maximumWidth() > dlg.width());

    const char* labels[] = {"工作目录", "一级目录", "二级目录", "三级目录", "四级目录"};
    const int ids[] = {IDC_LIST0, IDC_LIST1, IDC_LIST2, IDC_LIST3, IDC_LIST4};
    for (int c = 0; c < 5; ++c) {
        CColumnList& list = dlg.Column(c);
        QCOMPARE(dlg.GetDlgItem(ids[c]), &list);
        QCOMPARE(list.model()->headerData(0, Qt::Horizontal).toString(),
                 QString(16, ' ') + QString::fromUtf8(labels[c]));
        QVERIFY(list.showGrid());
        QCOMPARE(list.selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list.selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(list.accessibleName(), QString::fromUtf8(labels[c]));
    }
    // Tab order follows the columns from the left; the first has the focus.
    QCOMPARE(dlg.Column(0).nextInFocusChain() != nullptr, true);
    QTRY_COMPARE(QApplication::focusWidget(), &dlg.Column(0));
}

void TestMainWindow::layoutSharesTheClientAreaAmongFiveColumns() {
    TestWorkspace workspace;
    CDirquillDlg dlg;
    dlg.Create();
    for (const int width : {1000, 1003}) {
        dlg.resize(width, 600);
        dlg.LayoutColumns();
        const int lefts[] = {10, 208, 406, 604, 802};
        for (int c = 0; c < 5; ++c) {
            const QRect g = dlg.Column(c).geometry();
            QCOMPARE(g, QRect(lefts[c], 10, 188, 580));
            QCOMPARE(dlg.Column(c).ColumnWidth(), 183);
        }
    }
    // Every resize lays the columns out again.
    dlg.resize(700, 400);
    QTRY_COMPARE(dlg.Column(4).geometry(), QRect(10 + 4 * 138, 10, 128, 380));
}

void TestMainWindow::headerColumnsKeepTheirFirstWidthUntilTheWindowChangesSize() {
    TestWorkspace workspace;
    const auto widths = [](const CDirquillDlg& dlg) {
        QList<int> out;
        for (int c = 0; c < 5; ++c) {
            out << dlg.Column(c).ColumnWidth();
        }
        return out;
    };
    const QList<int> initial(5, 220);
    {
        // The first layout ran before the columns existed; showing the window is no
        // layout of its own.
        CDirquillDlg dlg;
        dlg.Create();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::qWait(50);
        QCOMPARE(widths(dlg), initial);
        dlg.resize(1000, 600);
        QTRY_COMPARE(widths(dlg), QList<int>(5, 183));
    }
    {
        CDirquillDlg dlg;
        dlg.Create();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(widths(dlg), initial);
        dlg.OnSysCommand(SC_MAXIMIZE);
        QTRY_VERIFY(dlg.isMaximized());
        QTRY_COMPARE(widths(dlg), QList<int>(5, dlg.Column(0).width() - 5));
    }
}

void TestMainWindow::minimisingLaysNothingOut() {
    TestWorkspace workspace;
    CDirquillDlg dlg;
    dlg.Create();
    dlg.resize(1000, 600);
    dlg.LayoutColumns();
    const QRect before = dlg.Column(2).geometry();
    dlg.Column(2).setGeometry(0, 0, 5, 5);
    dlg.OnSize(CDirquillDlg::kSizeMinimized, 0, 0);
    QCOMPARE(dlg.Column(2).geometry(), QRect(0, 0, 5, 5));
    dlg.OnSize(CDirquillDlg::kSizeRestored, 1000, 600);
    QCOMPARE(dlg.Column(2).geometry(), before);
}

void TestMainWindow::escapeAndEnterCloseTheWindow() {
    TestWorkspace workspace;
    {
        CDirquillDlg dlg;
        QTimer::singleShot(50, &dlg, [&dlg] { QTest::keyClick(&dlg.Column(0), Qt::Key_Escape); });
        QCOMPARE(dlg.DoModal(), IDCANCEL);
    }
    {
        CDirquillDlg dlg;
        QTimer::singleShot(50, &dlg, [&dlg] { QTest::keyClick(&dlg.Column(1), Qt::Key_Return); });
        QCOMPARE(dlg.DoModal(), IDOK);
    }
}

void TestMainWindow::windowMenuEndsWithTheAboutItem() {
    TestWorkspace workspace;
    CDirquillDlg dlg;
    dlg.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    // Alt+Space opens it; the About item comes once, below a separator, and runs the
    // About box modally.
    QStringList items;
    QString aboutTitle;
    chooseFromNextMenu(QString::fromUtf8("关于 Dirquill(&A)..."), &items);
    onNextModal([&aboutTitle](QWidget* about) {
        aboutTitle = about->windowTitle();
        QTest::keyClick(about, Qt::Key_Escape);
    });
    // The focus is in a column, as after start-up.
    dlg.activateWindow();
    dlg.Column(0).setFocus();
    QTest::keyClick(&dlg.Column(0), Qt::Key_Space, Qt::AltModifier);
    QCOMPARE(items.count(QString::fromUtf8("关于 Dirquill(&A)...")), 1);
    QCOMPARE(items.last(), QString::fromUtf8("关于 Dirquill(&A)..."));
    QCOMPARE(items.at(items.size() - 2), QStringLiteral("-"));
    QCOMPARE(items.mid(0, 4),
             QStringList({QString::fromUtf8("还原"), QString::fromUtf8("最小化"),
                          QString::fromUtf8("最大化"), QString::fromUtf8("关闭")}));
    QCOMPARE(aboutTitle, QString::fromUtf8("澄枫文件助手V1.0 属性"));
    QVERIFY(dlg.isVisible());

    // A right click on the window's background opens the same menu.
    items.clear();
    chooseFromNextMenu(QString(), &items);
    QTest::mouseClick(dlg.windowHandle(), Qt::RightButton, {}, QPoint(3, 3));
    QCOMPARE(items.size(), 6);
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
