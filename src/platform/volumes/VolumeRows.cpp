#include "platform/volumes/VolumeRows.h"

#include "names/NameCodec.h"

#include <QVariantList>

#include <algorithm>
#include <sys/sysmacros.h>

namespace platform::volumes {

ManagedObjects objectsFromMap(const QVariantMap& byPath) {
    ManagedObjects objects;
    for (auto object = byPath.cbegin(); object != byPath.cend(); ++object) {
        Interfaces interfaces;
        const QVariantMap byName = object.value().toMap();
        for (auto interface = byName.cbegin(); interface != byName.cend(); ++interface) {
            interfaces.insert(interface.key(), interface.value().toMap());
        }
        objects.insert(object.key(), interfaces);
    }
    return objects;
}

namespace {

const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kLoop = QStringLiteral("org.freedesktop.UDisks2.Loop");

// The service's byte strings end in a NUL byte.
QByteArray bytes(const QVariant& value) {
    QByteArray text = value.toByteArray();
    while (text.endsWith('\0')) {
        text.chop(1);
    }
    return text;
}

// A place is bytes, like any path: a folder whose name is not UTF-8 keeps its name.
QString pathText(const QByteArray& path) {
    return names::decodeName(std::string_view(path.constData(), std::size_t(path.size())));
}

QString withSlash(QString path) {
    if (!path.endsWith(QLatin1Char('/'))) {
        path.append(QLatin1Char('/'));
    }
    return path;
}

// The fstab entry among a block's configuration items, (type, details) pairs.
QVariantMap fstabEntry(const QVariant& configuration) {
    for (const QVariant& item : configuration.toList()) {
        const QVariantList pair = item.toList();
        if (pair.size() == 2 && pair[0].toString() == QLatin1String("fstab")) {
            return pair[1].toMap();
        }
    }
    return {};
}

bool hasOption(const QByteArray& options, const QByteArray& option) {
    const QList<QByteArray> parts = options.split(',');
    return std::find(parts.begin(), parts.end(), option) != parts.end();
}

// Where the service will mount a volume without fstab entry: Debian's udisks mounts in
// /media/USER, named after the label ('/' made '_'), else the UUID, else "disk".
QString servicePlace(const QVariantMap& block, const VolumeUser& user) {
    QString name = block.value(QStringLiteral("IdLabel")).toString();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (name.isEmpty()) {
        name = block.value(QStringLiteral("IdUUID")).toString();
    }
    if (name.isEmpty()) {
        name = QStringLiteral("disk");
    }
    return QStringLiteral("/media/%1/%2/").arg(user.name, name);
}

QByteArray deviceText(quint64 number) {
    const auto device = static_cast<dev_t>(number);
    return QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
}

// The volume of one object holding a file system, its place not set yet.
Volume volumeOf(const QString& object, const Interfaces& interfaces) {
    const QVariantMap& block = interfaces[kBlock];
    Volume volume;
    volume.object = object;
    volume.device = deviceText(block.value(QStringLiteral("DeviceNumber")).toULongLong());
    volume.deviceFile = bytes(block.value(QStringLiteral("Device")));
    volume.type = block.value(QStringLiteral("IdType")).toByteArray();
    volume.uuid = block.value(QStringLiteral("IdUUID")).toString();
    volume.label = block.value(QStringLiteral("IdLabel")).toString();
    volume.size = block.value(QStringLiteral("Size")).toULongLong();
    volume.readOnlyDevice = block.value(QStringLiteral("ReadOnly")).toBool();
    for (const QVariant& point :
         interfaces[kFilesystem].value(QStringLiteral("MountPoints")).toList()) {
        volume.mountPoints.append(bytes(point));
    }
    volume.mounted = !volume.mountPoints.isEmpty();
    return volume;
}

} // namespace

QList<Volume> driveVolumes(const ManagedObjects& objects, const VolumeUser& user) {
    QList<Volume> volumes;
    for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
        const Interfaces& interfaces = object.value();
        if (!interfaces.contains(kBlock) || !interfaces.contains(kFilesystem)) {
            continue;
        }
        const QVariantMap& block = interfaces[kBlock];
        if (block.value(QStringLiteral("HintIgnore")).toBool()) {
            continue;
        }
        if (interfaces.contains(kLoop)) {
            const uint setupBy = interfaces[kLoop].value(QStringLiteral("SetupByUID")).toUInt();
            if (setupBy != 0 && setupBy != user.uid) {
                continue;
            }
        }
        const QVariantMap fstab = fstabEntry(block.value(QStringLiteral("Configuration")));
        if (hasOption(bytes(fstab.value(QStringLiteral("opts"))), "x-gvfs-hide")) {
            continue;
        }

        Volume volume = volumeOf(object.key(), interfaces);
        const QByteArray fstabDir = bytes(fstab.value(QStringLiteral("dir")));
        if (volume.mounted) {
            volume.place = withSlash(pathText(volume.mountPoints.first()));
        } else if (!fstabDir.isEmpty()) {
            volume.place = withSlash(pathText(fstabDir));
        } else {
            volume.place = servicePlace(block, user);
        }
        volumes.append(volume);
    }
    return volumes;
}

std::optional<Volume> volumeAt(const ManagedObjects& objects, const QString& object) {
    const auto found = objects.constFind(object);
    if (found == objects.cend() || !found->contains(kBlock) || !found->contains(kFilesystem)) {
        return std::nullopt;
    }
    return volumeOf(object, *found);
}

bool sameVolume(const Volume& row, const Volume& now) {
    if (!row.uuid.isEmpty() || !now.uuid.isEmpty()) {
        return row.uuid == now.uuid;
    }
    return row.label == now.label && row.size == now.size;
}

QList<Volume> unmountedVolumes(QList<Volume> volumes, const QSet<QByteArray>& mountedDevices) {
    volumes.removeIf([&mountedDevices](const Volume& volume) {
        return volume.mounted || mountedDevices.contains(volume.device) ||
               (!volume.deviceFile.isEmpty() && mountedDevices.contains(volume.deviceFile));
    });
    std::stable_sort(volumes.begin(), volumes.end(),
                     [](const Volume& a, const Volume& b) { return a.place < b.place; });
    return volumes;
}

bool lockedByWindows(const Volume& volume, const QByteArray& superOptions) {
    return volume.type == "ntfs" && !volume.readOnlyDevice && hasOption(superOptions, "ro");
}

} // namespace platform::volumes
