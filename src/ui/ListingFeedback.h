#pragma once

#include "platform/FileSystem.h"

#include <QElapsedTimer>

class QWidget;

// Feedback while a long folder listing runs: after a moment the busy cursor shows, and
// the window is repainted now and then. Only painting happens meanwhile, never input,
// so no handler can run while the listing is under way.
class ListingFeedback {
public:
    explicit ListingFeedback(QWidget* window);
    ~ListingFeedback();
    ListingFeedback(const ListingFeedback&) = delete;
    ListingFeedback& operator=(const ListingFeedback&) = delete;

    // The callback to hand to the listing.
    platform::ListingProgress progress();

    static constexpr qint64 kBusyAfterMs = 150;
    static constexpr qint64 kRepaintEveryMs = 100;

private:
    void tick();

    QWidget* window_;
    QElapsedTimer elapsed_;
    qint64 lastPaintMs_ = 0;
    bool busy_ = false;
};
