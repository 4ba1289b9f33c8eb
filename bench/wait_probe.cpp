// wait_probe: the program as main() runs it (QApplication, then theApp.InitInstance()),
// started in a folder whose config.mdb holds one work directory: MOUNT, a mount whose
// folder "stuck" never opens. It accepts the agreement, lists MOUNT in column 1, and then
// clicks "stuck" twice, as a user would:
//
// 1. once the helper has been stuck in the folder for a while, Escape goes down and up;
//    it writes "escape MS": from the key's press until the click's handler has returned,
//    so that the next click is taken;
// 2. the same again, ended by the window manager's close this time; just before the close
//    event is queued it writes "closing NS" (the steady clock, CLOCK_MONOTONIC, in ns), so
//    that bench_waits can time the close up to the process's exit.
//
// Usage (in the folder holding config.mdb): wait_probe MOUNT

#include "StartupWatch.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long the helper is left stuck in the folder before the user gives up.
constexpr int kStuckMs = 300;

QString gMount;

int rowOf(const CColumnList& column, const QString& text) {
    for (int row = 0; row < column.GetItemCount(); ++row) {
        if (column.GetItemText(row) == text) {
            return row;
        }
    }
    return -1;
}

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "wait_probe: %s\n", why);
    ::_exit(3);
}

// The user's two clicks on the folder that never opens.
void clickStuckTwice(CDirquillDlg* main) {
    const int mountRow = rowOf(main->Column(0), gMount);
    if (mountRow < 0) {
        fail("the mount is not a work directory row");
    }
    main->Column(0).SelectRow(mountRow);
    main->OnColumnClick(0);
    const int stuckRow = rowOf(main->Column(1), QStringLiteral("stuck"));
    if (stuckRow < 0) {
        fail("the mount was not listed");
    }
    QWindow* window = main->windowHandle();

    Clock::time_point pressed;
    QTimer::singleShot(kStuckMs, [&pressed, window] {
        pressed = Clock::now();
        QCoreApplication::postEvent(
            window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        QCoreApplication::postEvent(
            window, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier));
    });
    main->Column(1).SelectRow(stuckRow);
    main->OnColumnClick(1);
    std::printf("escape %.3f\n",
                std::chrono::duration<double, std::milli>(Clock::now() - pressed).count());
    std::fflush(stdout);

    QTimer::singleShot(kStuckMs, [window] {
        const auto now =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
        std::printf("closing %lld\n", static_cast<long long>(now.count()));
        std::fflush(stdout);
        QCoreApplication::postEvent(window, new QCloseEvent);
    });
    main->Column(1).SelectRow(stuckRow);
    main->OnColumnClick(1);
}

// Accepts the agreement once painted, then starts the clicks once the main window has
// painted column 0 with its rows.
class Driver : public StartupWatch {
protected:
    void mainPainted(CDirquillDlg& main) override {
        QTimer::singleShot(0, &main, [main = &main] { clickStuckTwice(main); });
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wait_probe MOUNT\n");
        return 2;
    }
    QApplication application(argc, argv);
    gMount = QString::fromLocal8Bit(argv[1]);
    Driver driver;
    application.installEventFilter(&driver);
    QTimer::singleShot(30000, [] { fail("the journey did not end"); });
    theApp.InitInstance();
    return 0;
}
