#include "names/NameCodec.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <dirent.h>

namespace platform {

namespace {

// How many entries pass between two calls of the progress function.
constexpr std::size_t kProgressInterval = 64;

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

bool listFolder(const QString& folder, names::NameList& out, const ListingProgress& progress) {
    const QByteArray path = names::encodeName(folder);
    DIR* dir = ::opendir(path.constData());
    if (dir == nullptr) {
        return false;
    }
    std::size_t sinceProgress = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            // The end, or a read error part way through (a vanished folder, a failing
            // disk). Either way the names read so far are what the folder showed.
            break;
        }
        if (isDotOrDotDot(entry->d_name)) {
            continue;
        }
        out.append(std::string_view(entry->d_name, std::strlen(entry->d_name)));
        if (++sinceProgress == kProgressInterval) {
            sinceProgress = 0;
            if (progress) {
                progress();
            }
        }
    }
    ::closedir(dir);
    return true;
}

} // namespace platform
