// Drive rows: every mount where a user's files live, read from the kernel's table without
// asking any mounted file system, so that one that never answers is listed too.

#include "platform/DrivePlaces.h"
#include "platform/FileSystem.h"
#include "platform/MountTable.h"
#include "support/TestSupport.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// A FUSE file system with no daemon behind it, under any device name, subtype and owner:
// the mount table shows it like any other, and nothing may open it (it would never answer).
struct BareFuse {
    QByteArray fsname;
    QByteArray subtype;
    uid_t owner;
};

// A tmpfs, a bind mount or a bare FUSE file system, mounted for the life of the object.
class ScopedMount {
public:
    ScopedMount(const QString& source, const QString& path, const char* type,
                unsigned long flags = 0)
        : path_(QFile::encodeName(testsupport::makeFolder(path))) {
        mounted_ = ::mount(QFile::encodeName(source).constData(), path_.constData(), type, flags,
                           nullptr) == 0;
    }
    ScopedMount(const QString& path, const BareFuse& fuse)
        : path_(QFile::encodeName(testsupport::makeFolder(path))),
          fuse_(::open("/dev/fuse", O_RDWR | O_CLOEXEC)) {
        const QByteArray id = QByteArray::number(fuse.owner);
        const QByteArray options =
            "fd=" + QByteArray::number(fuse_) + ",rootmode=40000,user_id=" + id + ",group_id=" + id;
        mounted_ = fuse_ >= 0 &&
                   ::mount(fuse.fsname.constData(), path_.constData(), "fuse." + fuse.subtype,
                           MS_NOSUID | MS_NODEV, options.constData()) == 0;
    }
    ~ScopedMount() {
        if (mounted_) {
            ::umount2(path_.constData(), MNT_DETACH);
        }
        if (fuse_ >= 0) {
            ::close(fuse_);
        }
    }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;
    [[nodiscard]] bool mounted() const { return mounted_; }

private:
    QByteArray path_;
    int fuse_ = -1;
    bool mounted_ = false;
};

bool canMount() {
    return ::geteuid() == 0 && testsupport::SlowMount::available();
}

QStringList realDriveRoots() {
    platform::setDriveRootSource({});
    return platform::driveRoots();
}

} // namespace

class MountTableTest : public QObject {
    Q_OBJECT
private slots:
    void realMountsThatDoNotAnswerAreListed();
    void networkPlacesAreListedAndContainerLayersAreNot();
    void onePlaceIsOneRow();
    void onlyPlacesToBrowseAreListed();
};

void MountTableTest::realMountsThatDoNotAnswerAreListed() {
    if (!canMount()) {
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

void MountTableTest::networkPlacesAreListedAndContainerLayersAreNot() {
    if (!canMount()) {
        QSKIP("mounting test file systems needs root and /dev/fuse");
    }
    const testsupport::ScopedDataHome data;
    QTemporaryDir scratch;
    QTemporaryDir appImage(QStringLiteral("/tmp/.mount_dirqXXXXXX"));
    const QString run = "/run/dirquill-test-" + QString::number(::getpid());
    auto removeRun = qScopeGuard([&] { QDir(run).removeRecursively(); });

    // The desktop's network places: the running user's are listed even below /run;
    // another user's, which this one may not enter, are not listed anywhere.
    const QString places = run + "/gvfs";
    const QString othersPlaces = scratch.path() + "/gvfs";
    const ScopedMount own(places, BareFuse{"gvfsd-fuse", "gvfsd-fuse", ::getuid()});
    const ScopedMount others(othersPlaces, BareFuse{"gvfsd-fuse", "gvfsd-fuse", ::getuid() + 1});
    // An AppImage while it runs, and a container's layers in the user's data folder.
    const ScopedMount app(appImage.path(),
                          BareFuse{"/opt/Tool.AppImage", "Tool.AppImage", ::getuid()});
    const ScopedMount layers("overlay", data.path() + "/containers/storage/overlay/1f/merged",
                             "tmpfs");
    QVERIFY(own.mounted() && others.mounted() && app.mounted() && layers.mounted());

    const QStringList roots = realDriveRoots();
    QVERIFY2(roots.contains(places + "/"), qPrintable(roots.join(' ')));
    QVERIFY(!roots.contains(othersPlaces + "/"));
    QVERIFY(!roots.contains(appImage.path() + "/"));
    for (const QString& root : roots) {
        QVERIFY2(!root.startsWith(data.path()), qPrintable(root));
    }
}

void MountTableTest::onePlaceIsOneRow() {
    if (!canMount()) {
        QSKIP("mounting test file systems needs root and /dev/fuse");
    }
    QTemporaryDir scratch;
    const QString disk = scratch.path() + "/disk";
    const ScopedMount tmpfs("dirquill-test", disk, "tmpfs");
    QVERIFY(tmpfs.mounted());
    testsupport::makeFolder(disk + "/shared");
    // A folder bound at two places is one row, the first; the whole disk bound again is
    // no new row either.
    const ScopedMount first(disk + "/shared", scratch.path() + "/first", nullptr, MS_BIND);
    const ScopedMount second(disk + "/shared", scratch.path() + "/second", nullptr, MS_BIND);
    const ScopedMount again(disk, scratch.path() + "/again", nullptr, MS_BIND);
    QVERIFY(first.mounted() && second.mounted() && again.mounted());

    QStringList roots = realDriveRoots();
    QCOMPARE(roots.count(disk + "/"), 1);
    QCOMPARE(roots.count(scratch.path() + "/first/"), 1);
    QVERIFY(!roots.contains(scratch.path() + "/second/"));
    QVERIFY(!roots.contains(scratch.path() + "/again/"));

    // Once another disk covers the first one's mount point, the first disk is reached only
    // where it was bound again, and that becomes its row.
    const ScopedMount cover("dirquill-test", disk, "tmpfs");
    QVERIFY(cover.mounted());
    roots = realDriveRoots();
    QCOMPARE(roots.count(disk + "/"), 1);
    QVERIFY2(roots.contains(scratch.path() + "/again/"), qPrintable(roots.join(' ')));
    QVERIFY(!roots.contains(scratch.path() + "/second/"));
}

void MountTableTest::onlyPlacesToBrowseAreListed() {
    const QByteArray table =
        "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
        "21 26 0:20 / /proc rw - proc proc rw\n"
        "22 21 0:21 / /proc/sys/fs/binfmt_misc rw - autofs systemd-1 rw,fd=29,pgrp=1,direct\n"
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
        // Automount points, one of them mounted since.
        "40 26 0:36 / /mnt/nas rw - autofs systemd-1 rw,fd=52,pgrp=1,timeout=60,direct\n"
        "41 26 0:37 / /net rw - autofs /etc/auto.net rw,fd=7,pgrp=900,timeout=300,indirect\n"
        "42 26 0:38 / /run/autofs rw - autofs /etc/auto.misc rw,fd=8,pgrp=900,indirect\n"
        // Network places, the user's and another user's.
        "43 39 0:39 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw,user_id=1000\n"
        "44 26 0:40 / /home/you/.gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw,user_id=1001\n"
        // Containers' layers and volumes, and application images and stores.
        "45 26 0:41 / /var/lib/docker/overlay2/3f2a/merged rw - overlay overlay rw,lowerdir=/l\n"
        "46 26 0:42 / /var/lib/docker/containers/3f2a/mounts/shm rw - tmpfs shm rw\n"
        "47 26 0:43 / /var/lib/kubelet/pods/77/volumes/kube-api-access rw - tmpfs tmpfs rw\n"
        "48 26 0:44 / /var/lib/lxcfs rw - fuse.lxcfs lxcfs rw,user_id=0,group_id=0\n"
        "49 26 0:45 / /home/me/.local/share/containers/storage/overlay/aa/merged rw - "
        "overlay overlay rw\n"
        "50 26 0:46 / /tmp/.mount_Tool8xQ2 ro - fuse.Tool.AppImage Tool.AppImage ro\n"
        "51 26 0:47 / /var/tmp/flatpak-cache-QLLM90/org.gnome.Platform-5RT280 rw - "
        "fuse.revokefs-fuse revokefs-fuse rw\n"
        "52 26 0:48 / /var/snap/lxd/common/lxd/storage-pools/default rw - zfs pool/lxd rw\n"
        "53 26 0:49 / /var/lib/docker-archive rw - ext4 /dev/sdd1 rw\n"
        "54 40 0:50 / /mnt/nas rw - nfs4 nas:/volume1 rw\n"
        "torn line\n";
    const platform::MountUser me{1000, "/home/me", "/home/me/.local/share"};
    QCOMPARE(
        platform::drivePlaces(platform::parseMountInfo(table), me),
        QList<QByteArray>({"/", "/home/me/My Disk", "/mnt/share", "/mnt/nfs", "/media/usb", "/tmp",
                           "/mnt/nas", "/net", "/run/user/1000/gvfs", "/var/lib/docker-archive"}));
}

QTEST_GUILESS_MAIN(MountTableTest)
#include "tst_mount_table.moc"
