#include "ui/HelperWait.h"

#include "platform/PendingCall.h"
#include "res/Texts.h"
#include "ui/PlainText.h"

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

#include <utility>

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

// Whether `event` is the user closing `window` itself: its close box, the window
// manager's close and Alt+F4 reach its native window and then the widget. Tips, menus
// and message boxes are windows too and close whenever they hide; they never count.
bool closesWindow(const QWidget* window, const QObject* target, const QEvent* event) {
    return event->type() == QEvent::Close && window != nullptr &&
           (target == window || target == window->windowHandle());
}

// One press of the Escape key that gave up a wait, for as long as it is held. A held key
// repeats as a release followed by a press with the same timestamp, which Qt does not
// always mark as a repeat: a press marked so, or within a repeat interval of the
// release, is the same hold. All of the hold's Escape events are swallowed: the window
// would take them for the Cancel key, and a wait that starts meanwhile (the refill after
// a command) for giving it up. Any other press ends the hold and goes on as usual.
class EscapeHold : public QObject {
public:
    static constexpr qint64 kRepeatIntervalMs = 40;
    // A release that no press follows for this long means the key was let go.
    static constexpr int kLetGoAfterMs = 1000;

    // Starts the hold at the press that gave up a wait.
    static void begin() {
        if (current() == nullptr) {
            current() = new EscapeHold;
        }
        current()->released_ = false;
        current()->letGo_.stop();
    }

    // Whether `event` belongs to the hold under way, which it then follows.
    static bool swallows(QEvent* event) {
        return current() != nullptr && isEscape(event) &&
               current()->take(static_cast<QKeyEvent&>(*event));
    }

protected:
    bool eventFilter(QObject* /*target*/, QEvent* event) override { return swallows(event); }

private:
    EscapeHold() : QObject(QCoreApplication::instance()) {
        letGo_.setSingleShot(true);
        connect(&letGo_, &QTimer::timeout, this, &EscapeHold::finish);
        QCoreApplication::instance()->installEventFilter(this);
    }

    static QPointer<EscapeHold>& current() {
        static QPointer<EscapeHold> hold;
        return hold;
    }

    bool take(const QKeyEvent& key) {
        if (key.type() == QEvent::KeyRelease) {
            released_ = true;
            releaseStamp_ = key.timestamp();
            releaseClock_.start();
            letGo_.start(kLetGoAfterMs);
            return true;
        }
        if (key.type() == QEvent::KeyPress) {
            // A press with no release before it comes after a release that went to
            // another window: a new press as well.
            if (!key.isAutoRepeat() && !(released_ && repeatsRelease(key))) {
                finish();
                return false;
            }
            released_ = false;
            letGo_.stop();
        }
        return true;
    }

    // Whether a press after the release is the key repeating rather than pressed anew.
    // Synthetic events carry no timestamp; their time of arrival stands in for it.
    [[nodiscard]] bool repeatsRelease(const QKeyEvent& press) const {
        if (press.timestamp() != 0 && releaseStamp_ != 0) {
            return press.timestamp() - releaseStamp_ <= kRepeatIntervalMs;
        }
        return releaseClock_.elapsed() <= kRepeatIntervalMs;
    }

    void finish() {
        QCoreApplication::instance()->removeEventFilter(this);
        current() = nullptr;
        deleteLater();
    }

    bool released_ = false;
    quint64 releaseStamp_ = 0;
    QElapsedTimer releaseClock_;
    QTimer letGo_;
};

// Drops the user's input while a wait runs, and turns Escape and closing into giving up.
class InputGate : public QObject {
public:
    InputGate(QWidget* window, QEventLoop& loop, platform::PendingCall& call)
        : window_(window), loop_(loop), call_(call) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputGate() override { QCoreApplication::instance()->removeEventFilter(this); }
    InputGate(const InputGate&) = delete;
    InputGate& operator=(const InputGate&) = delete;

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        if (closesWindow(window_, target, event)) {
            event->ignore();
            closingWindow() = window_;
            giveUp();
            return true;
        }
        if (!isInput(event->type())) {
            return false;
        }
        // The rest of an Escape held since it gave up an earlier wait gives up nothing.
        if (EscapeHold::swallows(event)) {
            return true;
        }
        if (event->type() == QEvent::KeyPress && isEscape(event)) {
            EscapeHold::begin();
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
    platform::PendingCall& call_;
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
        SetPlainText(*label_, text);
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

HelperWait::HelperWait(QWidget* window, QWidget* column, Kind kind, QString subject)
    : window_(window), column_(column), kind_(kind), subject_(std::move(subject)) {}

QString HelperWait::lineText(const platform::PendingCall& call) const {
    switch (kind_) {
    case Kind::Reading:
        return QString::fromUtf8(texts::kReadingLine).arg(call.entriesRead());
    case Kind::Opening:
        return QString::fromUtf8(texts::kOpeningLine).arg(subject_);
    case Kind::Processing:
        break;
    }
    return QString::fromUtf8(texts::kProcessingLine);
}

bool HelperWait::closing(const QWidget* window) {
    return window != nullptr && closingWindow() == window;
}

QString HelperWait::lineName() {
    return QStringLiteral("waitLine");
}

void HelperWait::wait(platform::PendingCall& call) {
    if (!call.running()) {
        return;
    }
    if (closing(window_)) {
        call.abandon();
        return;
    }
    QEventLoop loop;
    QObject::connect(&call, &platform::PendingCall::finished, &loop, &QEventLoop::quit);
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
            line.show(lineText(call));
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
    if (closing(window_)) {
        QMetaObject::invokeMethod(window_.data(), &QWidget::close, Qt::QueuedConnection);
    }
}
