#include "ui/ListingFeedback.h"

#include <QGuiApplication>
#include <QWidget>

ListingFeedback::ListingFeedback(QWidget* window) : window_(window) {
    elapsed_.start();
}

ListingFeedback::~ListingFeedback() {
    if (busy_) {
        QGuiApplication::restoreOverrideCursor();
    }
}

platform::ListingProgress ListingFeedback::progress() {
    return [this] { tick(); };
}

void ListingFeedback::tick() {
    const qint64 now = elapsed_.elapsed();
    if (now < kBusyAfterMs) {
        return;
    }
    if (!busy_) {
        busy_ = true;
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    }
    if (now - lastPaintMs_ >= kRepaintEveryMs && window_ != nullptr && window_->isVisible()) {
        lastPaintMs_ = now;
        window_->repaint();
    }
}
