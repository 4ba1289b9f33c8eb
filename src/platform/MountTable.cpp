#include "platform/MountTable.h"

#include <array>
#include <string_view>

namespace platform {

namespace {

// File systems of the kernel and the system itself, which hold no files of the user's.
// squashfs is here too: it carries read-only application images (snap, AppImage).
constexpr std::array<std::string_view, 26> kSystemTypes{
    "proc",        "sysfs",     "cgroup",     "cgroup2", "cpuset",   "devpts",   "mqueue",
    "debugfs",     "tracefs",   "securityfs", "pstore",  "bpf",      "configfs", "fusectl",
    "binfmt_misc", "hugetlbfs", "autofs",     "nsfs",    "efivarfs", "devtmpfs", "rpc_pipefs",
    "selinuxfs",   "ramfs",     "rootfs",     "nfsd",    "squashfs"};

// Folders of the system's own, where the user's files are not mounted.
constexpr std::array<std::string_view, 5> kSystemFolders{"/proc", "/sys", "/dev", "/run", "/snap"};

bool isBelow(const QByteArray& path, std::string_view folder) {
    const QByteArray prefix(folder.data(), static_cast<qsizetype>(folder.size()));
    return path == prefix || path.startsWith(prefix + '/');
}

QByteArray unescape(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' &&
            field[i + 3] <= '7') {
            out.append(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                         (field[i + 3] - '0')));
            i += 3;
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace

QList<Mount> parseMountInfo(const QByteArray& text) {
    QList<Mount> mounts;
    for (const QByteArray& line : text.split('\n')) {
        // id parent major:minor root mount-point options [optional fields...] - type source
        // super-options
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf(QByteArrayLiteral("-"), 6);
        if (fields.size() < 10 || dash < 0 || dash + 2 >= fields.size()) {
            continue;
        }
        mounts.append({unescape(fields[3]), unescape(fields[4]), unescape(fields[dash + 1]),
                       unescape(fields[dash + 2])});
    }
    return mounts;
}

bool holdsUserFiles(const Mount& mount) {
    const std::string_view type(mount.type.constData(),
                                static_cast<std::size_t>(mount.type.size()));
    for (const std::string_view system : kSystemTypes) {
        if (type == system) {
            return false;
        }
    }
    if (mount.mountPoint == "/") {
        return true;
    }
    if (isBelow(mount.mountPoint, "/run/media")) {
        return true;
    }
    for (const std::string_view folder : kSystemFolders) {
        if (isBelow(mount.mountPoint, folder)) {
            return false;
        }
    }
    // Containers bind single files (hosts, resolv.conf, hostname) over the system's own
    // configuration; they are not places to browse.
    return !(isBelow(mount.mountPoint, "/etc") && mount.root != "/");
}

} // namespace platform
