#include "platform/helper/HelperServer.h"

#include "names/NameCodec.h"
#include "platform/FileSystem.h"
#include "platform/MountOfPath.h"
#include "platform/PathReach.h"
#include "platform/helper/HelperProtocol.h"
#include "platform/trash/Trash.h"
#include "platform/trash/TrashJournal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <unistd.h>

namespace platform::helper {

namespace {

using Clock = std::chrono::steady_clock;
// A listing sends what it has read at least this often, so that a slow folder shows its
// progress, and whenever this many bytes of names are waiting.
constexpr auto kFlushEvery = std::chrono::milliseconds(100);
constexpr std::size_t kFlushBytes = std::size_t{128} << 10;

bool sendEnd(int out, int error) {
    std::string frame;
    std::string body;
    appendU32(body, static_cast<std::uint32_t>(error));
    appendFrame(frame, kEnd, body);
    return sendAll(out, frame);
}

QString pathOf(std::string_view bytes) {
    return names::decodeName(bytes);
}

// Sends the names as one frame, built in `frame`, which keeps its memory from one frame to
// the next.
bool sendNames(int out, const names::NameList& names, std::string& frame) {
    const std::string_view bytes = names.bytes();
    frame.clear();
    appendU32(frame, static_cast<std::uint32_t>(sizeof(std::uint32_t) * (1 + names.size()) +
                                                bytes.size()));
    frame.push_back(kNames);
    appendU32(frame, static_cast<std::uint32_t>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        appendU32(frame, static_cast<std::uint32_t>(names.at(i).size()));
    }
    // The names go out straight from the list, which holds them one after another.
    return sendAll(out, frame) && sendAll(out, bytes);
}

// Lists the folder, sending the names while they are read, so that the program takes
// them in (and puts them in order) while the disk is still being read. Only the names
// not sent yet are kept.
bool answerList(int out, std::string_view folder) {
    names::NameList names;
    std::string frame;
    auto lastFlush = Clock::now();
    bool written = true;
    const auto flush = [&] {
        if (written && !names.empty()) {
            written = sendNames(out, names, frame);
            names.clear();
            lastFlush = Clock::now();
        }
    };
    const auto progress = [&] {
        if (names.byteSize() >= kFlushBytes || Clock::now() - lastFlush >= kFlushEvery) {
            flush();
        }
    };
    if (!listFolder(pathOf(folder), names, progress)) {
        return sendEnd(out, errno != 0 ? errno : EIO);
    }
    flush();
    return written && sendEnd(out, 0);
}

// Whether `path` is on one of the mounts in `full`. The mount table is read only when
// some mount is full.
bool reachesFull(const std::string& path, const std::vector<std::string_view>& full) {
    if (full.empty()) {
        return false;
    }
    const QByteArray mount = mountPointOf(QByteArray(path.data(), qsizetype(path.size())), "/");
    return std::ranges::find(
               full, std::string_view(mount.constData(), std::size_t(mount.size()))) != full.end();
}

enum class Walk { Go, Refused, Lost };

// Walks the request's path before the call that may wait on a disk, saying where each
// link on it leads, so that the program knows which mount a helper left waiting waits
// on. A link onto a mount in `full` ends the walk, and the request is refused.
Walk walkPath(int out, std::string_view path, bool followLast,
              const std::vector<std::string_view>& full) {
    bool written = true;
    std::string frame;
    const bool whole = followPath(path, followLast, [&](const std::string& reached) {
        frame.clear();
        appendFrame(frame, kReached, reached);
        written = sendAll(out, frame);
        return written && !reachesFull(reached, full);
    });
    return !written ? Walk::Lost : whole ? Walk::Go : Walk::Refused;
}

int answer(int out, Kind kind, std::string_view body, const std::vector<std::string_view>& full) {
    if (kind != kList && kind != kMakeFolder && kind != kTrash && kind != kRename) {
        return 1;
    }
    std::string_view from = body;
    std::string_view to;
    if (kind == kRename && !splitRenameBody(body, from, to)) {
        return 1;
    }
    // Whatever sent it, a path the kernel would cut short is not acted on.
    if (pathsHoldNul(kind, body)) {
        return sendEnd(out, EINVAL) ? 0 : 1;
    }
    // A rename's target is in its source's folder, on the same mount.
    switch (walkPath(out, from, kind == kList, full)) {
    case Walk::Lost:
        return 1;
    case Walk::Refused:
        return sendEnd(out, ECANCELED) ? 0 : 1;
    case Walk::Go:
        break;
    }
    switch (kind) {
    case kList:
        return answerList(out, body) ? 0 : 1;
    case kMakeFolder: {
        errno = 0;
        const bool made = createFolder(pathOf(body));
        return sendEnd(out, made ? 0 : (errno != 0 ? errno : EIO)) ? 0 : 1;
    }
    case kTrash: {
        const trash::TrashOutcome outcome = trash::trashEntry(pathOf(body));
        if (!sendEnd(out, outcome.result.error)) {
            return 1;
        }
        // Once the answer is out, so that the window never waits for it.
        if (outcome.trashFolder.valid()) {
            trash::clearLeftovers(outcome.trashFolder.get());
        }
        return 0;
    }
    default:
        return sendEnd(out, renameEntry(pathOf(from), pathOf(to)).error) ? 0 : 1;
    }
}

} // namespace

void warmUp() {
    // The first listing would otherwise also pay for loading the code it runs and for
    // setting up the heap. The process's own open files are a folder that is always
    // there and never waits on a disk.
    names::NameList names;
    listFolder(QStringLiteral("/proc/self/fd"), names, [] {});
    std::string frame;
    frame.reserve(kFlushBytes * 2);
    appendFrame(frame, kNames, {});
}

int serveRequests(int in, int out) {
    FrameReader reader;
    std::vector<char> chunk(std::size_t{64} * 1024);
    // The full mounts sent for the next request; copied, as the request may come in a
    // later read.
    std::string full;
    for (;;) {
        Frame frame;
        while (reader.next(frame)) {
            if (frame.kind == kFullMounts) {
                full.assign(frame.body);
                continue;
            }
            // The body lives in the reader until the next feed, which comes only after
            // the answer.
            if (answer(out, frame.kind, frame.body, splitMountPoints(full)) != 0) {
                return 1;
            }
            full.clear();
        }
        if (reader.malformed()) {
            return 1;
        }
        const ssize_t n = ::read(in, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 && !reader.pending() ? 0 : 1;
        }
        reader.feed(chunk.data(), static_cast<std::size_t>(n));
    }
}

} // namespace platform::helper
