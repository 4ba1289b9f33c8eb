#include "platform/trash/Trash.h"

#include "names/NameCodec.h"
#include "platform/RawFiles.h"
#include "platform/trash/TrashFolder.h"
#include "platform/trash/TrashInfo.h"
#include "platform/trash/TrashJournal.h"

#include <QByteArray>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
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
// depends on it: the note in the journal (TrashJournal.h), the info and info/ before the
// entry moves, and files/ and the entry's old folder before success is told. An entry is
// then always where it was or in files/ beside a complete info; a cut can at worst leave
// a noted info whose entry never moved, which clearLeftovers removes later.
namespace platform::trash {

namespace {

constexpr int kNameMax = 255;
const QByteArray kInfoSuffix = QByteArrayLiteral(".trashinfo");
// Gives up looking for a free name after this many tries.
constexpr int kMaxNameTries = 100000;

QByteArray currentFolder() {
    QByteArray cwd(PATH_MAX, '\0');
    while (::getcwd(cwd.data(), static_cast<std::size_t>(cwd.size())) == nullptr) {
        if (errno != ERANGE) {
            return {};
        }
        cwd.resize(cwd.size() * 2);
    }
    cwd.truncate(static_cast<qsizetype>(qstrlen(cwd.constData())));
    return cwd;
}

// `path` made absolute against the current folder, with repeated '/' and "."
// components dropped. Nothing is resolved: a symlink stays the link it names.
QByteArray absolutePath(const QByteArray& path) {
    QByteArray full = path;
    if (!full.startsWith('/')) {
        const QByteArray cwd = currentFolder();
        if (cwd.isEmpty()) {
            return {};
        }
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

// The path of the folder open as `fd` as the kernel reached it: links and ".." resolved.
// `text` is the path it was opened by, resolved again where /proc is not mounted.
QByteArray realFolderOf(int fd, const QByteArray& text) {
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    QByteArray target(PATH_MAX, '\0');
    for (;;) {
        const ssize_t got = ::readlink(link.constData(), target.data(), target.size());
        if (got < 0) {
            break;
        }
        if (got < target.size()) {
            target.truncate(got);
            if (target.startsWith('/')) {
                return target;
            }
            break;
        }
        target.resize(target.size() * 2);
    }
    char resolved[PATH_MAX];
    return ::realpath(text.constData(), resolved) != nullptr ? QByteArray(resolved) : QByteArray();
}

// The entry `base` of the folder `where.folder` as a path relative to `where.top`, the
// form a top-directory trash records.
QByteArray relativeToTop(const TopDirectory& where, const QByteArray& base) {
    QByteArray inside = where.folder.mid(where.top.size());
    while (inside.startsWith('/')) {
        inside.remove(0, 1);
    }
    return inside.isEmpty() ? base : inside + '/' + base;
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

// Moves the entry `base` of the folder open as `source` into `trash`, recording
// `recorded` as its origin: notes the trash in the journal, places the info, renames
// the entry into files/ and makes both folders of the move durable, then clears the
// note. Returns 0 or an errno value; on failure nothing is left in the trash but, should
// even the removal of its info fail, a noted info for clearLeftovers.
int trashInto(const TrashFolder& trash, int source, const QByteArray& base,
              const QByteArray& recorded) {
    const Descriptor journal = openJournal(trash.folder.get());
    if (!journal.valid()) {
        return errno;
    }
    const QByteArray info = trashInfoText(recorded, deletionDate());
    for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
        const QByteArray name = trashName(base, attempt);
        struct stat status {};
        if (::fstatat(trash.files.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            continue; // an entry left without its info file still owns its name
        }
        TrashNote note;
        if (const int error = note.take(journal.get(), name, info); error != 0) {
            if (error == EEXIST) {
                continue; // another trash of this program has the name
            }
            return error;
        }
        int error = note.placeInfo(trash.info.get(), info);
        if (error == 0) {
            error = raw::renameNoReplaceAt(source, base.constData(), trash.files.get(),
                                           name.constData());
            if (error == 0) {
                // The entry has moved; it is safe once both folders are written out.
                error = raw::syncFile(trash.files.get());
                if (const int moved = raw::syncFile(source); error == 0) {
                    error = moved;
                }
                note.clear();
                return error;
            }
        }
        note.withdraw();
        if (error != EEXIST) {
            return error;
        }
        // Someone took the name in info/ or files/ meanwhile: try the next one.
    }
    return EEXIST;
}

} // namespace

TrashOutcome trashEntry(const QString& path) {
    const QByteArray absolute = absolutePath(names::encodeName(path));
    if (absolute.isEmpty()) {
        return {{false, errno != 0 ? errno : ENOENT}, {}};
    }
    const QByteArray base = baseNameOf(absolute);
    if (base.isEmpty() || base == "..") {
        return {{false, EINVAL}, {}}; // the root, or a path that names no entry of its folder
    }
    // The entry's folder as the kernel reaches it, links and ".." followed; the entry
    // itself, a link too, is moved as it is.
    const QByteArray folderText = parentOf(absolute);
    const Descriptor source(::open(folderText.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat entry {};
    if (!source.valid() ||
        ::fstatat(source.get(), base.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
        return {{false, errno}, {}};
    }
    const QByteArray realFolder = realFolderOf(source.get(), folderText);
    if (realFolder.isEmpty()) {
        return {{false, errno != 0 ? errno : ENOENT}, {}};
    }
    const QByteArray realPath = (realFolder == "/" ? QByteArray() : realFolder) + '/' + base;

    // The home trash first, when it lives on the entry's file system. A trash on another
    // file system would need a copy, which is never done; there the entry's own file
    // system must provide one.
    struct stat home {};
    std::optional<TrashFolder> homeTrash = openHomeTrash(entry.st_dev);
    if (homeTrash) {
        // The home trash records absolute paths.
        const int error = trashInto(*homeTrash, source.get(), base, realPath);
        if (error != EXDEV) {
            return {{error == 0, error}, std::move(homeTrash->folder)};
        }
        // Same device but another mount of it (a bind mount): try the top directory.
        ::fstat(homeTrash->folder.get(), &home);
    }
    // A top-directory trash records paths relative to its top directory, so that they
    // still hold when the file system is mounted somewhere else.
    const TopDirectory where = topDirectoryOf(realFolder, entry.st_dev);
    if (!where.top.isEmpty()) {
        if (std::optional<TrashFolder> top = openTopDirectoryTrash(where.top, entry.st_dev)) {
            struct stat status {};
            const bool isHome = homeTrash && ::fstat(top->folder.get(), &status) == 0 &&
                                status.st_dev == home.st_dev && status.st_ino == home.st_ino;
            if (!isHome) {
                const int error = trashInto(*top, source.get(), base, relativeToTop(where, base));
                if (error != EXDEV) {
                    return {{error == 0, error}, std::move(top->folder)};
                }
            }
        }
    }
    return {{false, EXDEV}, {}};
}

} // namespace platform::trash

namespace platform {

ChangeResult moveToTrash(const QString& path) {
    return trash::trashEntry(path).result;
}

} // namespace platform
