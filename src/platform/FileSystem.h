#pragma once

#include "names/NameList.h"

#include <QString>
#include <QStringList>

#include <functional>

// The file-system services the browser and the file commands rely on. Paths are the
// program's texts; they are turned into the bytes the kernel sees with encodeName, so
// any name read from disk reaches the disk again unchanged.
namespace platform {

// Called now and then while a long listing runs, so that the caller can keep its
// window painted. It must not change the folder being listed.
using ListingProgress = std::function<void()>;

// Lists the names of every entry of `folder` ("." and ".." left out, hidden entries
// kept) in the order the file system returns them, appending them to `out`. No entry is
// examined beyond its name. Returns false, leaving `out` as it was, when the folder
// cannot be opened (missing, a file, no permission, a path too long).
bool listFolder(const QString& folder, names::NameList& out, const ListingProgress& progress = {});

// The roots of the mounted file systems, "/" first, each ending in "/".
QStringList driveRoots();

// Replaces where driveRoots() gets its list from; an empty function restores the real
// mount table. Tests use this, since a test machine's mounts are not theirs to choose.
void setDriveRootSource(std::function<QStringList()> source);
// Whether driveRoots() has been given its list that way; the storage service's volumes
// are then no rows either.
bool driveRootsReplaced();

// Creates the folder `path` (its last component only, default mode). False when it
// exists, its parent is missing or the system refuses.
bool createFolder(const QString& path);

// The outcome of a change the user asked for: success, or the errno-style reason.
struct ChangeResult {
    bool ok = false;
    int error = 0;
    [[nodiscard]] explicit operator bool() const { return ok; }
};

// Moves `path`, a file or a whole folder, into the desktop's trash (freedesktop.org
// trash: $XDG_DATA_HOME/Trash on the home file system, a top-directory trash on other
// file systems). The entry is never deleted; when no trash can take it, it stays where it
// is and the error is EXDEV.
ChangeResult moveToTrash(const QString& path);

// Gives the entry `from` the name of `to`, which must be in the same folder. Never
// replaces an existing entry (EEXIST); renaming an entry to its own name succeeds and
// changes nothing. A target in another folder or an empty last component is EINVAL.
ChangeResult renameEntry(const QString& from, const QString& to);

// A Chinese sentence describing an error of the functions above, for message boxes.
QString describeError(int error);

// Whether NTFS and FAT volumes refuse `name` as a name (udisks mounts NTFS with
// windows_names): it holds one of \ : * ? " < > | or a control character, or ends in a
// dot or a space; a name no file system takes (".", "..", one holding NUL) is not one.
bool refusedByWindowsVolumes(const QString& name);

// describeError for the failure to give an entry the name `name`: a name that such a
// volume refused (EINVAL) is said to be one.
QString describeNameError(int error, const QString& name);

// The message for a mount the storage service refused: the row `shownRow` as it shows,
// then the service's own words, which can hold any character (a volume's label, its
// line feed) and so show as visibleText.
QString describeMountFailure(const QString& shownRow, const QString& serviceMessage);

} // namespace platform
