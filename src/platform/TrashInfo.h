#pragma once

#include <QByteArray>

// The .trashinfo file that records where a trashed entry came from, as freedesktop.org
// describes it. Other programs (file managers, `gio trash --restore`) read it back, so
// every path must survive their reading unchanged, whatever bytes it holds.
namespace platform {

// The info file's text: the [Trash Info] group, Path= with the absolute path's bytes
// escaped as RFC 2396 asks (unreserved characters and '/' as they are, every other
// byte as %XX), and DeletionDate= with `deletionDate` (YYYY-MM-DDThh:mm:ss).
QByteArray trashInfoText(const QByteArray& absolutePath, const QByteArray& deletionDate);

} // namespace platform
