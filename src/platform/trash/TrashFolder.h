#pragma once

#include "platform/trash/Descriptor.h"

#include <QByteArray>

#include <optional>
#include <sys/types.h>

// The trash folders an entry can go to, each opened once and checked through its open
// descriptor. Everything made, written, moved and synced in a trash is then done relative
// to these descriptors, so that swapping a name on the way (a link planted in a shared
// .Trash) changes nothing once the folder is held.
namespace platform::trash {

struct TrashFolder {
    Descriptor folder; // the trash folder itself
    Descriptor files;  // its files/, on the device of the entries it takes
    Descriptor info;   // its info/
};

// The home trash, $XDG_DATA_HOME/Trash (the data folder, the trash, files/ and info/
// made where missing), when its files/ is on `device`. The data folder and the trash are
// the user's own, so a link there is followed, as the user made it.
std::optional<TrashFolder> openHomeTrash(dev_t device);

// Where the folder of an entry lies on its file system.
struct TopDirectory {
    QByteArray top;    // the mount point of the file system, empty when not found
    QByteArray folder; // the folder's own path without symlinks, below `top`
};

// The mount point of the file system `device` that holds the folder `realFolder`, a path
// without links or "." and ".." components.
TopDirectory topDirectoryOf(const QByteArray& realFolder, dev_t device);

// The trash at the top of the file system `device` whose mount point is `top`:
// $top/.Trash/$uid when the administrator provided $top/.Trash (a folder itself, not a
// link, with the sticky bit), else $top/.Trash-$uid; each made when missing and taken
// only when it is a folder itself, owned by this user, with mode 700.
std::optional<TrashFolder> openTopDirectoryTrash(const QByteArray& top, dev_t device);

// Creates the folder `name` in the folder `parent` with mode 700 unless it exists, and
// opens it (without following a link when `followLink` is false). A folder it makes is
// made durable in its parent at once, since what goes into it later would be lost with
// it. An invalid descriptor, with errno set, when it cannot be had.
Descriptor makeAndOpenFolder(int parent, const char* name, bool followLink);

} // namespace platform::trash
