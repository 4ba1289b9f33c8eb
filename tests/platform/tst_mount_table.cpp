// Drive rows: every mount where a user's files live, read from the kernel's table without
// asking any mounted file system, so that one that never answers is listed too.

#include "platform/FileSystem.h"
#include "platform/MountTable.h"
#include "support/TestSupport.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <unistd.h>

using platform::Mount;

class MountTableTest : public QObject {
    Q_OBJECT
private slots:
    void realMountsThatDoNotAnswerAreListed();
    void systemMountsAreLeftOut();
};

void MountTableTest::realMountsThatDoNotAnswerAreListed() {
    if (::geteuid() != 0 || !testsupport::SlowMount::available()) {
        QSKIP("mounting test file systems needs root and /dev/fuse");
    }
    // An sshfs-style mount whose statfs never answers, an NFS-style one that reports a
    // size of zero, and a tmpfs: all are listed, and listing them asks none of them.
    testsupport::SlowMount sshfs({"--statfs=never", "-o", "fsname=me@host:/data,subtype=sshfs"});
    testsupport::SlowMount nfs({"--statfs=zero", "-o", "fsname=server:/export,subtype=nfs"});
    QVERIFY(sshfs.mounted());
    QVERIFY(nfs.mounted());
    QTemporaryDir scratch;
    const QByteArray tmpfs = QFile::encodeName(scratch.path());
    QCOMPARE(::mount("dirquill-test", tmpfs.constData(), "tmpfs", 0, "size=1m"), 0);
    auto unmount = qScopeGuard([&] { ::umount2(tmpfs.constData(), MNT_DETACH); });

    // A tmpfs below /run is the system's; below /run/media it is a removable disk.
    const QByteArray system = "/run/dirquill-test-" + QByteArray::number(::getpid());
    const QByteArray media = "/run/media/dirquill-test-" + QByteArray::number(::getpid());
    QDir().mkpath(QString::fromLatin1(system));
    QDir().mkpath(QString::fromLatin1(media));
    QCOMPARE(::mount("dirquill-test", system.constData(), "tmpfs", 0, "size=1m"), 0);
    QCOMPARE(::mount("dirquill-test", media.constData(), "tmpfs", 0, "size=1m"), 0);
    auto unmountRun = qScopeGuard([&] {
        ::umount2(system.constData(), MNT_DETACH);
        ::umount2(media.constData(), MNT_DETACH);
        QDir().rmdir(QString::fromLatin1(system));
        QDir().rmdir(QString::fromLatin1(media));
    });

    // A single file bound over the system's configuration, as containers do with
    // /etc/hosts, is no place to browse; a folder bound elsewhere is.
    const QByteArray etcFile = "/etc/dirquill-test-" + QByteArray::number(::getpid());
    const QString bound = testsupport::makeFile(scratch.path() + "/bound.txt", "x");
    testsupport::makeFile(QString::fromLatin1(etcFile));
    const QString folderBind = testsupport::makeFolder(scratch.path() + "/bind-target");
    testsupport::makeFolder(scratch.path() + "/bind-source");
    QCOMPARE(::mount(QFile::encodeName(bound).constData(), etcFile.constData(), nullptr, MS_BIND,
                     nullptr),
             0);
    QCOMPARE(::mount(QFile::encodeName(scratch.path() + "/bind-source").constData(),
                     QFile::encodeName(folderBind).constData(), nullptr, MS_BIND, nullptr),
             0);
    auto unbind = qScopeGuard([&] {
        ::umount2(etcFile.constData(), MNT_DETACH);
        ::unlink(etcFile.constData());
        ::umount2(QFile::encodeName(folderBind).constData(), MNT_DETACH);
    });

    platform::setDriveRootSource({});
    const QStringList roots = platform::driveRoots();
    QCOMPARE(roots.value(0), QStringLiteral("/"));
    QVERIFY2(roots.contains(sshfs.path() + "/"), qPrintable(roots.join(' ')));
    QVERIFY2(roots.contains(nfs.path() + "/"), qPrintable(roots.join(' ')));
    QVERIFY2(roots.contains(scratch.path() + "/"), qPrintable(roots.join(' ')));
    QVERIFY2(roots.contains(QString::fromLatin1(media) + "/"), qPrintable(roots.join(' ')));
    QVERIFY(!roots.contains(QString::fromLatin1(system) + "/"));
    QVERIFY(!roots.contains(QString::fromLatin1(etcFile) + "/"));
    QVERIFY2(roots.contains(folderBind + "/"), qPrintable(roots.join(' ')));
    for (const QString& root : roots) {
        QVERIFY2(!root.startsWith("/proc") && !root.startsWith("/sys") &&
                     !root.startsWith("/dev/") && root.count('/') >= 1,
                 qPrintable(root));
    }
    QCOMPARE(roots.count("/"), 1);
}

void MountTableTest::systemMountsAreLeftOut() {
    const QByteArray table =
        "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
        "21 26 0:20 / /proc rw - proc proc rw\n"
        "30 22 0:27 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
        "31 26 0:28 / /home/me/My\\040Disk rw shared:5 - vfat /dev/sdb1 rw\n"
        "32 26 0:29 / /snap/core/123 ro - squashfs /dev/loop0 ro\n"
        "33 26 254:0 /var/lib/containers/x/hosts /etc/hosts rw - ext4 /dev/vda rw\n"
        "34 26 0:30 / /mnt/share rw - cifs //nas/share rw\n"
        "35 26 0:31 / /mnt/nfs rw - nfs4 nas:/export rw\n"
        "36 26 0:32 / /media/usb rw - fuseblk /dev/sdc1 rw\n"
        "37 26 0:33 / /tmp rw - tmpfs tmpfs rw\n"
        "38 26 0:34 / /proc/sys/fs/binfmt_misc rw - binfmt_misc binfmt_misc rw\n"
        "39 26 0:35 / /run/user/1000 rw - tmpfs tmpfs rw\n"
        "torn line\n";
    QStringList kept;
    for (const Mount& mount : platform::parseMountInfo(table)) {
        if (platform::holdsUserFiles(mount)) {
            kept.append(QString::fromUtf8(mount.mountPoint));
        }
    }
    QCOMPARE(kept, QStringList(
                       {"/", "/home/me/My Disk", "/mnt/share", "/mnt/nfs", "/media/usb", "/tmp"}));
}

QTEST_GUILESS_MAIN(MountTableTest)
#include "tst_mount_table.moc"
