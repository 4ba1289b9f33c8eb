#include "names/NameCodec.h"
#include "platform/DrivePlaces.h"
#include "platform/FileSystem.h"
#include "platform/MountTable.h"

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// The mount table as the kernel keeps it. Reading it asks no mounted file system
// anything, so a mount that never answers cannot hold up the list.
QByteArray readMountInfo() {
    QByteArray text;
    const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        text.append(chunk, n);
    }
    ::close(fd);
    return text;
}

QByteArray withoutTrailingSlash(QByteArray path) {
    while (path.endsWith('/')) {
        path.chop(1);
    }
    return path;
}

// The running user, with the home folder the desktop gives it (HOME, else the password
// database) and its data folder as the XDG rules place it.
MountUser runningUser() {
    MountUser user;
    user.uid = ::getuid();
    QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/')) {
        const passwd* entry = ::getpwuid(user.uid);
        home = entry != nullptr ? QByteArray(entry->pw_dir) : QByteArray();
    }
    user.home = withoutTrailingSlash(home);
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    user.dataHome =
        dataHome.startsWith('/') ? withoutTrailingSlash(dataHome) : user.home + "/.local/share";
    return user;
}

QStringList mountedRoots() {
    // The root file system is always there, even when the mount table does not show it
    // (some containers hide it).
    QStringList roots{QStringLiteral("/")};
    for (const QByteArray& place : drivePlaces(readMountTable(), runningUser())) {
        roots.append(
            names::decodeName({place.constData(), static_cast<std::size_t>(place.size())}));
    }
    return roots;
}

std::function<QStringList()>& rootSource() {
    static std::function<QStringList()> source;
    return source;
}

} // namespace

QList<Mount> readMountTable() {
    return parseMountInfo(readMountInfo());
}

bool driveRootsReplaced() {
    return static_cast<bool>(rootSource());
}

QStringList driveRoots() {
    const auto& source = rootSource();
    const QStringList found = source ? source() : mountedRoots();

    QStringList roots;
    bool hasRoot = false;
    for (QString root : found) {
        if (root.isEmpty()) {
            continue;
        }
        if (!root.endsWith(QLatin1Char('/'))) {
            root.append(QLatin1Char('/'));
        }
        if (root == QLatin1String("/")) {
            hasRoot = true;
        } else if (!roots.contains(root)) {
            roots.append(root);
        }
    }
    if (hasRoot) {
        roots.prepend(QStringLiteral("/"));
    }
    return roots;
}

void setDriveRootSource(std::function<QStringList()> source) {
    rootSource() = std::move(source);
}

} // namespace platform
