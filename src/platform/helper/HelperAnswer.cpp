#include "platform/helper/HelperAnswer.h"

#include "names/NameOrder.h"
#include "platform/helper/HelperProtocol.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {
// At most this much is taken off the socket at once.
constexpr std::size_t kChunk = std::size_t{256} << 10;
} // namespace

HelperAnswer::HelperAnswer(int socket)
    : socket_(socket), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), wakeWrite_(wake_) {
    // Without a wake-up the reader would see a given-up answer only when the helper's end
    // closes, which a helper stuck in the kernel never does.
    int ends[2];
    if (wake_ < 0 && ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wake_ = ends[0];
        wakeWrite_ = ends[1];
    }
}

HelperAnswer::~HelperAnswer() {
    if (givenUp_) {
        ::close(socket_);
    }
    if (wakeWrite_ != wake_) {
        ::close(wakeWrite_);
    }
    if (wake_ >= 0) {
        ::close(wake_);
    }
}

void HelperAnswer::giveUp() {
    givenUp_ = true;
    const std::uint64_t one = 1;
    // Nothing is lost if this fails: the reader also stops when the killed helper's end
    // of the socket closes.
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &one, sizeof one);
}

std::string HelperAnswer::reached() const {
    const std::lock_guard lock(reachedLock_);
    return reached_;
}

void HelperAnswer::read() {
    // A folder can hold more names than memory: the listing is lost, not the program.
    try {
        readFrames();
    } catch (const std::bad_alloc&) {
        names_ = {};
        sizes_ = {};
        outOfMemory_ = true;
    }
}

void HelperAnswer::readFrames() {
    helper::FrameReader frames;
    names::NameSorter sorter;
    while (!givenUp_) {
        pollfd waits[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
        const int ready = ::poll(waits, wake_ >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || waits[1].revents != 0) {
            return;
        }
        char* const into = frames.prepare(kChunk);
        const ssize_t n = ::recv(socket_, into, kChunk, MSG_DONTWAIT);
        frames.commit(n > 0 ? static_cast<std::size_t>(n) : 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        helper::Frame frame;
        while (frames.next(frame)) {
            if (frame.kind == helper::kNames) {
                if (!helper::appendNames(frame.body, names_, sizes_)) {
                    return;
                }
                sorter.add(names_);
                entries_.store(names_.size(), std::memory_order_relaxed);
            } else if (frame.kind == helper::kReached) {
                const std::lock_guard lock(reachedLock_);
                reached_.assign(frame.body);
            } else if (frame.kind == helper::kEnd && frame.body.size() >= sizeof(std::uint32_t)) {
                error_ = static_cast<int>(helper::readU32(frame.body.data()));
                clean_ = !frames.pending();
                complete_ = true;
                if (error_ == 0 && !givenUp_) {
                    names_.setOrder(sorter.takeOrder(names_));
                } else {
                    names_.clear();
                }
                return;
            } else {
                return;
            }
        }
        if (frames.malformed()) {
            return;
        }
    }
}

} // namespace platform
