#pragma once

#include "platform/MountTable.h"

#include <QByteArray>
#include <QList>

namespace platform {

// The mount point of the file system that holds `path`, found in `mounts` from the text
// of the path alone: nothing on the path is asked, so a mount that never answers is
// found too. A relative path is taken against `currentFolder`, "." and ".." are undone
// as text, and symbolic links are not followed. "/" when no other mount holds it.
QByteArray mountPointOf(const QList<Mount>& mounts, const QByteArray& path,
                        const QByteArray& currentFolder);

// The same, in this process's mount table (/proc/self/mountinfo).
QByteArray mountPointOf(const QByteArray& path, const QByteArray& currentFolder);

} // namespace platform
