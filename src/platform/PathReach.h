#pragma once

#include <functional>
#include <string>
#include <string_view>

// Where a path really leads. MountOfPath reads a path's text alone, which names the wrong
// file system when a symbolic link on the way leads to another mount (a link in the home
// folder to a network share). The file helper walks the path first, as the kernel will,
// and tells the program where each link led before it goes on, so that a helper left
// waiting is counted against the mount it really waits on.
namespace platform {

// Told where the walk now leads: absolute, the links and ".." so far resolved, then the
// components still to come as written up to the next "..", so that the text names the
// mount the look-ups to come ask last. Returns false to stop the walk there.
using PathReached = std::function<bool(const std::string&)>;

// Walks `path` one component at a time (lstat, and readlink for each link), taking a
// relative path from the current folder. After each link it follows and each ".." it
// undoes, and at the start of a path that holds a "..", it calls `reached`, before any
// call that walks on; a path without links or ".." gives no call, as its text already
// says where it leads. After the last call the walk holds neither links behind it nor
// "..", so for a listing the last place told is the folder as the kernel resolves it. A link in the
// last component is followed only when `followLast` is set (a listing goes into it; a trash, rename
// or new folder acts on the entry itself). The walk stops quietly where a component cannot be
// looked up or links nest deeper than the kernel follows them: the call made afterwards on the path
// fails there in its own words.
//
// Each look-up asks the file system of the folder the walk has reached, so the walk can
// wait on a mount that never answers; the call before it has already said which one.
// Returns false when `reached` stopped the walk.
bool followPath(std::string_view path, bool followLast, const PathReached& reached);

} // namespace platform
