#include "platform/PathReach.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// The kernel follows at most this many links in one path.
constexpr int kMaxLinks = 40;

// Puts the components of `path` in front of those still to walk, which are kept last
// first, so that the next one is at the back.
void pushFront(std::string_view path, std::vector<std::string>& toWalk) {
    std::size_t end = path.size();
    while (end > 0) {
        const std::size_t slash = path.rfind('/', end - 1);
        const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
        if (end > start) {
            toWalk.emplace_back(path.substr(start, end - start));
        }
        if (slash == std::string_view::npos) {
            break;
        }
        end = slash;
    }
}

// Where the look-ups to come lead: what has been walked, then the components still to
// walk up to the next "..", which turns back. Read as text, it names the mount that the
// walk asks last before it turns back or ends.
std::string heading(const std::string& walked, const std::vector<std::string>& toWalk) {
    std::string text = walked.empty() ? std::string("/") : walked;
    for (auto part = toWalk.rbegin(); part != toWalk.rend() && *part != ".."; ++part) {
        if (text.back() != '/') {
            text.push_back('/');
        }
        text += *part;
    }
    return text;
}

bool holdsParent(const std::vector<std::string>& toWalk) {
    return std::find(toWalk.begin(), toWalk.end(), "..") != toWalk.end();
}

// Tells where the walk leads, unless it turns back at once, with no look-up before.
bool tell(const PathReached& reached, const std::string& walked,
          const std::vector<std::string>& toWalk) {
    return (!toWalk.empty() && toWalk.back() == "..") || reached(heading(walked, toWalk));
}

} // namespace

bool followPath(std::string_view path, bool followLast, const PathReached& reached) {
    // What has been walked, without links: "" for the root, else "/a/b".
    std::string walked;
    if (path.empty()) {
        return true;
    }
    if (path.front() != '/') {
        // The kernel knows the current folder's path; finding it asks no file system.
        char* current = ::getcwd(nullptr, 0);
        if (current == nullptr) {
            return true;
        }
        walked = current;
        std::free(current);
        if (walked == "/") {
            walked.clear();
        }
    }
    std::vector<std::string> toWalk;
    pushFront(path, toWalk);
    // The text of a path that turns back with ".." does not say which mount the walk
    // waits on: "MOUNT/dead/../.." asks MOUNT, and its text undone names MOUNT's parent.
    if (holdsParent(toWalk) && !tell(reached, walked, toWalk)) {
        return false;
    }
    int links = 0;
    while (!toWalk.empty()) {
        std::string part = std::move(toWalk.back());
        toWalk.pop_back();
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            walked.erase(std::min(walked.size(), walked.rfind('/')));
            if (!tell(reached, walked, toWalk)) {
                return false;
            }
            continue;
        }
        if (toWalk.empty() && !followLast) {
            return true;
        }
        std::string next = walked;
        next += '/';
        next += part;
        struct stat status {};
        if (::lstat(next.c_str(), &status) != 0) {
            return true;
        }
        if (!S_ISLNK(status.st_mode)) {
            walked = std::move(next);
            continue;
        }
        if (++links > kMaxLinks) {
            return true;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(next.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
            return true;
        }
        target.resize(static_cast<std::size_t>(length));
        if (target.front() == '/') {
            walked.clear();
        }
        pushFront(target, toWalk);
        if (!tell(reached, walked, toWalk)) {
            return false;
        }
    }
    return true;
}

} // namespace platform
