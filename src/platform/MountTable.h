#pragma once

#include <QByteArray>
#include <QList>

// The kernel's table of mounts, read without touching any mounted file system, so that
// a mount that does not answer is listed like any other.
namespace platform {

struct Mount {
    QByteArray device;       // "major:minor" of the file system
    QByteArray root;         // the folder of the file system that is mounted here
    QByteArray mountPoint;   // where it is mounted
    QByteArray type;         // "ext4", "nfs4", "fuse.sshfs", ...
    QByteArray source;       // "/dev/sda1", "host:/export", ...
    QByteArray superOptions; // the file system's own: "rw,user_id=1000,group_id=1000"
};

// The mounts described by the text of /proc/<pid>/mountinfo, in its order. Malformed
// lines are skipped; octal escapes (\040 for a space) are undone.
QList<Mount> parseMountInfo(const QByteArray& text);

// The running process's mounts now (/proc/self/mountinfo).
QList<Mount> readMountTable();

} // namespace platform
