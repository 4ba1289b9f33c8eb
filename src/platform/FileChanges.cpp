#include "names/NameCodec.h"
#include "platform/FileSystem.h"
#include "platform/RawFiles.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace platform {

namespace raw {

int renameNoReplaceAt(int fromFolder, const char* from, int toFolder, const char* to) {
    if (::syscall(SYS_renameat2, fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    const int error = errno;
    if (error != EINVAL && error != ENOSYS) {
        return error;
    }
    // The kernel or the file system does not know the flag. Look first, then rename;
    // any existing target is refused, since a plain rename would replace a file or an
    // empty folder.
    struct stat target {};
    if (::fstatat(toFolder, to, &target, AT_SYMLINK_NOFOLLOW) == 0) {
        return EEXIST;
    }
    if (errno != ENOENT) {
        return errno;
    }
    return ::renameat(fromFolder, from, toFolder, to) == 0 ? 0 : errno;
}

int renameNoReplace(const char* from, const char* to) {
    return renameNoReplaceAt(AT_FDCWD, from, AT_FDCWD, to);
}

int syncFile(int fd) {
    while (::fsync(fd) != 0) {
        if (errno == EINTR) {
            continue;
        }
        return errno == EINVAL ? 0 : errno;
    }
    return 0;
}

int syncFolder(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int error = syncFile(fd);
    ::close(fd);
    return error;
}

} // namespace raw

namespace {

QString collapseSeparators(const QString& path) {
    QString result;
    result.reserve(path.size());
    for (const QChar c : path) {
        if (c == QLatin1Char('/') && result.endsWith(QLatin1Char('/'))) {
            continue;
        }
        result.append(c);
    }
    return result;
}

struct PathParts {
    QString folder; // up to and including the last '/', empty for a bare name
    QString name;   // after the last '/'
};

PathParts splitPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return {path.left(slash + 1), path.mid(slash + 1)};
}

bool isUsableName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..");
}

ChangeResult failure(int error) {
    return {false, error};
}

// The folder that holds the entry `path` names (trailing separators ignored).
QByteArray folderOf(const QByteArray& path) {
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == '/') {
        --end;
    }
    const qsizetype slash = path.lastIndexOf('/', end - 1);
    if (slash < 0) {
        return QByteArrayLiteral(".");
    }
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// Whether a listing of `folder` holds exactly the name `name`.
bool folderLists(const QByteArray& folder, const QByteArray& name) {
    DIR* dir = ::opendir(folder.constData());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (name == entry->d_name) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// Whether two names differ at most in the case (or the composition) of their letters.
bool sameLetters(const QString& a, const QString& b) {
    return a.normalized(QString::NormalizationForm_D).toCaseFolded() ==
           b.normalized(QString::NormalizationForm_D).toCaseFolded();
}

// Whether `source` and `target`, names in `folder` equal but for case that the file
// system found both taken, are one and the same entry: a file system that ignores case
// (FAT, exFAT, ext4 casefold) finds "Report" under "report", and lists only the spelling
// it keeps. A folder that lists the target's exact name holds an entry of that name (a
// hard link to the same file is one too), which is never replaced. Otherwise the same
// device and inode say so; where a FUSE file system numbers each spelling on its own, the
// same kind of entry does.
bool isSameEntry(const QByteArray& folder, const PathParts& source, const PathParts& target) {
    if (!sameLetters(source.name, target.name)) {
        return false; // a hard link under another name is another entry to the user
    }
    if (folderLists(folder, names::encodeName(target.name))) {
        return false;
    }
    const QByteArray sourceBytes = names::encodeName(source.folder + source.name);
    const QByteArray targetBytes = names::encodeName(target.folder + target.name);
    struct stat from {};
    struct stat to {};
    if (::lstat(sourceBytes.constData(), &from) != 0 ||
        ::lstat(targetBytes.constData(), &to) != 0 || from.st_dev != to.st_dev) {
        return false;
    }
    return from.st_ino == to.st_ino || (from.st_mode & S_IFMT) == (to.st_mode & S_IFMT);
}

// Renames an entry onto another spelling of its own name. Some file systems take such a
// rename as one that changes nothing; there it goes through a free name of its own.
int renameCaseOnly(const QByteArray& folder, const QByteArray& from, const QByteArray& to,
                   const QByteArray& targetName) {
    if (::rename(from.constData(), to.constData()) != 0) {
        return errno;
    }
    if (folderLists(folder, targetName)) {
        return 0;
    }
    const QByteArray step = folder + "/.dirquill-rename-" + QByteArray::number(::getpid());
    if (const int error = raw::renameNoReplace(from.constData(), step.constData()); error != 0) {
        return error;
    }
    if (const int error = raw::renameNoReplace(step.constData(), to.constData()); error != 0) {
        // Back under the name it had; the step name is never left in place if it can help.
        raw::renameNoReplace(step.constData(), from.constData());
        return error;
    }
    return 0;
}

} // namespace

bool createFolder(const QString& path) {
    const QByteArray bytes = names::encodeName(path);
    if (::mkdir(bytes.constData(), 0777) != 0) {
        return false;
    }
    // The new folder lasts once its parent's entries are written out.
    const int error = raw::syncFolder(folderOf(bytes).constData());
    errno = error;
    return error == 0;
}

ChangeResult renameEntry(const QString& from, const QString& to) {
    const QString source = collapseSeparators(from);
    const QString target = collapseSeparators(to);
    const PathParts sourceParts = splitPath(source);
    const PathParts targetParts = splitPath(target);
    if (!isUsableName(sourceParts.name) || !isUsableName(targetParts.name)) {
        return failure(EINVAL);
    }
    const QByteArray sourceBytes = names::encodeName(source);
    const QByteArray targetBytes = names::encodeName(target);
    if (names::encodeName(sourceParts.folder) != names::encodeName(targetParts.folder)) {
        return failure(EINVAL);
    }
    if (sourceBytes == targetBytes) {
        struct stat status {};
        if (::lstat(sourceBytes.constData(), &status) != 0) {
            return failure(errno);
        }
        return {true, 0};
    }
    const QByteArray folder = folderOf(sourceBytes);
    int error = raw::renameNoReplace(sourceBytes.constData(), targetBytes.constData());
    if (error == EEXIST && isSameEntry(folder, sourceParts, targetParts)) {
        error =
            renameCaseOnly(folder, sourceBytes, targetBytes, names::encodeName(targetParts.name));
    }
    if (error == 0) {
        // The new name lasts once the folder's entries are written out.
        error = raw::syncFolder(folder.constData());
    }
    if (error != 0) {
        return failure(error);
    }
    return {true, 0};
}

} // namespace platform
