#include "names/NameCodec.h"
#include "platform/FileSystem.h"
#include "platform/RawFiles.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace platform {

namespace raw {

int renameNoReplace(const char* from, const char* to) {
    if (::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
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
    if (::lstat(to, &target) == 0) {
        return EEXIST;
    }
    if (errno != ENOENT) {
        return errno;
    }
    return ::rename(from, to) == 0 ? 0 : errno;
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

} // namespace

bool createFolder(const QString& path) {
    return ::mkdir(names::encodeName(path).constData(), 0777) == 0;
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
    const int error = raw::renameNoReplace(sourceBytes.constData(), targetBytes.constData());
    if (error != 0) {
        return failure(error);
    }
    return {true, 0};
}

} // namespace platform
