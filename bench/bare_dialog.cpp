// bare_dialog: the least a Qt Widgets program can do at start-up. It shows one empty
// dialog and, as soon as that has painted, writes "painted" and ends. With --label the
// dialog holds one line of Chinese text, so that the fonts are found and loaded and the
// glyphs drawn, as any window with text needs. bench_startup measures both next to
// startup_probe.

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

class PaintWatch : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !reported_) {
            reported_ = true;
            // Report once the whole frame, not only this widget, has been painted.
            QTimer::singleShot(0, [] {
                std::fputs("painted\n", stdout);
                std::fflush(stdout);
                ::_exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool reported_ = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QDialog dialog;
    if (argc > 1 && std::strcmp(argv[1], "--label") == 0) {
        auto* label = new QLabel(QString::fromUtf8("欢迎使用：请阅读协议"), &dialog);
        label->move(10, 10);
    }
    PaintWatch watch;
    dialog.installEventFilter(&watch);
    dialog.show();
    return QApplication::exec();
}
