// startup_probe: the program's own start-up (the QApplication, then
// theApp.InitInstance(): the database, the agreement, the main window), watched from
// outside. It accepts the agreement as soon as that has painted, as a quick user would,
// and when the main window has painted column 0 with its rows it writes "painted" and
// ends. bench_startup measures it next to bare_dialog. With --stages it also writes
// when each step was reached.

#include "app/CDirquillApp.h"
#include "browser/CColumnList.h"
#include "res/resource.h"
#include "ui/CAgreementDlg.h"
#include "ui/CDirquillDlg.h"

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

// With --stages, writes how long after main() began each step was reached (stderr).
void stage(const char* what) {
    if (gStages) {
        const auto now = std::chrono::steady_clock::now();
        std::fprintf(stderr, "%7.1f ms  %s\n",
                     std::chrono::duration<double, std::milli>(now - gStart).count(), what);
    }
}

class StartupWatch : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) {
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr) {
            return false;
        }
        if (auto* agreement = qobject_cast<CAgreementDlg*>(widget); agreement != nullptr) {
            if (!agreementAnswered_) {
                agreementAnswered_ = true;
                stage("agreement painting");
                QTimer::singleShot(0, agreement, [agreement] { agreement->done(IDOK); });
            }
            return false;
        }
        auto* main = qobject_cast<CDirquillDlg*>(theApp.m_pMainWnd);
        if (main != nullptr && !reported_ && widget == main->Column(0).viewport() &&
            main->Column(0).GetItemCount() > 0) {
            reported_ = true;
            stage("column 0 painting");
            QTimer::singleShot(0, [] {
                stage("main window painted");
                std::fputs("painted\n", stdout);
                std::fflush(stdout);
                ::_exit(0);
            });
        }
        return false;
    }

private:
    bool agreementAnswered_ = false;
    bool reported_ = false;
};

} // namespace

int main(int argc, char* argv[]) {
    gStages = argc > 1 && std::strcmp(argv[1], "--stages") == 0;
    QApplication application(argc, argv);
    stage("QApplication made");
    QApplication::setApplicationVersion(QString::fromLatin1(CDirquillApp::kVersion));
    StartupWatch watch;
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
