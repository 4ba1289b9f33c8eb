#pragma once

#include "names/NameList.h"
#include "names/PageVector.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The messages between the program and its file helper `dirquill-io`, which makes every
// file-system call the user asks for in a process of its own.
//
// Each message is one frame: a 4-byte body length, a 1-byte kind, then the body. Numbers
// are in the machine's own byte order (both ends run on the same machine). Paths are raw
// bytes, as the kernel takes them.
//
// Requests, one at a time:
//   'L' list      body: folder
//   'M' mkdir     body: path
//   'T' trash     body: path
//   'R' rename    body: u32 length of the source, source, target
//   'F' full      body: mount points, separated by NUL bytes, on each of which as many
//                 helpers as may be are stuck; it comes just before a request and holds
//                 for that one only: when a link on its path leads onto one of them, the
//                 request is refused (ECANCELED) before the helper walks on
// Answers:
//   'N' names     body: u32 count, count u32 name lengths, the names' bytes one after another;
//                 a listing sends its names in such frames while it reads them, in the
//                 order the folder gives them
//   'P' reached   body: the path as it stands once a symbolic link on the request's path
//                 was followed (absolute, the links so far resolved, the rest as written),
//                 sent before the helper walks on beyond the link; none for a path without
//                 links. The program counts a helper left waiting against that path's mount.
//   'E' end       body: i32 0 for done, else an errno value; the last frame of every answer
namespace platform::helper {

enum Kind : char {
    kList = 'L',
    kMakeFolder = 'M',
    kTrash = 'T',
    kRename = 'R',
    kFullMounts = 'F',
    kNames = 'N',
    kReached = 'P',
    kEnd = 'E',
};

inline constexpr std::size_t kHeaderSize = 5;
// A frame larger than this is not a message of ours.
inline constexpr std::size_t kMaxFrameBytes = std::size_t{64} << 20;

// Appends one frame to `out`.
void appendFrame(std::string& out, Kind kind, std::string_view body);

// Helpers for building and reading bodies.
void appendU32(std::string& out, std::uint32_t value);
void appendU64(std::string& out, std::uint64_t value);
std::uint32_t readU32(const char* at);
std::uint64_t readU64(const char* at);

// A frame cut out of a stream of bytes.
struct Frame {
    Kind kind{};
    std::string_view body;
};

// Reads frames out of a byte stream that arrives in pieces.
class FrameReader {
public:
    // Adds received bytes.
    void feed(const char* data, std::size_t size);
    // Room for up to `size` more bytes, to receive into directly; commit() then says how
    // many arrived. Valid until the next call that adds bytes.
    char* prepare(std::size_t size);
    void commit(std::size_t size);
    // The next whole frame, valid until the next call of feed or next; false when none is
    // complete yet. Sets malformed() when the stream cannot be ours.
    bool next(Frame& frame);
    [[nodiscard]] bool malformed() const { return malformed_; }
    // Whether bytes of an unfinished frame are waiting.
    [[nodiscard]] bool pending() const { return used_ < buffer_.size(); }

private:
    names::PageVector<char> buffer_;
    std::size_t used_ = 0;
    std::size_t prepared_ = 0;
    bool malformed_ = false;
};

// Writes all of `data` to `fd`, a socket (without SIGPIPE when the other end is gone) or
// a pipe. False when the other end is gone or the write fails.
bool sendAll(int fd, std::string_view data);

// The rename request's body.
std::string renameBody(std::string_view from, std::string_view to);
// Splits a rename body; false when it is malformed.
bool splitRenameBody(std::string_view body, std::string_view& from, std::string_view& to);

// The mount points of an 'F' body, and the body for them.
std::vector<std::string_view> splitMountPoints(std::string_view body);
std::string mountPointsBody(const std::vector<std::string>& mountPoints);

// Whether a request's path (either path of a rename) holds a NUL byte. The kernel would
// end the path there and act on a shorter one (the folder instead of an entry in it), so
// such a request is refused with EINVAL, both before it is sent and when the helper
// receives it. A malformed rename body holds no paths.
bool pathsHoldNul(Kind kind, std::string_view body);

// Appends the names of one 'N' frame's body to `names`; `sizes` is room for their
// lengths, kept from one frame to the next. False, leaving `names` as it was, when the
// body is not well formed: its lengths must account for its bytes exactly.
bool appendNames(std::string_view body, names::NameList& names, std::vector<std::size_t>& sizes);

} // namespace platform::helper
