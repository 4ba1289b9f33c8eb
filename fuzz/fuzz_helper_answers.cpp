// The program's reader of the file helper's answers, on any byte stream from the helper's
// socket: it ends on the first end frame, or refuses the stream as malformed, or reports
// the helper lost when the stream stops early. What it takes matches what the frames
// say, in the order of names, and where the path led is the last such frame's path. No crash, no
// hang, no allocation beyond the bytes sent.

#include "FuzzCheck.h"
#include "NameOrderOf.h"
#include "names/NameList.h"
#include "names/NameOrder.h"
#include "platform/helper/HelperAnswer.h"
#include "platform/helper/HelperProtocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace helper = platform::helper;

namespace {

// The answer as the frames spell it, read without the program's reader.
struct Expected {
    bool complete = false;
    bool clean = false;
    int error = 0;
    std::vector<std::string_view> names;
    std::string_view reached;
};

std::uint32_t u32At(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// The names of an 'N' body, or false when its lengths do not cover its bytes exactly.
bool namesOf(std::string_view body, std::vector<std::string_view>& names) {
    if (body.size() < 4) {
        return false;
    }
    const std::uint64_t count = u32At(body, 0);
    if (4 + 4 * count > body.size()) {
        return false;
    }
    std::size_t at = 4 + 4 * count;
    std::vector<std::string_view> found;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t length = u32At(body, 4 + 4 * i);
        if (length > body.size() - at) {
            return false;
        }
        found.push_back(body.substr(at, length));
        at += length;
    }
    if (at != body.size()) {
        return false;
    }
    names.insert(names.end(), found.begin(), found.end());
    return true;
}

Expected expectedOf(std::string_view stream) {
    Expected expected;
    std::size_t at = 0;
    while (stream.size() - at >= helper::kHeaderSize) {
        const std::size_t length = u32At(stream, at);
        if (length > helper::kMaxFrameBytes || length > stream.size() - at - 5) {
            break;
        }
        const char kind = stream[at + 4];
        const std::string_view body = stream.substr(at + 5, length);
        at += 5 + length;
        if (kind == 'N' && namesOf(body, expected.names)) {
            continue;
        }
        if (kind == 'P') {
            expected.reached = body;
            continue;
        }
        if (kind == 'E' && body.size() >= 4) {
            expected.complete = true;
            expected.clean = at == stream.size();
            expected.error = static_cast<int>(u32At(body, 0));
        }
        break;
    }
    return expected;
}

std::vector<std::string_view> sortedBytes(std::vector<std::string_view> names) {
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // All of it must fit in the socket's buffer before the reader starts.
    constexpr std::size_t kMaxInput = std::size_t{64} << 10;
    if (size > kMaxInput) {
        return 0;
    }
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    int ends[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
    FUZZ_CHECK(helper::sendAll(ends[1], stream));
    ::close(ends[1]); // the helper is gone after these bytes

    platform::HelperAnswer answer(ends[0]);
    answer.read();
    const Expected expected = expectedOf(stream);
    FUZZ_CHECK(answer.complete() == expected.complete);
    FUZZ_CHECK(answer.reached() == expected.reached);
    if (expected.complete) {
        FUZZ_CHECK(answer.clean() == expected.clean);
        FUZZ_CHECK(answer.error() == expected.error);
        const names::NameList taken = answer.takeNames();
        if (expected.error == 0) {
            FUZZ_CHECK(taken.size() == expected.names.size());
            std::vector<std::string_view> names;
            for (std::size_t i = 0; i < taken.size(); ++i) {
                names.push_back(taken.at(i));
            }
            FUZZ_CHECK(sortedBytes(names) == sortedBytes(expected.names));
            // The order is checked on names a folder can hold: none holds a NUL byte,
            // which the sort keys use as their end.
            const bool readable = std::none_of(names.begin(), names.end(), [](auto name) {
                return name.find('\0') != std::string_view::npos;
            });
            for (std::size_t i = 1; readable && i < names.size(); ++i) {
                FUZZ_CHECK(!nameBefore(names[i], names[i - 1]));
            }
        } else {
            FUZZ_CHECK(taken.empty());
        }
    }
    ::close(ends[0]);
    return 0;
}
