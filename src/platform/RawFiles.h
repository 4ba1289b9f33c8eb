#pragma once

// Helpers shared by the file services, working on the bytes the kernel sees.
namespace platform::raw {

// Renames `from` to `to` without ever replacing an existing `to`. Returns 0, or the
// errno value (EEXIST when `to` is taken).
int renameNoReplace(const char* from, const char* to);

} // namespace platform::raw
