#include "platform/MountOfPath.h"

#include <QFile>

#include <algorithm>

namespace platform {

namespace {

// `path` as absolute components, with empty and "." ones dropped and ".." taking back
// the one before it.
QList<QByteArray> componentsOf(const QByteArray& path, const QByteArray& currentFolder) {
    QList<QByteArray> parts;
    const QByteArray full = path.startsWith('/') ? path : currentFolder + '/' + path;
    for (const QByteArray& part : full.split('/')) {
        if (part.isEmpty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.isEmpty()) {
                parts.removeLast();
            }
            continue;
        }
        parts.append(part);
    }
    return parts;
}

} // namespace

QByteArray mountPointOf(const QList<Mount>& mounts, const QByteArray& path,
                        const QByteArray& currentFolder) {
    const QList<QByteArray> parts = componentsOf(path, currentFolder);
    QByteArray best = "/";
    qsizetype bestDepth = 0;
    for (const Mount& mount : mounts) {
        const QList<QByteArray> point = componentsOf(mount.mountPoint, "/");
        if (point.size() <= bestDepth || point.size() > parts.size()) {
            continue;
        }
        if (std::equal(point.begin(), point.end(), parts.begin())) {
            best = mount.mountPoint;
            bestDepth = point.size();
        }
    }
    return best;
}

QByteArray mountPointOf(const QByteArray& path, const QByteArray& currentFolder) {
    // The kernel's table asks no mounted file system anything.
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    const QByteArray text = table.open(QIODevice::ReadOnly) ? table.readAll() : QByteArray();
    return mountPointOf(parseMountInfo(text), path, currentFolder);
}

} // namespace platform
