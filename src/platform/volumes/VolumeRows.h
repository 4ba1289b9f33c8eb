#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <sys/types.h>

// Which of the storage service's volumes are drive rows and what the rows read. Decided
// from the service's objects alone, as plain values: the service's byte strings are
// QByteArray (or text), its arrays QVariantList, its dictionaries QVariantMap.
namespace platform::volumes {

// Interface name -> its properties, for one object.
using Interfaces = QMap<QString, QVariantMap>;
// Object path -> its interfaces: the answer of GetManagedObjects.
using ManagedObjects = QMap<QString, Interfaces>;

// The objects of an answer given as plain maps: object path -> interface -> properties.
ManagedObjects objectsFromMap(const QVariantMap& byPath);

// The user the rows are for: whose loop devices are shown, and whose folder under /media
// the service mounts in.
struct VolumeUser {
    uid_t uid = 0;
    QString name;
};

struct Volume {
    QString object;    // the block device's object path
    QString place;     // where it is mounted or will be, ending in '/'
    QByteArray device; // "major:minor", as the mount table names it
    QByteArray type;   // the file system: "ext4", "ntfs", ...
    bool readOnlyDevice = false;
    bool mounted = false; // as the service last told
};

// The block devices that are volumes the user would expect as drives: they hold a file
// system, are not marked to be hidden (by the system or by fstab's x-gvfs-hide), and, for
// a loop device, were set up by the system or the user. In the objects' order.
QList<Volume> driveVolumes(const ManagedObjects& objects, const VolumeUser& user);

// The volumes of `volumes` that are not mounted, neither as the service told nor in the
// mount table now (`mountedDevices`, "major:minor"), in the order of their rows' texts.
QList<Volume> unmountedVolumes(QList<Volume> volumes, const QSet<QByteArray>& mountedDevices);

// Whether a volume that came up read-only did so because Windows left it in use
// (hibernated, or shut down with fast start-up): an NTFS volume on a writable device whose
// file system is read-only (`superOptions` of its mount), though nothing asked for that.
bool lockedByWindows(const Volume& volume, const QByteArray& superOptions);

} // namespace platform::volumes
