#pragma once

#include <QByteArray>

#include <optional>

// The .trashinfo file that records where a trashed entry came from, as freedesktop.org
// describes it. Other programs (file managers, `gio trash --restore`) read it back, so
// every path must survive their reading unchanged, whatever bytes it holds.
namespace platform::trash {

// The info file's text: the [Trash Info] group, Path= with the path's bytes escaped as
// RFC 2396 asks (unreserved characters and '/' as they are, every other byte as %XX),
// and DeletionDate= with `deletionDate` (YYYY-MM-DDThh:mm:ss). The path is absolute in
// the home trash and relative to the top directory in a top-directory trash, so that a
// disk's trash still names its entries when the disk is mounted somewhere else.
QByteArray trashInfoText(const QByteArray& path, const QByteArray& deletionDate);

// What an info file records.
struct TrashInfoRecord {
    QByteArray origin; // the entry's absolute path before it was trashed
    QByteArray deletionDate;
};

// Reads an info file's text. A relative Path= is taken against `topDirectory`, the mount
// point of the trash's file system, an absolute one as it is. Nothing is returned when
// the text does not begin with the [Trash Info] group or lacks Path= or DeletionDate=:
// such an info (an empty one left by a crash, say) names no entry.
std::optional<TrashInfoRecord> readTrashInfo(const QByteArray& text,
                                             const QByteArray& topDirectory);

} // namespace platform::trash
