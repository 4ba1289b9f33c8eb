#pragma once

#include "platform/MountTable.h"

#include <QByteArray>
#include <QList>

#include <sys/types.h>

// Which mounts of the kernel's table are drive rows. Decided from the table alone: no
// mounted file system is asked anything, and no automount point is triggered.
namespace platform {

// The user the rows are for: whose network places are shown, and whose own container and
// application stores are left out.
struct MountUser {
    uid_t uid = 0;
    QByteArray home;     // without a trailing '/'
    QByteArray dataHome; // $XDG_DATA_HOME, or home + "/.local/share"
};

// Whether a mount holds the user's files: not a kernel or system file system, not mounted
// in a system folder, not a store of container layers or of installed applications, not a
// single bind-mounted file, not another user's network places.
bool holdsUserFiles(const Mount& mount, const MountUser& user);

// The mount points of the drive rows: the mounts that hold the user's files, "/" first, then
// in the table's order, one per place. A path mounted over several times is one place, and
// it is the last mount there; one folder of one file system bound at several paths is one
// place too, the first of them.
QList<QByteArray> drivePlaces(const QList<Mount>& table, const MountUser& user);

} // namespace platform
