#include "platform/DrivePlaces.h"

#include <QHash>
#include <QSet>

#include <array>
#include <string_view>

namespace platform {

namespace {

// File systems of the kernel and the system itself, which hold no files of the user's.
// squashfs is here too: it carries read-only application images (snap, AppImage). autofs
// is not: an automount point is where a disk or share is mounted when it is opened, and
// it is listed as it stands, without being opened.
constexpr std::array<std::string_view, 25> kSystemTypes{
    "proc",        "sysfs",     "cgroup",     "cgroup2",  "cpuset",   "devpts",     "mqueue",
    "debugfs",     "tracefs",   "securityfs", "pstore",   "bpf",      "configfs",   "fusectl",
    "binfmt_misc", "hugetlbfs", "nsfs",       "efivarfs", "devtmpfs", "rpc_pipefs", "selinuxfs",
    "ramfs",       "rootfs",    "nfsd",       "squashfs"};

// Folders of the system's own, where the user's files are not mounted.
constexpr std::array<std::string_view, 5> kSystemFolders{"/proc", "/sys", "/dev", "/run", "/snap"};

// Where container engines and orchestrators keep their layers and volumes, and Flatpak and
// snap their installed applications: one mount per container or application, none of
// them a place to browse.
constexpr std::array<std::string_view, 8> kStoreFolders{
    "/var/lib/docker", "/var/lib/containers", "/var/lib/containerd", "/var/lib/kubelet",
    "/var/lib/lxcfs",  "/var/lib/flatpak",    "/var/lib/snapd",      "/var/snap"};

// The same stores kept in the user's data folder: rootless Podman and Docker, and the
// applications a user installs with Flatpak.
constexpr std::array<std::string_view, 3> kUserStores{"containers", "docker", "flatpak"};

// Folders mounted for a while under a name of their own: an AppImage's contents while it
// runs, and Flatpak's downloads while they are installed.
constexpr std::array<std::string_view, 2> kTransientPrefixes{"/tmp/.mount_",
                                                             "/var/tmp/flatpak-cache-"};

// The desktop's network places (SMB and SFTP shares, phones, cameras opened in its file
// manager): one FUSE mount per user, normally in the user's runtime folder below /run.
constexpr std::string_view kNetworkPlacesType = "fuse.gvfsd-fuse";

QByteArray bytes(std::string_view text) {
    return {text.data(), static_cast<qsizetype>(text.size())};
}

bool isBelow(const QByteArray& path, const QByteArray& folder) {
    return path == folder || path.startsWith(folder + '/');
}

bool isSystemType(const QByteArray& type) {
    for (const std::string_view system : kSystemTypes) {
        if (type == bytes(system)) {
            return true;
        }
    }
    return false;
}

bool isInStore(const QByteArray& path, const MountUser& user) {
    for (const std::string_view store : kStoreFolders) {
        if (isBelow(path, bytes(store))) {
            return true;
        }
    }
    for (const QByteArray& data : {user.home + "/.local/share", user.dataHome}) {
        for (const std::string_view store : kUserStores) {
            if (!data.isEmpty() && isBelow(path, data + '/' + bytes(store))) {
                return true;
            }
        }
    }
    for (const std::string_view prefix : kTransientPrefixes) {
        if (path.startsWith(bytes(prefix))) {
            return true;
        }
    }
    return false;
}

// FUSE names the user who mounted a file system in its options; no one else may enter it.
bool isMountedBy(const Mount& mount, uid_t uid) {
    return mount.superOptions.split(',').contains("user_id=" + QByteArray::number(uid));
}

} // namespace

bool holdsUserFiles(const Mount& mount, const MountUser& user) {
    if (mount.type == bytes(kNetworkPlacesType)) {
        return isMountedBy(mount, user.uid);
    }
    if (isSystemType(mount.type)) {
        return false;
    }
    if (mount.mountPoint == "/") {
        return true;
    }
    if (isInStore(mount.mountPoint, user)) {
        return false;
    }
    if (isBelow(mount.mountPoint, "/run/media")) {
        return true;
    }
    for (const std::string_view folder : kSystemFolders) {
        if (isBelow(mount.mountPoint, bytes(folder))) {
            return false;
        }
    }
    // Containers bind single files (hosts, resolv.conf, hostname) over the system's own
    // configuration; they are not places to browse.
    return !(isBelow(mount.mountPoint, "/etc") && mount.root != "/");
}

QList<QByteArray> drivePlaces(const QList<Mount>& table, const MountUser& user) {
    // Each path once, where it first appears, standing for the last mount there: that one
    // covers the others, so it is what a listing of the path shows.
    QList<QByteArray> paths;
    QHash<QByteArray, const Mount*> shownAt;
    for (const Mount& mount : table) {
        if (!holdsUserFiles(mount, user)) {
            continue;
        }
        if (!shownAt.contains(mount.mountPoint)) {
            paths.append(mount.mountPoint);
        }
        shownAt.insert(mount.mountPoint, &mount);
    }
    if (paths.removeOne("/")) {
        paths.prepend("/");
    }

    QList<QByteArray> places;
    QSet<QByteArray> folders; // "major:minor root" of each place kept
    for (const QByteArray& path : paths) {
        const Mount* mount = shownAt.value(path);
        const QByteArray folder = mount->device + ' ' + mount->root;
        if (!folders.contains(folder)) {
            folders.insert(folder);
            places.append(path);
        }
    }
    return places;
}

} // namespace platform
