#include "platform/volumes/Volumes.h"

#include "platform/FileSystem.h"
#include "platform/volumes/StorageService.h"

#include <pwd.h>
#include <unistd.h>

namespace platform::volumes {

namespace {

VolumeUser runningUser() {
    VolumeUser user;
    user.uid = ::getuid();
    if (const passwd* entry = ::getpwuid(user.uid); entry != nullptr) {
        user.name = QString::fromLocal8Bit(entry->pw_name);
    }
    return user;
}

} // namespace

QList<Volume> unmountedDriveVolumes() {
    if (driveRootsReplaced()) {
        return {};
    }
    const std::optional<ManagedObjects> objects = takeObjects(kAnswerWaitMs);
    if (!objects) {
        return {};
    }
    QSet<QByteArray> mounted;
    for (const Mount& mount : readMountTable()) {
        mounted.insert(mount.device);
        mounted.insert(mount.source);
    }
    return unmountedVolumes(driveVolumes(*objects, runningUser()), mounted);
}

std::optional<Mount> currentMount(const Volume& volume) {
    // btrfs (like any file system that may span devices) gives its mounts an anonymous
    // device number, 0:N, that names no block device; its source still names it.
    for (const Mount& mount : readMountTable()) {
        if (mount.root != "/") {
            continue;
        }
        if (mount.device == volume.device ||
            (!volume.deviceFile.isEmpty() && mount.source == volume.deviceFile) ||
            volume.mountPoints.contains(mount.mountPoint)) {
            return mount;
        }
    }
    return std::nullopt;
}

} // namespace platform::volumes
