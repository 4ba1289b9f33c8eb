#pragma once

// Helpers shared by the file services, working on the bytes the kernel sees.
namespace platform::raw {

// Renames `from` to `to` without ever replacing an existing `to`. Returns 0, or the
// errno value (EEXIST when `to` is taken).
int renameNoReplace(const char* from, const char* to);

// The same for `from` in the folder open as `fromFolder` and `to` in the one open as
// `toFolder` (AT_FDCWD: the current folder).
int renameNoReplaceAt(int fromFolder, const char* from, int toFolder, const char* to);

// Makes the entries of the folder `path` durable: what was added to it, removed from it
// or renamed in it survives a power cut once this returns 0. Returns 0 or the errno
// value. A file system that cannot sync a folder (EINVAL) counts as done.
int syncFolder(const char* path);

// The same for a descriptor of an open file: its data and size are durable on 0.
int syncFile(int fd);

} // namespace platform::raw
