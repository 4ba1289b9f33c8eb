#include "platform/helper/HelperProtocol.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::helper {

void appendU32(std::string& out, std::uint32_t value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void appendU64(std::string& out, std::uint64_t value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

std::uint32_t readU32(const char* at) {
    std::uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::uint64_t readU64(const char* at) {
    std::uint64_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void appendFrame(std::string& out, Kind kind, std::string_view body) {
    appendU32(out, static_cast<std::uint32_t>(body.size()));
    out.push_back(static_cast<char>(kind));
    out.append(body);
}

void FrameReader::feed(const char* data, std::size_t size) {
    std::memcpy(prepare(size), data, size);
    commit(size);
}

char* FrameReader::prepare(std::size_t size) {
    // Bytes already handed out are dropped before more arrive, so the buffer holds at
    // most one unfinished frame and what came after it.
    if (used_ > 0) {
        const std::size_t left = buffer_.size() - used_;
        std::memmove(buffer_.data(), buffer_.data() + used_, left);
        buffer_.truncate(left);
        used_ = 0;
    }
    prepared_ = buffer_.size();
    return buffer_.extend(size);
}

void FrameReader::commit(std::size_t size) {
    buffer_.truncate(prepared_ + size);
}

bool FrameReader::next(Frame& frame) {
    const std::size_t left = buffer_.size() - used_;
    if (malformed_ || left < kHeaderSize) {
        return false;
    }
    const char* head = buffer_.data() + used_;
    const std::size_t length = readU32(head);
    if (length > kMaxFrameBytes) {
        malformed_ = true;
        return false;
    }
    if (left < kHeaderSize + length) {
        return false;
    }
    frame.kind = static_cast<Kind>(head[4]);
    frame.body = {head + kHeaderSize, length};
    used_ += kHeaderSize + length;
    return true;
}

bool sendAll(int fd, std::string_view data) {
    bool socket = true;
    std::size_t done = 0;
    while (done < data.size()) {
        const char* from = data.data() + done;
        const std::size_t left = data.size() - done;
        ssize_t n = socket ? ::send(fd, from, left, MSG_NOSIGNAL) : ::write(fd, from, left);
        if (n < 0 && errno == ENOTSOCK) {
            socket = false;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string renameBody(std::string_view from, std::string_view to) {
    std::string body;
    appendU32(body, static_cast<std::uint32_t>(from.size()));
    body.append(from);
    body.append(to);
    return body;
}

bool splitRenameBody(std::string_view body, std::string_view& from, std::string_view& to) {
    if (body.size() < sizeof(std::uint32_t)) {
        return false;
    }
    const std::size_t length = readU32(body.data());
    if (length > body.size() - sizeof(std::uint32_t)) {
        return false;
    }
    from = body.substr(sizeof(std::uint32_t), length);
    to = body.substr(sizeof(std::uint32_t) + length);
    return true;
}

std::vector<std::string_view> splitMountPoints(std::string_view body) {
    std::vector<std::string_view> points;
    std::size_t start = 0;
    while (start <= body.size() && !body.empty()) {
        const std::size_t end = std::min(body.find('\0', start), body.size());
        points.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    return points;
}

std::string mountPointsBody(const std::vector<std::string>& mountPoints) {
    std::string body;
    for (std::size_t i = 0; i < mountPoints.size(); ++i) {
        if (i > 0) {
            body.push_back('\0');
        }
        body += mountPoints[i];
    }
    return body;
}

bool pathsHoldNul(Kind kind, std::string_view body) {
    std::string_view from = body;
    std::string_view to;
    if (kind == kRename && !splitRenameBody(body, from, to)) {
        return false;
    }
    return from.find('\0') != std::string_view::npos || to.find('\0') != std::string_view::npos;
}

bool appendNames(std::string_view body, names::NameList& names, std::vector<std::size_t>& sizes) {
    if (body.size() < sizeof(std::uint32_t)) {
        return false;
    }
    const std::size_t count = readU32(body.data());
    const std::size_t offset = sizeof(std::uint32_t) * (1 + count);
    if (count > body.size() / sizeof(std::uint32_t) || offset > body.size()) {
        return false;
    }
    sizes.resize(count);
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sizes[i] = readU32(body.data() + sizeof(std::uint32_t) * (1 + i));
        total += sizes[i];
    }
    if (total != body.size() - offset) {
        return false;
    }
    names.appendPacked(sizes, body.substr(offset));
    return true;
}

} // namespace platform::helper
