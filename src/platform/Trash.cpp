#include "names/NameCodec.h"
#include "platform/FileSystem.h"
#include "platform/RawFiles.h"
#include "platform/TrashInfo.h"

#include <QByteArray>
#include <QList>
#include <QSet>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// The desktop trash as freedesktop.org describes it, done on the raw bytes of paths so
// that names which are not UTF-8 go to the trash and come back unchanged.
//
// A trash folder holds files/, where the trashed entries live, and info/, with one
// NAME.trashinfo per entry recording where it came from and when. Entries on the home
// file system go to $XDG_DATA_HOME/Trash; entries on other file systems go to a trash at
// the top of their own file system, so that trashing is always a rename and never a copy.
//
// A power cut may come between any two calls, and a file system may write out the changes
// of different folders in any order. So every step is made durable before the next one
// depends on it: the info file and its folder before the entry moves, and files/ and the
// entry's old folder before success is told. An entry is then always where it was or in
// files/ beside a complete info; a cut can at worst leave an info whose entry never moved,
// which a later trash removes (sweepOrphanedInfo).
namespace platform {

namespace {

constexpr mode_t kPrivateFolder = 0700;
constexpr int kNameMax = 255;
const QByteArray kInfoSuffix = QByteArrayLiteral(".trashinfo");
// Gives up looking for a free name after this many tries.
constexpr int kMaxNameTries = 100000;
// An info file without its entry is left alone until it is this old: another program may
// have just written it and not yet moved its entry.
constexpr std::time_t kOrphanAgeSeconds = 60;

QByteArray joinPath(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// `path` made absolute against the current folder, with repeated '/' and "."
// components dropped. Nothing is resolved: a symlink stays the link it names.
QByteArray absolutePath(const QByteArray& path) {
    QByteArray full = path;
    if (!full.startsWith('/')) {
        QByteArray cwd(PATH_MAX, '\0');
        while (::getcwd(cwd.data(), static_cast<std::size_t>(cwd.size())) == nullptr) {
            if (errno != ERANGE) {
                return {};
            }
            cwd.resize(cwd.size() * 2);
        }
        cwd.truncate(static_cast<qsizetype>(qstrlen(cwd.constData())));
        full = cwd + '/' + full;
    }
    QByteArray result;
    result.reserve(full.size());
    for (const QByteArray& part : full.split('/')) {
        if (part.isEmpty() || part == ".") {
            continue;
        }
        result += '/';
        result += part;
    }
    return result.isEmpty() ? QByteArrayLiteral("/") : result;
}

QByteArray parentOf(const QByteArray& absolute) {
    const qsizetype slash = absolute.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : absolute.left(slash);
}

QByteArray baseNameOf(const QByteArray& absolute) {
    return absolute.mid(absolute.lastIndexOf('/') + 1);
}

// Creates `path` unless it is already a folder. Returns 0 or an errno value. A folder it
// makes is made durable in its parent, since what goes into it later would be lost with it.
int ensureFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), kPrivateFolder) == 0) {
        return raw::syncFolder(parentOf(path).constData());
    }
    const int error = errno;
    struct stat status {};
    if (error == EEXIST && ::stat(path.constData(), &status) == 0) {
        return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    }
    return error;
}

// Creates `path` and any missing parents.
int ensureFolders(const QByteArray& path) {
    qsizetype from = 1;
    for (;;) {
        const qsizetype slash = path.indexOf('/', from);
        const QByteArray prefix = slash < 0 ? path : path.left(slash);
        if (const int error = ensureFolder(prefix); error != 0) {
            return error;
        }
        if (slash < 0) {
            return 0;
        }
        from = slash + 1;
    }
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

QByteArray homeTrashFolder() {
    QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    if (!dataHome.startsWith('/')) {
        // Unset, empty or relative: the default location, as the base directory rules
        // say relative paths are to be ignored.
        const QByteArray home = homeFolder();
        if (!home.startsWith('/')) {
            return {};
        }
        dataHome = joinPath(home, ".local/share");
    }
    return joinPath(absolutePath(dataHome), "Trash");
}

// Makes sure `trash`, `trash`/files and `trash`/info exist and are folders, and that
// files/ is on the device `device`. Returns whether the trash can be used.
bool prepareTrash(const QByteArray& trash, dev_t device) {
    const QByteArray files = joinPath(trash, "files");
    const QByteArray info = joinPath(trash, "info");
    if (ensureFolder(trash) != 0 || ensureFolder(files) != 0 || ensureFolder(info) != 0) {
        return false;
    }
    struct stat status {};
    return ::stat(files.constData(), &status) == 0 && status.st_dev == device;
}

// Whether `path` is a folder itself (not a link to one) owned by this user.
bool isOwnFolder(const QByteArray& path) {
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::getuid();
}

// Where the folder of an entry lies on its file system.
struct TopDirectory {
    QByteArray top;    // the mount point of the file system, empty when not found
    QByteArray folder; // the folder's own path without symlinks, below `top`
};

// The mount point of the file system `device` that holds the folder `folder`.
TopDirectory topDirectoryOf(const QByteArray& folder, dev_t device) {
    // The folder's own path without symlinks, so that walking up its text walks up the
    // file system and not back through a link. A longer one could not be looked up.
    char resolved[PATH_MAX];
    if (::realpath(folder.constData(), resolved) == nullptr) {
        return {};
    }
    QByteArray current(resolved);
    struct stat status {};
    if (::stat(current.constData(), &status) != 0 || status.st_dev != device) {
        return {};
    }
    const QByteArray own = current;
    while (current != "/") {
        const QByteArray parent = parentOf(current);
        if (::stat(parent.constData(), &status) != 0 || status.st_dev != device) {
            break;
        }
        current = parent;
    }
    return {current, own};
}

// The entry `base` of the folder `folder` (resolved, below `top`) as a path relative to
// `top`, the form a top-directory trash records.
QByteArray relativeToTop(const TopDirectory& where, const QByteArray& base) {
    QByteArray inside = where.folder.mid(where.top.size());
    while (inside.startsWith('/')) {
        inside.remove(0, 1);
    }
    return inside.isEmpty() ? base : inside + '/' + base;
}

// A trash folder of this user at `path`, which another user may have planted (a link, a
// folder of theirs): it is made when missing, then looked at before anything is made in
// it, and only a real folder owned by this user is prepared and taken.
bool takeOwnTrash(const QByteArray& path, dev_t device) {
    if (::mkdir(path.constData(), kPrivateFolder) == 0) {
        if (raw::syncFolder(parentOf(path).constData()) != 0) {
            return false;
        }
    } else if (errno != EEXIST) {
        return false;
    }
    return isOwnFolder(path) && prepareTrash(path, device);
}

// The trash folders at the top of the file system `device` that may take an entry of
// the folder `where`: $topdir/.Trash/$uid when the administrator provided a .Trash
// (a real folder with the sticky bit), then $topdir/.Trash-$uid.
QList<QByteArray> topDirectoryTrashes(const TopDirectory& where, dev_t device) {
    QList<QByteArray> trashes;
    if (where.top.isEmpty()) {
        return trashes;
    }
    const QByteArray uid = QByteArray::number(static_cast<qulonglong>(::getuid()));
    struct stat status {};

    const QByteArray shared = joinPath(where.top, ".Trash");
    if (::lstat(shared.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
        (status.st_mode & S_ISVTX) != 0) {
        // The shared folder is writable by everyone: accept only a real folder of this
        // user inside it, never a link someone else planted.
        if (const QByteArray own = joinPath(shared, uid); takeOwnTrash(own, device)) {
            // A second trash on the same file system could not do better.
            trashes.append(own);
            return trashes;
        }
    }
    if (const QByteArray personal = joinPath(where.top, ".Trash-" + uid);
        takeOwnTrash(personal, device)) {
        trashes.append(personal);
    }
    return trashes;
}

QByteArray deletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return QByteArray(text, static_cast<qsizetype>(length));
}

// The name the entry gets in the trash on the `attempt`-th try: the entry's own name,
// then "NAME.2", "NAME.3"... cut short where needed so that NAME.trashinfo still fits
// in a file name. A cut never splits a UTF-8 sequence.
QByteArray trashName(const QByteArray& base, int attempt) {
    const QByteArray suffix = attempt == 1 ? QByteArray() : '.' + QByteArray::number(attempt);
    const qsizetype room = kNameMax - kInfoSuffix.size() - suffix.size();
    QByteArray stem = base;
    if (stem.size() > room) {
        qsizetype cut = room;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        stem.truncate(cut);
    }
    return stem + suffix;
}

bool writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t written =
            ::write(fd, data.constData() + done, static_cast<std::size_t>(data.size() - done));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += written;
    }
    return true;
}

// Removes the info files of `trash` whose entry is not in files/: what a trash that was
// cut off (a killed process, a power cut) between writing the info and moving the entry
// leaves behind. Other programs list such an info as an entry that cannot be restored.
// An info younger than a minute, or one whose writer holds its lock (as trashInto does
// until its entry has moved), may be on its way and is left alone.
// The names in the folder open as `fd`, read from a descriptor of its own.
QSet<QByteArray> namesIn(int fd) {
    QSet<QByteArray> names;
    DIR* folder = ::fdopendir(::dup(fd));
    if (folder == nullptr) {
        return names;
    }
    while (const dirent* item = ::readdir(folder)) {
        names.insert(QByteArray(item->d_name));
    }
    ::closedir(folder);
    return names;
}

void sweepOrphanedInfo(const QByteArray& trash) {
    // Two listings of names find the candidates, so that a large trash costs two reads
    // of its folders and not a look-up per entry.
    const int infoFd =
        ::open(joinPath(trash, "info").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int filesFd =
        ::open(joinPath(trash, "files").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (infoFd >= 0 && filesFd >= 0) {
        const QSet<QByteArray> entries = namesIn(filesFd);
        const std::time_t oldest = std::time(nullptr) - kOrphanAgeSeconds;
        for (const QByteArray& name : namesIn(infoFd)) {
            if (!name.endsWith(kInfoSuffix) || name.size() == kInfoSuffix.size()) {
                continue;
            }
            const QByteArray entry = name.chopped(kInfoSuffix.size());
            if (entries.contains(entry)) {
                continue;
            }
            const int fd = ::openat(infoFd, name.constData(),
                                    O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
            if (fd < 0) {
                continue;
            }
            struct stat status {};
            struct stat moved {};
            // Looked at again under the lock: the entry may have arrived meanwhile.
            if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_mtime <= oldest &&
                ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                ::fstatat(filesFd, entry.constData(), &moved, AT_SYMLINK_NOFOLLOW) != 0 &&
                errno == ENOENT) {
                ::unlinkat(infoFd, name.constData(), 0);
            }
            ::close(fd);
        }
    }
    for (const int fd : {infoFd, filesFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

// Moves the entry `absolute` into the trash folder `trash`, recording `recorded` as its
// origin: first claims a name by creating its info file, writes it and makes it durable,
// then renames the entry into files/ and makes both folders of the move durable. Returns
// 0 or an errno value; on failure nothing is left behind in the trash.
int trashInto(const QByteArray& trash, const QByteArray& absolute, const QByteArray& recorded) {
    const QByteArray base = baseNameOf(absolute);
    const QByteArray info = trashInfoText(recorded, deletionDate());
    const QByteArray infoFolder = joinPath(trash, "info");
    const QByteArray filesFolder = joinPath(trash, "files");

    for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
        const QByteArray name = trashName(base, attempt);
        const QByteArray target = joinPath(filesFolder, name);
        struct stat status {};
        if (::lstat(target.constData(), &status) == 0) {
            continue; // an entry left without its info file still owns its name
        }
        const QByteArray infoPath = joinPath(infoFolder, name + kInfoSuffix);
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return errno;
        }
        // Held until the entry is in files/, so that no sweep takes the info for an
        // orphan meanwhile; the kernel lets go of it when this process ends. Never waited
        // for: a fresh info is a minute too young for any sweep anyway.
        ::flock(fd, LOCK_EX | LOCK_NB);
        int error = writeAll(fd, info) ? 0 : errno;
        if (error == 0) {
            error = raw::syncFile(fd);
        }
        if (error == 0) {
            error = raw::syncFolder(infoFolder.constData());
        }
        if (error == 0) {
            error = raw::renameNoReplace(absolute.constData(), target.constData());
            if (error == 0) {
                // The entry has moved; it is safe once both folders are written out.
                error = raw::syncFolder(filesFolder.constData());
                if (const int source = raw::syncFolder(parentOf(absolute).constData());
                    error == 0) {
                    error = source;
                }
                ::close(fd);
                return error;
            }
        }
        ::unlink(infoPath.constData());
        ::close(fd);
        if (error != EEXIST) {
            return error;
        }
        // Someone took files/NAME between the look and the move: try the next name.
    }
    return EEXIST;
}

// Trashes `absolute` into `trash` and, when that worked, clears the trash of what earlier
// trashes that were cut off left behind.
int trashAndSweep(const QByteArray& trash, const QByteArray& absolute, const QByteArray& recorded) {
    const int error = trashInto(trash, absolute, recorded);
    if (error == 0) {
        sweepOrphanedInfo(trash);
    }
    return error;
}

} // namespace

ChangeResult moveToTrash(const QString& path) {
    const QByteArray absolute = absolutePath(names::encodeName(path));
    if (absolute.isEmpty()) {
        return {false, errno != 0 ? errno : ENOENT};
    }
    struct stat entry {};
    if (::lstat(absolute.constData(), &entry) != 0) {
        return {false, errno};
    }
    const QByteArray base = baseNameOf(absolute);
    if (base.isEmpty() || base == "..") {
        return {false, EINVAL}; // the root, or a path that names no entry of its folder
    }

    // The home trash first, when it lives on the entry's file system. A trash on another
    // file system would need a copy, which is never done; there the entry's own file
    // system must provide one.
    const QByteArray home = homeTrashFolder();
    if (!home.isEmpty()) {
        // The data folder may not exist yet on a fresh account.
        ensureFolders(parentOf(home));
        if (prepareTrash(home, entry.st_dev)) {
            // The home trash records absolute paths.
            const int error = trashAndSweep(home, absolute, absolute);
            if (error != EXDEV) {
                return {error == 0, error};
            }
            // Same device but another mount of it (a bind mount): try the top directory.
        }
    }
    // A top-directory trash records paths relative to its top directory, so that they
    // still hold when the file system is mounted somewhere else.
    const TopDirectory where = topDirectoryOf(parentOf(absolute), entry.st_dev);
    for (const QByteArray& trash : topDirectoryTrashes(where, entry.st_dev)) {
        if (trash == home) {
            continue;
        }
        const int error = trashAndSweep(trash, absolute, relativeToTop(where, base));
        if (error != EXDEV) {
            return {error == 0, error};
        }
    }
    return {false, EXDEV};
}

} // namespace platform
