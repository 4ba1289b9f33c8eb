#pragma once

#include <QString>

namespace platform {

// Asks the desktop to open `path` with its default program: a folder in a file manager,
// a file with the program associated with its type. Relative paths are taken from the
// current folder; repeated separators are collapsed, and nothing else ("." and ".." are
// left to the kernel, which reads ".." after a link as the target's parent). Does not wait for the
// program. Returns false when nothing could be asked for (an empty path, a path holding a NUL, no
// handler).
bool openWithDesktop(const QString& path);

} // namespace platform
