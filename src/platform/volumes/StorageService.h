#pragma once

#include "platform/PendingCall.h"
#include "platform/volumes/VolumeRows.h"

#include <QString>

#include <memory>
#include <optional>

class QDBusPendingCallWatcher;

// The client of the storage service, UDisks2 on the system bus. Nothing here mounts
// anything but MountCall, which the user's click starts.
namespace platform::volumes {

// How long column 0's fill waits for an answer still under way.
constexpr int kAnswerWaitMs = 200;

// Asks the service for its objects on a thread of its own, unless a request is under way,
// so that the window's thread never waits for the bus to connect or the service to start.
void requestObjects();

// The answer to the request under way (started here when there is none), waiting at most
// `waitMs` for it. Empty when there is no system bus or no service, when it failed, or
// when it has not come by then; the request then goes on, for the next caller. A taken
// answer is used once: the next call asks again.
std::optional<ManagedObjects> takeObjects(int waitMs);

// Waits for the request under way to end (at most its timeout, 5 s), so that no thread
// is left in the bus connection when the program ends.
void finishRequests();

// One Filesystem.Mount of a volume, with no options of the program's own, so that the
// service and polkit decide how and whether. The reply comes only after the desktop's
// password dialog has been answered, so it may take as long as the user does.
class MountCall : public PendingCall {
    Q_OBJECT
public:
    enum class Outcome { Running, Mounted, Dismissed, NotAllowed, Failed, Abandoned };
    static constexpr int kTimeoutMs = 30 * 60 * 1000;

    static std::unique_ptr<MountCall> mount(const QString& object);
    ~MountCall() override;
    MountCall(const MountCall&) = delete;
    MountCall& operator=(const MountCall&) = delete;

    [[nodiscard]] bool running() const override { return outcome_ == Outcome::Running; }
    void abandon() override;

    [[nodiscard]] Outcome outcome() const { return outcome_; }
    // Where the service mounted the volume.
    [[nodiscard]] QString mountPoint() const { return mountPoint_; }
    // The service's own words for a failure.
    [[nodiscard]] QString message() const { return message_; }

private:
    MountCall() = default;
    void answered(QDBusPendingCallWatcher* watcher);
    void fail(Outcome outcome, QString message);

    Outcome outcome_ = Outcome::Running;
    QString mountPoint_;
    QString message_;
    QDBusPendingCallWatcher* watcher_ = nullptr;
};

} // namespace platform::volumes
