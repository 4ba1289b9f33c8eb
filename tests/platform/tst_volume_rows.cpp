// Which of the storage service's volumes are drive rows and what they read, decided from
// objects recorded from a real udisksd (loop devices holding ext4, NTFS and swap, one
// hidden by a udev rule), with fstab entries, other users' loop devices and a locked
// container added by hand.

#include "names/NameCodec.h"
#include "platform/volumes/VolumeRows.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>

using namespace platform::volumes;

namespace {

ManagedObjects recordedObjects() {
    QFile file(QStringLiteral(DIRQUILL_VOLUME_OBJECTS));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("the recorded objects are missing");
    }
    return objectsFromMap(QJsonDocument::fromJson(file.readAll()).toVariant().toMap());
}

QStringList places(const QList<Volume>& volumes) {
    QStringList texts;
    for (const Volume& volume : volumes) {
        texts.append(volume.place);
    }
    return texts;
}

} // namespace

class TestVolumeRows : public QObject {
    Q_OBJECT
private slots:
    void rowsFromRecordedObjects();
    void lockedByWindowsOnlyWhenNtfsComesUpReadOnly();
    void placesAreBytes();
};

void TestVolumeRows::rowsFromRecordedObjects() {
    const VolumeUser user{1234, QStringLiteral("ann")};
    const QList<Volume> volumes = driveVolumes(recordedObjects(), user);

    // File systems only (no swap, no empty loop device, no locked container), none
    // marked hidden by udev or by fstab, no loop device another user set up.
    QStringList objects;
    for (const Volume& volume : volumes) {
        objects.append(volume.object.section(QLatin1Char('/'), -1));
    }
    QCOMPARE(objects, QStringList({"loop0", "loop1", "loop11", "loop4", "loop5", "loop8"}));

    // The mounted one reads its mount point; the others where they will be mounted: the
    // fstab entry's folder, else the label ('/' made '_'), else the UUID.
    const Volume& mounted = volumes[1];
    QVERIFY(mounted.mounted);
    QCOMPARE(mounted.place, QString::fromUtf8("/media/root/软件/"));
    QCOMPARE(mounted.type, QByteArray("ntfs"));
    QCOMPARE(volumes[0].device, QByteArray("7:0"));
    QVERIFY(!volumes[0].readOnlyDevice);

    // Rows for the volumes not mounted, neither by the service's word nor in the mount
    // table now, in the order of their texts.
    QCOMPARE(places(unmountedVolumes(volumes, {})),
             QStringList({"/media/ann/2a607dfe-23f4-479a-9299-31ab0b5ea090/", "/media/ann/A_B/",
                          QString::fromUtf8("/media/ann/DATA盘/"),
                          QString::fromUtf8("/media/ann/我的/"), QString::fromUtf8("/srv/数据/")}));
    QCOMPARE(places(unmountedVolumes(volumes, {"7:0", "7:4", "7:8", "7:11"})),
             QStringList({"/media/ann/A_B/"}));
}

void TestVolumeRows::lockedByWindowsOnlyWhenNtfsComesUpReadOnly() {
    Volume ntfs;
    ntfs.type = "ntfs";
    QVERIFY(lockedByWindows(ntfs, "ro,user_id=0,group_id=0,allow_other,blksize=4096"));
    QVERIFY(!lockedByWindows(ntfs, "rw,user_id=0,group_id=0,allow_other,blksize=4096"));
    // A device that cannot be written is read-only for its own reason.
    Volume readOnlyDevice = ntfs;
    readOnlyDevice.readOnlyDevice = true;
    QVERIFY(!lockedByWindows(readOnlyDevice, "ro,user_id=0"));
    Volume ext4;
    ext4.type = "ext4";
    QVERIFY(!lockedByWindows(ext4, "ro"));
}

void TestVolumeRows::placesAreBytes() {
    // The service's places are byte strings ending in NUL; one that is not UTF-8 names
    // its folder all the same.
    const auto volumeWith = [](const QString& key, const QVariant& value) {
        const QVariantMap block{{"IdType", "ext4"}};
        QVariantMap filesystem{{"MountPoints", QVariantList()}};
        Interfaces interfaces{{"org.freedesktop.UDisks2.Block", block},
                              {"org.freedesktop.UDisks2.Filesystem", filesystem}};
        interfaces[key == "dir" ? "org.freedesktop.UDisks2.Block"
                                : "org.freedesktop.UDisks2.Filesystem"]
            .insert(key == "dir" ? "Configuration" : "MountPoints", value);
        return interfaces;
    };
    const QByteArray fstabDir("/mnt/d\xe9p\0", 9);
    const QByteArray mountPoint("/media/ann/\xff\0", 13);
    const ManagedObjects objects{
        {"/org/freedesktop/UDisks2/block_devices/sdz1",
         volumeWith("dir", QVariantList{QVariantList{"fstab", QVariantMap{{"dir", fstabDir}}}})},
        {"/org/freedesktop/UDisks2/block_devices/sdz2",
         volumeWith("MountPoints", QVariantList{mountPoint})}};
    const QList<Volume> volumes = driveVolumes(objects, {1234, QStringLiteral("ann")});
    QCOMPARE(volumes.size(), 2);
    QCOMPARE(names::encodeName(volumes[0].place), QByteArray("/mnt/d\xe9p/"));
    QCOMPARE(names::encodeName(volumes[1].place), QByteArray("/media/ann/\xff/"));
}

QTEST_GUILESS_MAIN(TestVolumeRows)
#include "tst_volume_rows.moc"
