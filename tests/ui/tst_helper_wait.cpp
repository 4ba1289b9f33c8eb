// The window while it waits for a disk: it stays drawn, says what it waits for, drops
// input, gives up on Escape and closes on the close box, on a real FUSE mount whose
// folders answer never or slowly.

#include "TestSupport.h"
#include "platform/RawTree.h"

#include "browser/CColumnList.h"
#include "platform/helper/HelperCall.h"
#include "ui/HelperWait.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace testsupport;

namespace {

bool waiting() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr && cursor->shape() == Qt::BusyCursor;
}

QLabel* waitLine(const QWidget& window) {
    return window.findChild<QLabel*>(HelperWait::lineName());
}

// For the life of the object, acts on every wait of the window once its busy cursor
// shows: first `before` runs (to look at the window or send it other input), then the
// wait is given up with Escape, unless `escape` is false.
class DuringEachWait {
public:
    DuringEachWait(QWidget& window, std::function<void()> before = {}, bool escape = true)
        : window_(window) {
        QObject::connect(&timer_, &QTimer::timeout, [this, before, escape] {
            if (!waiting() || handled_) {
                handled_ = waiting();
                return;
            }
            handled_ = true;
            ++waits;
            if (before) {
                before();
            }
            if (escape) {
                QTest::keyClick(&window_, Qt::Key_Escape);
            }
        });
        timer_.start(20);
    }
    int waits = 0;

private:
    QWidget& window_;
    QTimer timer_;
    bool handled_ = false;
};

// A browser whose drive rows are a FUSE mount and a plain folder.
struct MountedBrowser {
    SlowMount mount;
    QTemporaryDir plain;
    Browser b;
    MountedBrowser() {
        makeFile(plain.path() + "/plain.txt");
        b.workspace.setDriveRoots({mount.path() + "/", plain.path() + "/"});
        b.dlg.FillRootColumn();
        b.dlg.show();
    }
};

} // namespace

class TestHelperWait : public QObject {
    Q_OBJECT
private slots:
    void init() { SKIP_WITHOUT_FUSE(); }
    void escapeGivesUpAFolderThatNeverOpens();
    void slowFolderSaysWhatItWaitsForAndEndsWithAllRows();
    void entryThatNeverAnswersIsNeitherTrashedNorRenamed();
    void closingDuringAWaitClosesTheWindow();
    void closingDuringACommandStartsNoRefill();
    void heldEscapeIsOnePress();
    void releaseWhosePressWasDroppedIsNoClick();
};

void TestHelperWait::escapeGivesUpAFolderThatNeverOpens() {
    MountedBrowser m;
    QVERIFY(m.mount.mounted());
    makeFile(m.mount.backing() + "/stuck/never.txt");
    makeFile(m.mount.backing() + "/normal/a.txt");
    makeFile(m.mount.backing() + "/normal/b.txt");
    m.b.select(0, 1);
    QCOMPARE(m.b.sortedRows(1), QStringList({"normal", "stuck"}));

    {
        // Return would close the window like OK, were it not dropped during the wait. A
        // tip is a window that closes when it hides; that is not the window closing.
        DuringEachWait escaper(m.b.dlg, [&m] {
            QWidget tip(nullptr, Qt::ToolTip);
            tip.show();
            tip.close();
            QTest::keyClick(&m.b.dlg, Qt::Key_Return);
        });
        QVERIFY(m.b.select(1, "stuck"));
        QCOMPARE(escaper.waits, 1);
    }
    QCOMPARE(m.b.rows(2), QStringList());
    QVERIFY(m.b.dlg.isVisible());
    QVERIFY(!waiting());

    // The rest of the Escape key (a repeat while it is held) never reaches the window.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, {}, true);
    QApplication::sendEvent(&m.b.dlg, &repeat);
    QVERIFY(m.b.dlg.isVisible());

    // A folder on the same mount that answers is listed by a fresh helper.
    QVERIFY(m.b.select(1, "normal"));
    QCOMPARE(m.b.sortedRows(2), QStringList({"a.txt", "b.txt"}));
    QVERIFY(m.b.select(2, "a.txt"));
    DuringEachWait escaper(m.b.dlg);
    QVERIFY(m.b.select(1, "stuck"));
    QCOMPARE(escaper.waits, 1);
    QCOMPARE(m.b.rows(2), QStringList());
    QCOMPARE(m.b.rows(3), QStringList());
}

void TestHelperWait::slowFolderSaysWhatItWaitsForAndEndsWithAllRows() {
    MountedBrowser m;
    QVERIFY(m.mount.mounted());
    for (const char* name : {"x", "y", "z"}) {
        makeFile(m.mount.backing() + "/slow/" + name);
    }
    m.b.select(0, 1);
    QString line;
    bool lineShown = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        // The first line shown: a later look may come after the names are in but before
        // the wait has ended, and read their count.
        if (const QLabel* label = waitLine(m.b.dlg);
            !lineShown && label != nullptr && label->isVisible()) {
            lineShown = true;
            line = label->text();
        }
    });
    look.start(100);
    QVERIFY(m.b.select(1, "slow"));
    QVERIFY(lineShown);
    QCOMPARE(line, u("正在读取… 已读 0 项（按 Esc 取消）"));
    QCOMPARE(m.b.sortedRows(2), QStringList({"x", "y", "z"}));
    QVERIFY(waitLine(m.b.dlg) == nullptr);
    QVERIFY(!waiting());
}

void TestHelperWait::entryThatNeverAnswersIsNeitherTrashedNorRenamed() {
    ScopedDataHome data;
    MountedBrowser m;
    QVERIFY(m.mount.mounted());
    makeFile(m.mount.backing() + "/trash/dead.txt", "kept");
    makeFile(m.mount.backing() + "/rename/dead.txt", "kept");
    m.b.select(0, 1);
    QStringList lines;
    DuringEachWait escaper(m.b.dlg, [&] {
        QTest::qWait(HelperWait::kLineAfterMs + 100);
        if (const QLabel* label = waitLine(m.b.dlg)) {
            lines.append(label->text());
        }
    });

    // Selecting the entry lists it as a folder, which never answers either. Giving the
    // trash up is a failed command: it says so, and the column is refilled.
    QVERIFY(m.b.select(1, "trash"));
    QVERIFY(m.b.select(2, "dead.txt"));
    QString message;
    closeNextMessageBox(&message);
    m.b.dlg.OnDelete2();
    QVERIFY2(lines.contains(u("正在处理…（按 Esc 取消）")), qPrintable(lines.join('|')));
    QVERIFY2(message.contains("dead.txt") && message.contains(u("已取消")), qPrintable(message));

    QVERIFY(m.b.select(1, "rename"));
    QVERIFY(m.b.select(2, "dead.txt"));
    message.clear();
    answerNextPrompt("renamed.txt");
    closeNextMessageBox(&message);
    m.b.dlg.OnRename2();
    QVERIFY2(message.contains("dead.txt"), qPrintable(message));
    QVERIFY(escaper.waits >= 4);

    // Nothing was lost, and the window still works.
    QCOMPARE(contentOf(m.mount.backing() + "/trash/dead.txt"), QByteArray("kept"));
    QCOMPARE(QDir(m.mount.backing() + "/rename").entryList(QDir::Files), QStringList({"dead.txt"}));
    QCOMPARE(QDir(data.trashFiles()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList());
    m.b.select(0, 2);
    QCOMPARE(m.b.rows(1), QStringList({"plain.txt"}));
    QVERIFY(m.b.dlg.isVisible());
}

void TestHelperWait::closingDuringAWaitClosesTheWindow() {
    MountedBrowser m;
    QVERIFY(m.mount.mounted());
    makeFolder(m.mount.backing() + "/stuck");
    m.b.select(0, 1);
    DuringEachWait closer(
        m.b.dlg, [&m] { m.b.dlg.close(); }, false);
    QVERIFY(m.b.select(1, "stuck"));
    QCOMPARE(m.b.rows(2), QStringList());
    QTRY_VERIFY(!m.b.dlg.isVisible());
    // Nothing more waits for the window once it is closing.
    QVERIFY(m.b.select(1, "stuck"));
    QCOMPARE(closer.waits, 1);
}

void TestHelperWait::closingDuringACommandStartsNoRefill() {
    MountedBrowser m;
    QVERIFY(m.mount.mounted());
    makeFile(m.mount.backing() + "/trash/dead.txt");
    m.b.select(0, 1);
    QVERIFY(m.b.select(1, "trash"));
    m.b.dlg.Column(2).SelectRow(0);
    int readyAfterClose = -1;
    DuringEachWait closer(
        m.b.dlg,
        [&] {
            m.b.dlg.close();
            readyAfterClose = platform::readyHelperPid();
        },
        false);
    m.b.dlg.OnDelete2();
    QCOMPARE(closer.waits, 1);
    // The helper made ready when the trash was given up was asked nothing more.
    QVERIFY(readyAfterClose > 0);
    QCOMPARE(platform::readyHelperPid(), readyAfterClose);
    QTRY_VERIFY(!m.b.dlg.isVisible());
}

void TestHelperWait::heldEscapeIsOnePress() {
    MountedBrowser m;
    QVERIFY(m.mount.mounted());
    makeFolder(m.mount.backing() + "/stuck");
    makeFile(m.mount.backing() + "/slow/x.txt");
    m.b.select(0, 1);

    // Escape goes down during a wait on a folder that never opens and stays down; the
    // key repeats as a release and a press at once.
    bool down = false;
    QTimer keyboard;
    QObject::connect(&keyboard, &QTimer::timeout, [&] {
        if (down) {
            QTest::keyRelease(&m.b.dlg, Qt::Key_Escape);
            QTest::keyPress(&m.b.dlg, Qt::Key_Escape);
        } else if (waiting()) {
            QTest::keyPress(&m.b.dlg, Qt::Key_Escape);
            down = true;
        }
    });
    keyboard.start(30);
    QVERIFY(m.b.select(1, "stuck"));
    QVERIFY(down);
    // A wait that starts while the key is still held (as the refill after a command
    // does) is not given up by it.
    QVERIFY(m.b.select(1, "slow"));
    keyboard.stop();
    QTest::keyRelease(&m.b.dlg, Qt::Key_Escape);
    QCOMPARE(m.b.rows(2), QStringList({"x.txt"}));
    QVERIFY(m.b.dlg.isVisible());

    // The next press of its own does what Escape does: it closes the window.
    QTest::qWait(100);
    QTest::keyClick(&m.b.dlg, Qt::Key_Escape);
    QTRY_VERIFY(!m.b.dlg.isVisible());
}

void TestHelperWait::releaseWhosePressWasDroppedIsNoClick() {
    MountedBrowser m;
    QVERIFY(m.mount.mounted());
    makeFile(m.mount.backing() + "/slow/x.txt");
    m.b.select(0, 1);
    CColumnList& column = m.b.dlg.Column(1);
    const int row = static_cast<int>(rowTexts(column).indexOf("slow"));
    QVERIFY(row >= 0);
    QWidget* rows = column.viewport();
    const QPoint pos = column.visualRect(column.model()->index(row, 0)).center();

    // A double click on a slow folder: its second press comes during the first click's
    // wait and is dropped; its release, after the wait, is no click and lists nothing.
    QSignalSpy clicks(&column, &CColumnList::leftClicked);
    DuringEachWait presser(
        m.b.dlg, [&] { QTest::mousePress(rows, Qt::LeftButton, {}, pos); }, false);
    QTest::mouseClick(rows, Qt::LeftButton, {}, pos);
    QCOMPARE(presser.waits, 1);
    QCOMPARE(m.b.rows(2), QStringList({"x.txt"}));
    QTest::qWait(100);
    QTest::mouseRelease(rows, Qt::LeftButton, {}, pos);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(presser.waits, 1);

    // The next press and release that both reach the column are a click again.
    QTest::mouseClick(rows, Qt::LeftButton, {}, pos);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(presser.waits, 2);
}

QTEST_MAIN(TestHelperWait)
#include "tst_helper_wait.moc"
