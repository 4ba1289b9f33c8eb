// The file helper's request reader on any byte stream, arriving in pieces: every frame
// it cuts out is exactly the bytes that carried it, every request is taken or refused
// as malformed, and a frame too large for us is refused without waiting for its bytes.
// The input's first byte sets the size of the pieces.

#include "FuzzCheck.h"
#include "names/NameCodec.h"
#include "platform/helper/HelperProtocol.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace helper = platform::helper;

namespace {

// What the helper does with one request: false when it ends on it as malformed.
bool takeRequest(const helper::Frame& frame) {
    switch (frame.kind) {
    case helper::kList:
    case helper::kMakeFolder:
    case helper::kTrash: {
        const QByteArray path(frame.body.data(), static_cast<qsizetype>(frame.body.size()));
        FUZZ_CHECK(names::encodeName(names::decodeName(frame.body)) == path);
        return true;
    }
    case helper::kFullMounts: {
        std::vector<std::string> points;
        for (const std::string_view point : helper::splitMountPoints(frame.body)) {
            FUZZ_CHECK(point.find('\0') == std::string_view::npos);
            points.emplace_back(point);
        }
        FUZZ_CHECK(helper::mountPointsBody(points) == frame.body);
        return true;
    }
    case helper::kRename: {
        std::string_view from;
        std::string_view to;
        if (!helper::splitRenameBody(frame.body, from, to)) {
            FUZZ_CHECK(frame.body.size() < 4 ||
                       helper::readU32(frame.body.data()) > frame.body.size() - 4);
            return false;
        }
        FUZZ_CHECK(helper::renameBody(from, to) == frame.body);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = std::size_t{1} + data[0];
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

    helper::FrameReader reader;
    std::size_t fed = 0;
    std::size_t taken = 0; // bytes of the frames cut out so far
    bool ended = false;
    while (!ended) {
        helper::Frame frame;
        while (!ended && reader.next(frame)) {
            std::string framed;
            helper::appendFrame(framed, frame.kind, frame.body);
            FUZZ_CHECK(stream.substr(taken, framed.size()) == framed);
            taken += framed.size();
            ended = !takeRequest(frame);
        }
        if (ended || reader.malformed() || fed == stream.size()) {
            break;
        }
        // Alternately copied in and received in place, as the two ends of the pipe do.
        const std::size_t n = std::min(piece, stream.size() - fed);
        if ((fed / piece) % 2 == 0) {
            reader.feed(stream.data() + fed, n);
        } else {
            std::memcpy(reader.prepare(piece), stream.data() + fed, n);
            reader.commit(n);
        }
        fed += n;
    }
    if (reader.malformed()) {
        FUZZ_CHECK(stream.size() - taken >= helper::kHeaderSize);
        FUZZ_CHECK(helper::readU32(stream.data() + taken) > helper::kMaxFrameBytes);
    } else if (!ended) {
        // All that is left is the start of one frame.
        FUZZ_CHECK(reader.pending() == (taken < stream.size()));
    }
    return 0;
}
