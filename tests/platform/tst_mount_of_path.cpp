// The mount that holds a path, found from the path's text in the mount table.

#include "platform/MountOfPath.h"

#include <QTest>

class MountOfPathTest : public QObject {
    Q_OBJECT
private slots:
    void deepestMountPointThatHoldsThePathWhole();
};

void MountOfPathTest::deepestMountPointThatHoldsThePathWhole() {
    const QList<platform::Mount> mounts = platform::parseMountInfo(
        "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
        "31 26 0:28 / /home/me/My\\040Disk rw shared:5 - vfat /dev/sdb1 rw\n"
        "34 26 0:30 / /mnt/share rw - cifs //nas/share rw\n"
        "35 26 0:31 / /mnt/nfs rw - nfs4 nas:/export rw\n"
        "36 35 0:32 / /mnt/nfs/deeper rw - tmpfs tmpfs rw\n");
    const auto mountOf = [&mounts](const QByteArray& path) {
        return platform::mountPointOf(mounts, path, "/mnt/nfs/work");
    };
    QCOMPARE(mountOf("/mnt/share//docs/a"), QByteArray("/mnt/share"));
    QCOMPARE(mountOf("/mnt/share"), QByteArray("/mnt/share"));
    QCOMPARE(mountOf("/mnt/shared/a"), QByteArray("/"));
    QCOMPARE(mountOf("/home/me/My Disk/x"), QByteArray("/home/me/My Disk"));
    QCOMPARE(mountOf("/mnt/nfs/deeper/x"), QByteArray("/mnt/nfs/deeper"));
    QCOMPARE(mountOf("docs/../x"), QByteArray("/mnt/nfs"));
    QCOMPARE(mountOf("../../share/./a"), QByteArray("/mnt/share"));
    QCOMPARE(mountOf("/mnt/nfs/deeper/../x"), QByteArray("/mnt/nfs"));
}

QTEST_GUILESS_MAIN(MountOfPathTest)
#include "tst_mount_of_path.moc"
