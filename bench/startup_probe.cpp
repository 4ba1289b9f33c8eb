// startup_probe: the program's own start-up (the QApplication, then
// theApp.InitInstance(): the database, the agreement, the main window), watched from
// outside. It accepts the agreement as soon as that has painted, as a quick user would,
// and when the main window has painted column 0 with its rows it writes "painted" and
// ends. bench_startup measures it next to bare_dialog. With --stages it also writes
// when each step was reached; with --rows it first writes column 0's rows, one
// "row:" line each, for the floor that paints the same (same_text_floor).

#include "StartupWatch.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const auto gStart = std::chrono::steady_clock::now();
bool gStages = false;
bool gRows = false;

// With --stages, writes how long after main() began each step was reached (stderr).
void stage(const char* what) {
    if (gStages) {
        const auto now = std::chrono::steady_clock::now();
        std::fprintf(stderr, "%7.1f ms  %s\n",
                     std::chrono::duration<double, std::milli>(now - gStart).count(), what);
    }
}

class StageReport : public StartupWatch {
protected:
    void agreementPainted() override { stage("agreement painting"); }
    void mainPainted(CDirquillDlg& main) override {
        stage("column 0 painting");
        if (gRows) {
            const CColumnList& column = main.Column(0);
            for (int r = 0; r < column.GetItemCount(); ++r) {
                std::printf("row:%s\n", column.GetItemDisplayText(r).toUtf8().constData());
            }
        }
        QTimer::singleShot(0, [] {
            stage("main window painted");
            std::fputs("painted\n", stdout);
            std::fflush(stdout);
            ::_exit(0);
        });
    }
};

} // namespace

int main(int argc, char* argv[]) {
    gStages = argc > 1 && std::strcmp(argv[1], "--stages") == 0;
    gRows = argc > 1 && std::strcmp(argv[1], "--rows") == 0;
    QApplication application(argc, argv);
    stage("QApplication made");
    QApplication::setApplicationVersion(QString::fromLatin1(CDirquillApp::kVersion));
    StageReport watch;
    application.installEventFilter(&watch);
    // A start-up that stops at a message box (no database, say) must not hang the
    // measurement.
    QTimer::singleShot(20000, [] {
        std::fputs("startup_probe: the main window did not paint\n", stderr);
        ::_exit(3);
    });
    theApp.InitInstance();
    return 0;
}
