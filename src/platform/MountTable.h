#pragma once

#include <QByteArray>
#include <QList>

// The kernel's table of mounts, read without touching any mounted file system, so that
// a mount that does not answer is listed like any other.
namespace platform {

struct Mount {
    QByteArray root;       // the folder of the file system that is mounted here
    QByteArray mountPoint; // where it is mounted
    QByteArray type;       // "ext4", "nfs4", "fuse.sshfs", ...
    QByteArray source;     // "/dev/sda1", "host:/export", ...
};

// The mounts described by the text of /proc/<pid>/mountinfo, in its order. Malformed
// lines are skipped; octal escapes (\040 for a space) are undone.
QList<Mount> parseMountInfo(const QByteArray& text);

// Whether a mount holds the user's files: not a kernel or system file system, not
// mounted in a system folder, not an application image or a single bind-mounted file.
bool holdsUserFiles(const Mount& mount);

} // namespace platform
