#include "platform/HelperServer.h"

#include "platform/FileSystem.h"
#include "platform/HelperProtocol.h"
#include "platform/NameCodec.h"

#include <cerrno>
#include <chrono>
#include <unistd.h>

namespace platform::helper {

namespace {

using Clock = std::chrono::steady_clock;
// How often a listing tells how far it has got.
constexpr auto kProgressEvery = std::chrono::milliseconds(100);


bool sendEnd(int out, int error) {
    std::string frame;
    std::string body;
    appendU32(body, static_cast<std::uint32_t>(error));
    appendFrame(frame, kEnd, body);
    return sendAll(out, frame);
}

QString pathOf(std::string_view bytes) {
    return decodeName(bytes);
}

// Sends the names in frames of about kNamesFrameBytes each.
bool sendNames(int out, const NameList& names) {
    std::size_t totalBytes = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        totalBytes += names.at(i).size();
    }
    std::string frame;
    std::string body;
    appendU64(body, names.size());
    appendU64(body, totalBytes);
    appendFrame(frame, kSize, body);

    std::size_t first = 0;
    while (first < names.size()) {
        std::size_t last = first;
        std::size_t bytes = 0;
        while (last < names.size() && (last == first || bytes < kNamesFrameBytes)) {
            bytes += names.at(last).size();
            ++last;
        }
        body.clear();
        appendU32(body, static_cast<std::uint32_t>(last - first));
        for (std::size_t i = first; i < last; ++i) {
            appendU32(body, static_cast<std::uint32_t>(names.at(i).size()));
        }
        for (std::size_t i = first; i < last; ++i) {
            body.append(names.at(i));
        }
        appendFrame(frame, kNames, body);
        if (!sendAll(out, frame)) {
            return false;
        }
        frame.clear();
        first = last;
    }
    return frame.empty() || sendAll(out, frame);
}

bool answerList(int out, std::string_view folder) {
    NameList names;
    auto lastReport = Clock::now();
    bool written = true;
    const auto progress = [&] {
        const auto now = Clock::now();
        if (now - lastReport < kProgressEvery || !written) {
            return;
        }
        lastReport = now;
        std::string frame;
        std::string body;
        appendU64(body, names.size());
        appendFrame(frame, kProgress, body);
        written = sendAll(out, frame);
    };
    if (!listFolder(pathOf(folder), names, progress)) {
        return written && sendEnd(out, errno != 0 ? errno : EIO);
    }
    return written && sendNames(out, names) && sendEnd(out, 0);
}

int answer(int out, Kind kind, std::string_view body) {
    switch (kind) {
    case kList:
        return answerList(out, body) ? 0 : 1;
    case kMakeFolder: {
        errno = 0;
        const bool made = createFolder(pathOf(body));
        return sendEnd(out, made ? 0 : (errno != 0 ? errno : EIO)) ? 0 : 1;
    }
    case kTrash:
        return sendEnd(out, moveToTrash(pathOf(body)).error) ? 0 : 1;
    case kRename: {
        std::string_view from;
        std::string_view to;
        if (!splitRenameBody(body, from, to)) {
            return 1;
        }
        return sendEnd(out, renameEntry(pathOf(from), pathOf(to)).error) ? 0 : 1;
    }
    default:
        return 1;
    }
}

} // namespace

int serveRequests(int in, int out) {
    FrameReader reader;
    std::vector<char> chunk(std::size_t{64} * 1024);
    for (;;) {
        Frame frame;
        while (reader.next(frame)) {
            // The body lives in the reader until the next feed, which comes only after
            // the answer.
            if (answer(out, frame.kind, frame.body) != 0) {
                return 1;
            }
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
