#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

// Removes `path` and everything below it by raw bytes, links included but never followed.
// QTemporaryDir cannot remove names that are not UTF-8, so tests that make such names
// clean up with this.
inline void removeTreeRaw(const QByteArray& path) {
    ::nftw(
        path.constData(),
        [](const char* entry, const struct stat* status, int, FTW*) {
            if (S_ISDIR(status->st_mode)) {
                ::chmod(entry, 0700);
                ::rmdir(entry);
                return 0;
            }
            ::unlink(entry);
            return 0;
        },
        32, FTW_DEPTH | FTW_PHYS);
}

// The bytes of a file, or "<missing>" when it cannot be read.
inline QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The bytes of a file named by raw bytes, or "<missing>" when it cannot be read.
inline QByteArray contentOfRaw(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        return QByteArray("<missing>");
    }
    return file.readAll();
}

// Whether an entry exists, a dangling link included.
inline bool existsRaw(const QByteArray& path) {
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0;
}

} // namespace testsupport
