#include "ui/HelperWait.h"

#include "platform/helper/HelperCall.h"
#include "res/Texts.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QWindow>

namespace {

QPointer<QWidget>& closingWindow() {
    static QPointer<QWidget> window;
    return window;
}

bool isInput(QEvent::Type type) {
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

bool isEscape(QEvent* event) {
    const QEvent::Type type = event->type();
    return (type == QEvent::KeyPress || type == QEvent::KeyRelease ||
            type == QEvent::ShortcutOverride) &&
           static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
}

bool isWindowClose(QObject* target, QEvent* event) {
    if (event->type() != QEvent::Close) {
        return false;
    }
    return target->isWindowType() ||
           (target->isWidgetType() && static_cast<QWidget*>(target)->isWindow());
}

// Keeps the rest of an Escape that gave up a wait (its release, and the repeats of a key
// held down) away from the window, which would take it for the Cancel key.
class EscapeSwallower : public QObject {
public:
    static constexpr int kGiveUpAfterMs = 2000;

    EscapeSwallower() : QObject(QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
        QTimer::singleShot(kGiveUpAfterMs, this, [this] { deleteLater(); });
    }

protected:
    bool eventFilter(QObject* /*target*/, QEvent* event) override {
        if (!isEscape(event)) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        if (event->type() == QEvent::KeyRelease && !key->isAutoRepeat()) {
            QCoreApplication::instance()->removeEventFilter(this);
            deleteLater();
        }
        return true;
    }
};

// Drops the user's input while a wait runs, and turns Escape and closing into giving up.
class InputGate : public QObject {
public:
    InputGate(QWidget* window, QEventLoop& loop, platform::HelperCall& call)
        : window_(window), loop_(loop), call_(call) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputGate() override { QCoreApplication::instance()->removeEventFilter(this); }
    InputGate(const InputGate&) = delete;
    InputGate& operator=(const InputGate&) = delete;

    [[nodiscard]] bool escaped() const { return escaped_; }

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        if (isWindowClose(target, event)) {
            event->ignore();
            closingWindow() = window_;
            giveUp();
            return true;
        }
        if (!isInput(event->type())) {
            return false;
        }
        if (event->type() == QEvent::KeyPress && isEscape(event)) {
            escaped_ = true;
            giveUp();
        }
        return true;
    }

private:
    void giveUp() {
        call_.abandon();
        loop_.quit();
    }

    QPointer<QWidget> window_;
    QEventLoop& loop_;
    platform::HelperCall& call_;
    bool escaped_ = false;
};

// The line that says what a wait is waiting for, over the empty area of its column. It
// is made only for a wait that lasts, so that short ones cost nothing.
class WaitLine {
public:
    WaitLine(QWidget* window, QWidget* column) : window_(window), column_(column) {}
    ~WaitLine() { delete label_; }
    WaitLine(const WaitLine&) = delete;
    WaitLine& operator=(const WaitLine&) = delete;

    void show(const QString& text) {
        if (window_ == nullptr || column_ == nullptr) {
            return;
        }
        if (label_ == nullptr) {
            label_ = new QLabel(window_);
            label_->setObjectName(HelperWait::lineName());
            label_->setWordWrap(true);
            label_->setMargin(4);
            label_->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        label_->setText(text);
        label_->setAccessibleName(text);
        QWidget* area = column_;
        if (auto* scroll = qobject_cast<QAbstractScrollArea*>(column_)) {
            area = scroll->viewport();
        }
        const QPoint topLeft = area->mapTo(label_->parentWidget(), QPoint(0, 0));
        const int width = area->width();
        label_->setGeometry(topLeft.x(), topLeft.y(), width, label_->heightForWidth(width));
        label_->raise();
        label_->show();
    }

private:
    QPointer<QWidget> window_;
    QPointer<QWidget> column_;
    QPointer<QLabel> label_;
};

} // namespace

HelperWait::HelperWait(QWidget* window, QWidget* column, Kind kind)
    : window_(window), column_(column), kind_(kind) {}

bool HelperWait::closing(const QWidget* window) {
    return window != nullptr && closingWindow() == window;
}

QString HelperWait::lineName() {
    return QStringLiteral("waitLine");
}

void HelperWait::wait(platform::HelperCall& call) {
    if (!call.running()) {
        return;
    }
    if (closing(window_)) {
        call.abandon();
        return;
    }
    QEventLoop loop;
    QObject::connect(&call, &platform::HelperCall::finished, &loop, &QEventLoop::quit);
    InputGate gate(window_, loop, call);
    WaitLine line(window_, column_);
    bool busy = false;

    QElapsedTimer elapsed;
    elapsed.start();
    QTimer ticker;
    const auto tick = [&] {
        const qint64 ms = elapsed.elapsed();
        if (!busy && ms >= kBusyAfterMs) {
            busy = true;
            QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        }
        if (ms >= kLineAfterMs) {
            line.show(kind_ == Kind::Reading
                          ? QString::fromUtf8(texts::kReadingLine).arg(call.entriesRead())
                          : QString::fromUtf8(texts::kProcessingLine));
        }
    };
    QObject::connect(&ticker, &QTimer::timeout, &loop, tick);
    ticker.start(kBusyAfterMs);
    QTimer::singleShot(kLineAfterMs, &loop, [&] {
        ticker.start(kLineUpdateMs);
        tick();
    });

    if (call.running()) {
        loop.exec();
    }
    ticker.stop();
    if (busy) {
        QGuiApplication::restoreOverrideCursor();
    }
    if (gate.escaped()) {
        new EscapeSwallower;
    }
    if (closing(window_)) {
        QMetaObject::invokeMethod(window_.data(), &QWidget::close, Qt::QueuedConnection);
    }
}
