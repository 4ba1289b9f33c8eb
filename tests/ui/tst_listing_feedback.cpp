// Feedback while a long listing runs: the busy cursor, painting only, and nothing left
// behind afterwards.

#include "TestSupport.h"

#include "ui/ListingFeedback.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

namespace {
// Counts the key presses and paints it receives.
class Probe : public QWidget {
public:
    int keys = 0;
    int paints = 0;

protected:
    void keyPressEvent(QKeyEvent* /*event*/) override { ++keys; }
    void paintEvent(QPaintEvent* /*event*/) override { ++paints; }
};
} // namespace

class TestListingFeedback : public QObject {
    Q_OBJECT
private slots:
    void shortListingsShowNothing();
    void longListingsShowTheBusyCursorAndOnlyPaint();
};

void TestListingFeedback::shortListingsShowNothing() {
    Probe window;
    window.show();
    {
        ListingFeedback feedback(&window);
        feedback.progress()();
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void TestListingFeedback::longListingsShowTheBusyCursorAndOnlyPaint() {
    Probe window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int paintsBefore = window.paints;
    // A key press waiting in the queue must not be handled while the listing runs.
    QCoreApplication::postEvent(&window,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
    {
        ListingFeedback feedback(&window);
        QTest::qSleep(ListingFeedback::kBusyAfterMs + 50);
        feedback.progress()();
        QVERIFY(QGuiApplication::overrideCursor() != nullptr);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
        QVERIFY(window.paints > paintsBefore);
        QCOMPARE(window.keys, 0);
    }
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(window.keys, 1);
}

QTEST_MAIN(TestListingFeedback)
#include "tst_listing_feedback.moc"
