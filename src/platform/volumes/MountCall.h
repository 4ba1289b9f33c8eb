#pragma once

#include "platform/PendingCall.h"
#include "platform/volumes/VolumeRows.h"

#include <QString>

#include <memory>

namespace platform::volumes {

struct MountOperation;

// One mount of a volume the user clicked. The service is first asked what its object
// holds now: a volume pulled out and replaced by another that took its device is never
// mounted in its place, and a volume the service knows mounted is taken where it is.
// Only then comes Filesystem.Mount, with no options of the program's own, so that the
// service and polkit decide how and whether; its reply comes only after the desktop's
// password dialog has been answered, so it may take as long as the user does. A volume
// has one mount under way at most: a call for a volume whose mount, given up by its
// waiter, is still under way waits on that same mount.
class MountCall : public PendingCall {
    Q_OBJECT
public:
    enum class Outcome { Running, Mounted, Gone, Dismissed, NotAllowed, Failed, Abandoned };
    static constexpr int kTimeoutMs = 30 * 60 * 1000;

    static std::unique_ptr<MountCall> mount(const Volume& volume);
    ~MountCall() override;
    MountCall(const MountCall&) = delete;
    MountCall& operator=(const MountCall&) = delete;

    [[nodiscard]] bool running() const override { return outcome_ == Outcome::Running; }
    // Stops waiting; the mount itself goes on, and a later call for the volume waits on it.
    void abandon() override;

    [[nodiscard]] Outcome outcome() const { return outcome_; }
    // Where the volume is mounted.
    [[nodiscard]] QString mountPoint() const { return mountPoint_; }
    // The service's own words for a failure.
    [[nodiscard]] QString message() const { return message_; }

private:
    friend struct MountOperation;
    MountCall() = default;
    void takeOutcome(const MountOperation& operation);

    Outcome outcome_ = Outcome::Running;
    QString mountPoint_;
    QString message_;
    std::shared_ptr<MountOperation> operation_;
};

} // namespace platform::volumes
