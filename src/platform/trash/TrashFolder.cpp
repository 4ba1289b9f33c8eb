#include "platform/trash/TrashFolder.h"

#include "platform/RawFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::trash {

namespace {

constexpr mode_t kPrivateFolder = 0700;

QByteArray joinPath(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray parentOf(const QByteArray& absolute) {
    const qsizetype slash = absolute.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : absolute.left(slash);
}

QByteArray homeFolder() {
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        if (const passwd* user = ::getpwuid(::getuid()); user != nullptr) {
            home = user->pw_dir;
        }
    }
    return home;
}

// $XDG_DATA_HOME, else ~/.local/share; empty when neither is an absolute path.
QByteArray dataFolder() {
    QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    if (dataHome.startsWith('/')) {
        return dataHome;
    }
    // Unset, empty or relative: the default location, as the base directory rules say
    // relative paths are to be ignored.
    const QByteArray home = homeFolder();
    return home.startsWith('/') ? joinPath(home, ".local/share") : QByteArray();
}

// Creates the folder `path` and any missing parents, each made durable in its parent.
// Returns 0 or an errno value.
int ensureFolders(const QByteArray& path) {
    for (qsizetype from = 1;;) {
        const qsizetype slash = path.indexOf('/', from);
        const QByteArray prefix = slash < 0 ? path : path.left(slash);
        if (::mkdir(prefix.constData(), kPrivateFolder) == 0) {
            if (const int error = raw::syncFolder(parentOf(prefix).constData()); error != 0) {
                return error;
            }
        } else if (errno != EEXIST) {
            return errno;
        }
        if (slash < 0) {
            struct stat status {};
            return ::stat(path.constData(), &status) != 0 ? errno
                   : S_ISDIR(status.st_mode)              ? 0
                                                          : ENOTDIR;
        }
        from = slash + 1;
    }
}

// files/ and info/ of the trash folder `folder`, made where missing; none when files/ is
// not on `device`, where a move into it could not be a rename.
std::optional<TrashFolder> withSubfolders(Descriptor folder, dev_t device) {
    TrashFolder trash;
    trash.files = makeAndOpenFolder(folder.get(), "files", false);
    trash.info = makeAndOpenFolder(folder.get(), "info", false);
    struct stat status {};
    if (!trash.files.valid() || !trash.info.valid() || ::fstat(trash.files.get(), &status) != 0 ||
        status.st_dev != device) {
        return std::nullopt;
    }
    trash.folder = std::move(folder);
    return trash;
}

// The trash folder `name` of this user in `parent`, a folder others may write to: made
// when missing, then taken only as a folder itself (never a link someone planted), owned
// by this user and closed to everyone else, as looked at through the descriptor that
// every later step uses.
std::optional<TrashFolder> ownTopTrash(int parent, const QByteArray& name, dev_t device) {
    Descriptor folder = makeAndOpenFolder(parent, name.constData(), false);
    struct stat status {};
    if (!folder.valid() || ::fstat(folder.get(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != ::getuid() || (status.st_mode & 0777) != kPrivateFolder) {
        return std::nullopt;
    }
    return withSubfolders(std::move(folder), device);
}

} // namespace

Descriptor makeAndOpenFolder(int parent, const char* name, bool followLink) {
    if (::mkdirat(parent, name, kPrivateFolder) == 0) {
        if (const int error = raw::syncFile(parent); error != 0) {
            errno = error;
            return Descriptor();
        }
    } else if (errno != EEXIST) {
        return Descriptor();
    }
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    return Descriptor(::openat(parent, name, flags));
}

std::optional<TrashFolder> openHomeTrash(dev_t device) {
    const QByteArray data = dataFolder();
    if (data.isEmpty()) {
        return std::nullopt;
    }
    // The data folder may not exist yet on a fresh account.
    if (ensureFolders(data) != 0) {
        return std::nullopt;
    }
    const Descriptor parent(::open(data.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid()) {
        return std::nullopt;
    }
    Descriptor folder = makeAndOpenFolder(parent.get(), "Trash", true);
    struct stat status {};
    if (!folder.valid() || ::fstat(folder.get(), &status) != 0 || status.st_uid != ::getuid()) {
        return std::nullopt;
    }
    return withSubfolders(std::move(folder), device);
}

TopDirectory topDirectoryOf(const QByteArray& realFolder, dev_t device) {
    QByteArray current = realFolder;
    struct stat status {};
    if (!current.startsWith('/') || ::stat(current.constData(), &status) != 0 ||
        status.st_dev != device) {
        return {};
    }
    while (current != "/") {
        const QByteArray parent = parentOf(current);
        if (::stat(parent.constData(), &status) != 0 || status.st_dev != device) {
            break;
        }
        current = parent;
    }
    return {current, realFolder};
}

std::optional<TrashFolder> openTopDirectoryTrash(const QByteArray& top, dev_t device) {
    const Descriptor topFolder(::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!topFolder.valid()) {
        return std::nullopt;
    }
    const QByteArray uid = QByteArray::number(static_cast<qulonglong>(::getuid()));
    const Descriptor shared(
        ::openat(topFolder.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (shared.valid() && ::fstat(shared.get(), &status) == 0 && (status.st_mode & S_ISVTX) != 0) {
        // Everyone may write to the shared folder; a second trash on the same file
        // system could not do better than this user's own folder in it.
        if (auto trash = ownTopTrash(shared.get(), uid, device)) {
            return trash;
        }
    }
    return ownTopTrash(topFolder.get(), ".Trash-" + uid, device);
}

} // namespace platform::trash
