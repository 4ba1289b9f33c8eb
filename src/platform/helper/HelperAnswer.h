#pragma once

#include "names/NameList.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One answer of the file helper, read off its socket on a thread of its own. A listing's
// names are taken in, keyed and put in order on that thread while the helper is still
// reading the disk, so that the window's thread only takes the result.
//
// The reading thread waits on the helper's socket only, never on a disk, and stops at
// once when the answer is given up.
class HelperAnswer {
public:
    explicit HelperAnswer(int socket);
    ~HelperAnswer();
    HelperAnswer(const HelperAnswer&) = delete;
    HelperAnswer& operator=(const HelperAnswer&) = delete;

    // Reads until the answer is complete, the helper is lost or the answer is given up.
    // Runs on the reading thread.
    void read();

    // Called from any thread: the reading thread stops, and the socket is closed once it
    // is done with it (when the last owner lets this go).
    void giveUp();

    // How many entries a listing has taken in so far; any thread.
    [[nodiscard]] std::uint64_t entriesRead() const {
        return entries_.load(std::memory_order_relaxed);
    }

    // Where the helper said the request's path leads once it followed a link on it, or
    // empty; any thread.
    [[nodiscard]] std::string reached() const;

    // Once read() has returned:
    // whether the answer ended as answers do (else the helper was lost or broke it);
    [[nodiscard]] bool complete() const { return complete_; }
    // whether nothing followed it, so that the helper can serve the next request;
    [[nodiscard]] bool clean() const { return clean_; }
    // 0 when the request was carried out, else the errno value the helper sent;
    [[nodiscard]] int error() const { return error_; }
    // a listing's names, in the order the column shows them.
    names::NameList takeNames() { return std::move(names_); }
    // whether memory ran out while the names were taken in: what was read is dropped.
    [[nodiscard]] bool outOfMemory() const { return outOfMemory_; }

private:
    int socket_;
    int wake_;
    std::atomic<bool> givenUp_{false};
    std::atomic<std::uint64_t> entries_{0};
    mutable std::mutex reachedLock_;
    std::string reached_;
    bool complete_ = false;
    bool clean_ = false;
    bool outOfMemory_ = false;
    int error_ = 0;
    names::NameList names_;
    std::vector<std::size_t> sizes_; // of the names in the frame being taken in
    // wake_ is read by the reading thread; this is written to wake it: the same eventfd,
    // or the other end of a pipe where no eventfd can be made.
    int wakeWrite_;

    void readFrames();
};

} // namespace platform
