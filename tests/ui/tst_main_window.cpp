// The main window: template, layout over the client area, closing keys, window menu,
// its fit on the screen and the input method in its columns.

#include "TestSupport.h"

#include "browser/CColumnList.h"
#include "res/DialogTemplates.h"
#include "res/resource.h"
#include "ui/CDirquillDlg.h"
#include "ui/DialogUnits.h"
#include "ui/WindowFit.h"

#include <QHeaderView>
#include <QInputMethodEvent>
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
    void frameFitsTheAvailableArea();
    void inputMethodTextTypesAheadInEveryColumn();
};

namespace {

void sendInputMethod(CColumnList& column, const QString& preedit, const QString& commit = {}) {
    QInputMethodEvent event(preedit, {});
    event.setCommitString(commit);
    QApplication::sendEvent(&column, &event);
}

// What the column answers the input method, asked as the input method asks it.
QVariant askedByInputMethod(CColumnList& column, Qt::InputMethodQuery query) {
    QInputMethodQueryEvent event(query);
    QApplication::sendEvent(&column, &event);
    return event.value(query);
}

} // namespace

void TestMainWindow::opensWithItsCaptionSizeAndColumns() {
    TestWorkspace workspace;
    CDirquillDlg dlg;
    dlg.Create();
    QCOMPARE(dlg.windowTitle(), QString::fromUtf8("澄枫文件助手V1.0"));

    const DialogUnits units(dlg.font());
    QVERIFY(units.baseX() > 0 && units.baseY() > 0);
    // The template's size, unless the screen is smaller: then the largest size whose
    // frame fits.
    const QMargins frame = dlg.windowHandle()->frameMargins();
    const QSize room = dlg.screen()->availableSize().shrunkBy(frame);
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

void TestMainWindow::frameFitsTheAvailableArea() {
    using ui::frameInside;
    const QRect screen(0, 24, 1366, 744);
    // A frame that fits stays as it is; one running off an edge moves in; one larger
    // than the area takes all of it.
    QCOMPARE(frameInside(QRect(10, 40, 800, 600), screen), QRect(10, 40, 800, 600));
    QCOMPARE(frameInside(QRect(900, 300, 800, 600), screen), QRect(566, 168, 800, 600));
    QCOMPARE(frameInside(QRect(-5, 0, 800, 600), screen), QRect(0, 24, 800, 600));
    QCOMPARE(frameInside(QRect(0, 0, 1402, 765), screen), screen);
    QCOMPARE(frameInside(QRect(100, 30, 1402, 700), screen), QRect(0, 30, 1366, 700));
    // No area known: nothing to fit into.
    QCOMPARE(frameInside(QRect(1, 2, 3, 4), QRect()), QRect(1, 2, 3, 4));
}

void TestMainWindow::inputMethodTextTypesAheadInEveryColumn() {
    Browser b;
    for (const char* name : {"合同", "图纸", "图表", "职员"}) {
        makeFolder(b.root() + "/" + QString::fromUtf8(name));
    }
    b.select(0, 1);
    CColumnList& column = b.dlg.Column(1);
    QCOMPARE(b.rows(1), QStringList({QStringLiteral("config.mdb"), u("合同"), u("图纸"), u("图表"),
                                     u("职员")}));
    b.dlg.activateWindow();
    column.setFocus();
    QTRY_VERIFY(column.hasFocus());
    const auto current = [&column] { return column.currentIndex().row(); };

    // The column takes the input method with no current row, and the candidate window
    // opens at the top of its rows.
    QVERIFY(askedByInputMethod(column, Qt::ImEnabled).toBool());
    const QRect top = askedByInputMethod(column, Qt::ImCursorRectangle).toRect();
    QCOMPARE(top.topLeft(), column.viewport()->geometry().topLeft());
    column.SelectRow(1);

    // While it composes, its keys are its own: Enter and Escape do not close the window,
    // letters do not search.
    sendInputMethod(column, QStringLiteral("tu"));
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Z}) {
        QTest::keyClick(&column, key);
    }
    QVERIFY(b.dlg.isVisible());
    QCOMPARE(current(), 1);

    // Committed text searches as typed keys do, and text committed within the input
    // interval extends the search: 图 finds 图纸, then 表 makes it 图表.
    sendInputMethod(column, {}, u("图"));
    QCOMPARE(current(), 2);
    sendInputMethod(column, {}, u("表"));
    QCOMPARE(current(), 3);
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    sendInputMethod(column, {}, u("职员"));
    QCOMPARE(current(), 4);
    // The current row changed, yet the column still takes the input method, and its
    // candidate window goes by that row.
    QVERIFY(askedByInputMethod(column, Qt::ImEnabled).toBool());
    const QRect cursor = askedByInputMethod(column, Qt::ImCursorRectangle).toRect();
    QCOMPARE(column.indexAt(cursor.center() - column.viewport()->pos()).row(), 4);
    // Keys after the composition search again.
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    sendInputMethod(column, {});
    QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, u("合"));
    QApplication::sendEvent(&column, &key);
    QCOMPARE(current(), 1);

    // Column 0 too, through Qt's own search, after its rows were listed again.
    CColumnList& root = b.dlg.Column(0);
    b.dlg.FillRootColumn();
    root.setFocus();
    QVERIFY(askedByInputMethod(root, Qt::ImEnabled).toBool());
    sendInputMethod(root, {}, u("----------自定义"));
    QCOMPARE(root.GetItemText(root.currentIndex().row()), u("----------自定义目录---------"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
