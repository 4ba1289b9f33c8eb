// The mount that holds a path, found from the path's text in the mount table, and where
// a path with links really leads, walked on real folders.

#include "platform/MountOfPath.h"
#include "platform/PathReach.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class MountOfPathTest : public QObject {
    Q_OBJECT
private slots:
    void deepestMountPointThatHoldsThePathWhole();
    void linksSayWhereThePathLeads();
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

void MountOfPathTest::linksSayWhereThePathLeads() {
    QTemporaryDir dir;
    const QString r = dir.path();
    testsupport::makeFolder(r + "/share/deep/er");
    testsupport::makeFolder(r + "/home/u");
    QVERIFY(QFile::link(r + "/share", r + "/home/u/nas"));    // absolute
    QVERIFY(QFile::link("../u/nas/deep", r + "/home/u/rel")); // relative, onto a link
    QVERIFY(QFile::link("loop", r + "/home/u/loop"));
    const auto walk = [](const QString& path, bool followLast) {
        QStringList told;
        platform::followPath(QFile::encodeName(path).toStdString(), followLast,
                             [&told](const std::string& at) {
                                 told.append(QFile::decodeName(QByteArray::fromStdString(at)));
                                 return true;
                             });
        return told;
    };
    // No link and no "..": nothing to say. Each link followed and each ".." undone: where
    // the walk leads up to the next "..", so the last is where the path really is.
    QCOMPARE(walk(r + "/share/deep/er", true), QStringList());
    QCOMPARE(walk(r + "/home/u/nas/deep/./er", true), QStringList({r + "/share/deep/./er"}));
    QCOMPARE(walk(r + "/home/u/rel/er/..", true),
             QStringList({r + "/home/u/rel/er", r + "/home/u/nas/deep/er", r + "/share/deep/er",
                          r + "/share/deep"}));
    QCOMPARE(walk(r + "/share/deep/../deep/er/../..", true),
             QStringList({r + "/share/deep", r + "/share/deep/er", r + "/share"}));
    // The entry a command acts on is not followed, the folders above it are.
    QCOMPARE(walk(r + "/home/u/nas", false), QStringList());
    QCOMPARE(walk(r + "/home/u/nas/new", false), QStringList({r + "/share/new"}));
    {
        testsupport::ScopedCurrentDir here(r + "/home");
        QCOMPARE(walk("u/nas/deep", true), QStringList({r + "/share/deep"}));
    }
    // A loop ends the walk where the kernel gives up; a missing entry ends it at once.
    QCOMPARE(walk(r + "/home/u/loop/x", true).size(), 40);
    QCOMPARE(walk(r + "/home/u/missing/nas", true), QStringList());

    // Told a path, the caller can stop the walk there.
    int told = 0;
    QVERIFY(!platform::followPath(QFile::encodeName(r + "/home/u/rel").toStdString(), true,
                                  [&told](const std::string&) { return ++told < 1; }));
    QCOMPARE(told, 1);
}

QTEST_GUILESS_MAIN(MountOfPathTest)
#include "tst_mount_of_path.moc"
