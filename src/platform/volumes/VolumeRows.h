#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <optional>

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
    QString object;        // the block device's object path
    QString place;         // where it is mounted or will be, ending in '/'
    QByteArray device;     // "major:minor", as the mount table names it
    QByteArray deviceFile; // "/dev/sdb1", as a mount's source names it
    QByteArray type;       // the file system: "ext4", "ntfs", ...
    // What tells this volume from another that later takes its device and object path
    // (a stick pulled out and another put in).
    QString uuid;
    QString label;
    quint64 size = 0;
    bool readOnlyDevice = false;
    bool mounted = false;          // as the service last told
    QList<QByteArray> mountPoints; // where the service last told it mounted
};

// The block devices that are volumes the user would expect as drives: they hold a file
// system, are not marked to be hidden (by the system or by fstab's x-gvfs-hide), and, for
// a loop device, were set up by the system or the user. In the objects' order.
QList<Volume> driveVolumes(const ManagedObjects& objects, const VolumeUser& user);

// The volume of the block device at `object` as the service tells it now, whether or not it
// would be a drive row; nothing when the object is gone or holds no file system.
std::optional<Volume> volumeAt(const ManagedObjects& objects, const QString& object);

// Whether `now` is still the volume `row` was: the same file system UUID, or, for a file
// system without one, the same label and size.
bool sameVolume(const Volume& row, const Volume& now);

// The volumes of `volumes` that are not mounted, neither as the service told nor in the
// mount table now (`mountedDevices`: the table's device numbers, "major:minor", and its
// sources, "/dev/sdb1"), in the order of their rows' texts.
QList<Volume> unmountedVolumes(QList<Volume> volumes, const QSet<QByteArray>& mountedDevices);

// Whether a volume that came up read-only did so because Windows left it in use
// (hibernated, or shut down with fast start-up): an NTFS volume on a writable device whose
// file system is read-only (`superOptions` of its mount), though nothing asked for that.
bool lockedByWindows(const Volume& volume, const QByteArray& superOptions);

} // namespace platform::volumes
