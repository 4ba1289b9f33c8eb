#include "platform/volumes/VolumeRows.h"

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

QString pathText(const QVariant& value) {
    return QString::fromUtf8(bytes(value));
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

        Volume volume;
        volume.object = object.key();
        volume.device = deviceText(block.value(QStringLiteral("DeviceNumber")).toULongLong());
        volume.type = block.value(QStringLiteral("IdType")).toByteArray();
        volume.readOnlyDevice = block.value(QStringLiteral("ReadOnly")).toBool();
        const QVariantList mountPoints =
            interfaces[kFilesystem].value(QStringLiteral("MountPoints")).toList();
        volume.mounted = !mountPoints.isEmpty();
        const QString fstabDir = pathText(fstab.value(QStringLiteral("dir")));
        if (volume.mounted) {
            volume.place = withSlash(pathText(mountPoints.first()));
        } else if (!fstabDir.isEmpty()) {
            volume.place = withSlash(fstabDir);
        } else {
            volume.place = servicePlace(block, user);
        }
        volumes.append(volume);
    }
    return volumes;
}

QList<Volume> unmountedVolumes(QList<Volume> volumes, const QSet<QByteArray>& mountedDevices) {
    volumes.removeIf([&mountedDevices](const Volume& volume) {
        return volume.mounted || mountedDevices.contains(volume.device);
    });
    std::stable_sort(volumes.begin(), volumes.end(),
                     [](const Volume& a, const Volume& b) { return a.place < b.place; });
    return volumes;
}

bool lockedByWindows(const Volume& volume, const QByteArray& superOptions) {
    return volume.type == "ntfs" && !volume.readOnlyDevice && hasOption(superOptions, "ro");
}

} // namespace platform::volumes
