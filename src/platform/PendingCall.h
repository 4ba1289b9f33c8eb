#pragma once

#include <QObject>

namespace platform {

// Work the window waits for without blocking: a request to the file helper, a call to
// the storage service. finished() is emitted once, from the thread that started the
// work, when it is over; an abandoned call emits nothing more, and whatever it would
// have answered is dropped.
class PendingCall : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    [[nodiscard]] virtual bool running() const = 0;
    // Stops waiting for the answer at once.
    virtual void abandon() = 0;
    // How many entries the work has read so far, for the line shown while it lasts.
    [[nodiscard]] virtual quint64 entriesRead() const { return 0; }

signals:
    void finished();
};

} // namespace platform
