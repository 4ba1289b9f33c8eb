// Volumes that nobody has mounted yet, with a real udisksd on the system bus and real
// loop devices holding real ext4 and NTFS images: their drive rows, the click that
// mounts one, and what the user is told.

#include "TestSupport.h"

#include "browser/CColumnList.h"
#include "platform/FileSystem.h"
#include "platform/volumes/StorageService.h"
#include "platform/volumes/Volumes.h"
#include "ui/CDirquillDlg.h"
#include "ui/HelperWait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

using namespace testsupport;
using platform::volumes::Volume;

namespace {

constexpr uid_t kNobody = 65534;
const char* const kChildMode = "DIRQUILL_VOLUME_TEST_CHILD";

QString userName() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

// Why the storage tests cannot run here, or empty.
QString missingStorage() {
    if (!QFile::exists(QStringLiteral("/dev/loop-control"))) {
        return QStringLiteral("no loop devices here (/dev/loop-control is missing)");
    }
    if (::getuid() != 0) {
        return QStringLiteral("needs root, to set up loop devices through udisks unasked");
    }
    for (const char* tool :
         {"udisksctl", "mkfs.ext4", "mkfs.btrfs", "mkntfs", "mkswap", "ntfs-3g", "udevadm"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty() &&
            !QFile::exists(QStringLiteral("/sbin/") + QString::fromLatin1(tool))) {
            return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
        }
    }
    if (!platform::volumes::takeObjects(10000)) {
        return QStringLiteral("no udisksd answers on the system bus (tools/services.sh starts it)");
    }
    return {};
}

#define REQUIRE_STORAGE()                                                                          \
    do {                                                                                           \
        if (const QString why = missingStorage(); !why.isEmpty()) {                                \
            QSKIP(qPrintable(why));                                                                \
        }                                                                                          \
    } while (false)

// A file-system image in a temporary folder, set up as a loop device through udisks for
// the life of the object; unmounted and removed again whatever the test did.
class ScopedLoop {
public:
    enum class Content { Ext4, Btrfs, Ntfs, HibernatedNtfs, Swap };

    ScopedLoop(Content content, const QString& label, bool readOnly = false) {
        const QString image = dir_.path() + "/volume.img";
        const char* size = content == Content::Swap    ? "8M"
                           : content == Content::Btrfs ? "120M"
                                                       : "48M";
        runProgram("truncate", {"-s", size, image});
        switch (content) {
        case Content::Ext4:
            runProgram("mkfs.ext4", {"-q", "-L", label, image});
            break;
        case Content::Btrfs:
            runProgram("mkfs.btrfs", {"-q", "-L", label, image});
            break;
        case Content::Ntfs:
        case Content::HibernatedNtfs:
            runProgram("mkntfs", {"-q", "-F", "-f", "-L", label, image});
            break;
        case Content::Swap:
            runProgram("mkswap", {"-q", image});
            break;
        }
        if (content == Content::HibernatedNtfs) {
            // What Windows leaves at the root after hibernating or a fast start-up.
            const QString inside = makeFolder(dir_.path() + "/inside");
            bool mounted = false;
            runProgram("ntfs-3g", {image, inside}, &mounted);
            if (mounted) {
                makeFile(inside + "/hiberfil.sys", QByteArray("HIBR") + QByteArray(4092, '\0'));
                runProgram("umount", {inside});
            }
        }
        QStringList arguments{"loop-setup", "-f", image, "--no-user-interaction"};
        if (readOnly) {
            arguments.append("-r");
        }
        const QString answer = runProgram("udisksctl", arguments);
        device_ = QRegularExpression(QStringLiteral("(/dev/loop\\d+)")).match(answer).captured(1);
        runProgram("udevadm", {"settle"});
    }
    ~ScopedLoop() {
        if (device_.isEmpty()) {
            return;
        }
        runProgram("udisksctl", {"unmount", "-f", "-b", device_, "--no-user-interaction"});
        runProgram("udisksctl", {"loop-delete", "-b", device_, "--no-user-interaction"});
    }
    ScopedLoop(const ScopedLoop&) = delete;
    ScopedLoop& operator=(const ScopedLoop&) = delete;

    [[nodiscard]] QString device() const { return device_; }
    [[nodiscard]] QString object() const {
        return "/org/freedesktop/UDisks2/block_devices/" + device_.section('/', -1);
    }

private:
    QTemporaryDir dir_;
    QString device_;
};

// The storage service's volumes once `ready` holds for the one of `object` (udev probes a
// new device a moment after it is set up); empty after ten seconds.
QList<Volume> volumesOnce(const QString& object, const std::function<bool(const Volume*)>& ready) {
    const platform::volumes::VolumeUser user{::getuid(), userName()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (const auto objects = platform::volumes::takeObjects(2000)) {
            QList<Volume> volumes = platform::volumes::driveVolumes(*objects, user);
            const Volume* found = nullptr;
            for (const Volume& volume : volumes) {
                if (volume.object == object) {
                    found = &volume;
                }
            }
            if (ready(found)) {
                return volumes;
            }
        }
        QTest::qWait(100);
    }
    return {};
}

bool waitForFileSystem(const ScopedLoop& loop) {
    return !volumesOnce(loop.object(), [](const Volume* v) {
                return v != nullptr && !v->type.isEmpty();
            }).isEmpty();
}

// The volume of `object` as the service tells it once it holds `label`.
std::optional<Volume> volumeLabelled(const QString& object, const QString& label) {
    for (const Volume& volume : volumesOnce(
             object, [&label](const Volume* v) { return v != nullptr && v->label == label; })) {
        if (volume.object == object) {
            return volume;
        }
    }
    return std::nullopt;
}

// Answers every message box with OK and keeps its text.
struct MessageLog {
    QStringList texts;
    QTimer timer;
    MessageLog() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                box != nullptr && box->isVisible() && !box->property("seen").toBool()) {
                box->setProperty("seen", true);
                texts.append(box->text());
                box->accept();
            }
        });
        timer.start(20);
    }
};

// The real window over a fresh workspace, its drive rows from the real mount table and
// the real service, every message box answered and kept.
struct VolumeWindow {
    TestWorkspace workspace;
    MessageLog messages;
    CDirquillDlg dlg;
    VolumeWindow() {
        platform::setDriveRootSource({});
        dlg.Create();
        dlg.show();
    }
};

// Runs this test function again in a child process with `mode` set and `environment`
// added, as `uid` when given; true when the child passed.
bool passesInChild(const char* function, const QString& mode, const QStringList& environment,
                   std::optional<uid_t> uid = std::nullopt) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildMode, mode);
    for (const QString& pair : environment) {
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    }
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    if (uid) {
        const uid_t id = *uid;
        child.setChildProcessModifier([id] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(id) != 0 || ::setuid(id) != 0) {
                ::_exit(3);
            }
        });
    }
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(function)});
    return child.waitForFinished(120000) && child.exitStatus() == QProcess::NormalExit &&
           child.exitCode() == 0;
}

QString childMode() {
    return qEnvironmentVariable(kChildMode);
}

int rowOf(const CDirquillDlg& dlg, const QString& text) {
    return rowTexts(dlg.Column(0)).indexOf(text);
}

// A storage service of one volume that never answers a Mount, as udisksd does while the
// desktop's password dialog stays open. It serves on the bus at `address` until killed.
class PendingMountService : public QDBusVirtualObject {
public:
    using Interfaces = QMap<QString, QVariantMap>;
    using Objects = QMap<QDBusObjectPath, Interfaces>;

    static const char* label() { return "等待"; }

    QString introspect(const QString& /*path*/) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == QLatin1String("GetManagedObjects")) {
            const QVariantMap block{
                {"Device", QByteArray("/dev/fake0", 11)},
                {"DeviceNumber", QVariant::fromValue<quint64>(0xfff00)},
                {"IdLabel", QString::fromUtf8(label())},
                {"IdType", "ext4"},
                {"IdUsage", "filesystem"},
                {"HintIgnore", false},
                {"ReadOnly", false},
            };
            const QVariantMap filesystem{{"MountPoints", QVariant::fromValue(QByteArrayList())}};
            const Objects objects{{QDBusObjectPath("/org/freedesktop/UDisks2/block_devices/fake0"),
                                   {{"org.freedesktop.UDisks2.Block", block},
                                    {"org.freedesktop.UDisks2.Filesystem", filesystem}}}};
            connection.send(message.createReply(QVariant::fromValue(objects)));
            return true;
        }
        if (message.member() == QLatin1String("MountsAsked")) {
            connection.send(message.createReply(mountsAsked_));
            return true;
        }
        // Mount: the reply never comes.
        message.setDelayedReply(true);
        mountsAsked_ += message.member() == QLatin1String("Mount") ? 1 : 0;
        return message.member() == QLatin1String("Mount");
    }

    // How many Mount calls the service on the system bus holds.
    static int mountsAsked() {
        const QDBusMessage reply = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
            "org.freedesktop.UDisks2", "/org/freedesktop/UDisks2", "test.Counts", "MountsAsked"));
        return reply.arguments().value(0, -1).toInt();
    }

    static int serve(const QString& address) {
        qDBusRegisterMetaType<QByteArrayList>();
        qDBusRegisterMetaType<Interfaces>();
        qDBusRegisterMetaType<Objects>();
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("service"));
        PendingMountService service;
        if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2"), &service,
                                       QDBusConnection::SubPath) ||
            !bus.registerService(QStringLiteral("org.freedesktop.UDisks2"))) {
            return 1;
        }
        return QCoreApplication::exec();
    }

private:
    int mountsAsked_ = 0;
};

// A bus of the test's own, ended with the object.
class PrivateBus {
public:
    PrivateBus() {
        bool ok = false;
        const QStringList lines =
            runProgram("dbus-daemon", {"--session", "--fork", "--print-address=1", "--print-pid=1"},
                       &ok)
                .split('\n', Qt::SkipEmptyParts);
        if (ok && lines.size() >= 2) {
            address_ = lines[0].trimmed();
            pid_ = lines[1].trimmed().toInt();
        }
    }
    ~PrivateBus() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    [[nodiscard]] QString address() const { return address_; }

private:
    QString address_;
    pid_t pid_ = -1;
};
} // namespace

class TestVolumes : public QObject {
    Q_OBJECT
private slots:
    void volumeRowMountsOnClickAndIsOneRowAfterRestart();
    void readOnlyVolumesAreListedAndOnlyWindowsIsNamed();
    void namesThatNtfsRefusesAreTold();
    void hiddenDevicesAreNoRows();
    void withoutStorageServiceTheRowsAreTodays();
    void notAllowedIsTold();
    void mountThatNeverAnswersIsGivenUpOrClosed();
    void volumeMountedElsewhereOpensWhereItIs();
    void replacedVolumeIsNeverMountedUnderTheOldRow();
    void staleAnswerIsAskedAgain();
};

void TestVolumes::volumeRowMountsOnClickAndIsOneRowAfterRestart() {
    REQUIRE_STORAGE();
    const QString label = QString::fromUtf8("DATA盘");
    const QString media = "/media/" + userName();
    const QString place = media + "/" + label + "/";
    // A folder already takes the name, so the service mounts at another place.
    const bool made = !QFileInfo::exists(place) && QDir().mkpath(place);
    const bool taken = made || QFileInfo::exists(place);
    const auto removeTaken = qScopeGuard([&] {
        if (made) {
            QDir().rmdir(place);
        }
    });
    ScopedLoop loop(ScopedLoop::Content::Ext4, label);
    QVERIFY2(!loop.device().isEmpty(), "udisks set up no loop device");
    QVERIFY(waitForFileSystem(loop));

    TestWorkspace workspace;
    platform::setDriveRootSource({}); // the real mount table and the real service
    MessageLog messages;
    QString mountedRow;
    {
        CDirquillDlg dlg;
        dlg.Create();
        dlg.show();
        const int row = rowOf(dlg, place);
        QVERIFY2(row > 0, qPrintable(rowTexts(dlg.Column(0)).join('|')));
        // After the mounted drives, before the work directories.
        QVERIFY(row > rowOf(dlg, "/"));

        clickRow(&dlg.Column(0), row);
        mountedRow = dlg.Column(0).GetItemText(row);
        // A number follows the taken name: 1, or more where earlier folders are left.
        QVERIFY2(taken ? QRegularExpression("^" + QRegularExpression::escape(media + "/" + label) +
                                            "\\d+/$")
                             .match(mountedRow)
                             .hasMatch()
                       : mountedRow == place,
                 qPrintable(mountedRow));
        QCOMPARE(dlg.Column(1).ListedFrom(), std::optional<QString>(mountedRow));
        QCOMPARE(rowTexts(dlg.Column(1)), QStringList({"lost+found"}));
        QCOMPARE(messages.texts, QStringList());
    }
    // After a restart the mounted volume is one row, at its mount point.
    CDirquillDlg again;
    again.Create();
    const QStringList rows = rowTexts(again.Column(0));
    QCOMPARE(rows.count(mountedRow), 1);
    if (taken) {
        QCOMPARE(rows.count(place), 0);
    }
}

void TestVolumes::readOnlyVolumesAreListedAndOnlyWindowsIsNamed() {
    REQUIRE_STORAGE();
    const QString media = "/media/" + userName();
    ScopedLoop hibernated(ScopedLoop::Content::HibernatedNtfs, QString::fromUtf8("休眠"));
    ScopedLoop readOnly(ScopedLoop::Content::Ntfs, QString::fromUtf8("只读"), true);
    QVERIFY(!hibernated.device().isEmpty() && !readOnly.device().isEmpty());
    QVERIFY(waitForFileSystem(hibernated) && waitForFileSystem(readOnly));

    VolumeWindow w;
    CDirquillDlg& dlg = w.dlg;
    MessageLog& messages = w.messages;

    // Windows left it hibernated: listed, read-only, told once.
    const QString windowsRow = media + QString::fromUtf8("/休眠/");
    const int windows = rowOf(dlg, windowsRow);
    QVERIFY(windows > 0);
    clickRow(&dlg.Column(0), windows);
    QVERIFY(rowTexts(dlg.Column(1)).contains("hiberfil.sys"));
    QTRY_COMPARE(messages.texts.size(), 1);
    QCOMPARE(messages.texts.first(),
             windowsRow + QString::fromUtf8(
                              " 被 Windows 锁定（休眠或快速启动），只能以只读方式打开。要在这里修改"
                              "文件，请在 Windows 中关闭快速启动，或用“重启”代替“关机”离开 "
                              "Windows。"));
    clickRow(&dlg.Column(0), windows);
    QTest::qWait(100);
    QCOMPARE(messages.texts.size(), 1);

    // Read-only because its device is: listed, and nothing is said about Windows.
    const int device = rowOf(dlg, media + QString::fromUtf8("/只读/"));
    QVERIFY(device > 0);
    clickRow(&dlg.Column(0), device);
    QCOMPARE(dlg.Column(1).ListedFrom(), std::optional<QString>(dlg.Column(0).GetItemText(device)));
    QTest::qWait(100);
    QCOMPARE(messages.texts.size(), 1);
    for (const ScopedLoop* loop : {&hibernated, &readOnly}) {
        const QList<Volume> volumes =
            volumesOnce(loop->object(), [](const Volume* v) { return v != nullptr; });
        const auto volume = std::find_if(volumes.begin(), volumes.end(), [&](const Volume& v) {
            return v.object == loop->object();
        });
        QVERIFY(volume != volumes.end());
        const auto mount = platform::volumes::currentMount(*volume);
        QVERIFY(mount && mount->superOptions.startsWith("ro"));
    }
}

void TestVolumes::namesThatNtfsRefusesAreTold() {
    REQUIRE_STORAGE();
    ScopedLoop loop(ScopedLoop::Content::Ntfs, QString::fromUtf8("软件"));
    QVERIFY(!loop.device().isEmpty() && waitForFileSystem(loop));
    VolumeWindow w;
    CDirquillDlg& dlg = w.dlg;
    MessageLog& messages = w.messages;
    const int row = rowOf(dlg, "/media/" + userName() + QString::fromUtf8("/软件/"));
    QVERIFY(row > 0);
    clickRow(&dlg.Column(0), row);
    const QString drive = dlg.Column(0).GetItemText(row);
    QCOMPARE(dlg.Column(1).ListedFrom(), std::optional<QString>(drive));

    const QString reason = QString::fromUtf8(
        "这个磁盘（NTFS 或 FAT 格式）不接受这个名称：名称中不能有 \\ : * ? \" < > | 这些字符，"
        "也不能以点或空格结尾。");
    answerNextPrompt("a:b");
    dlg.OnNewFolder1();
    QTRY_COMPARE(messages.texts.size(), 1);
    QCOMPARE(messages.texts.last(),
             QString::fromUtf8("无法新建文件夹“%1”：").arg(drive + "/a:b") + reason);
    answerNextPrompt(QString::fromUtf8("资料"));
    dlg.OnNewFolder1();
    QCOMPARE(rowTexts(dlg.Column(1)), QStringList({QString::fromUtf8("资料")}));
    clickRow(&dlg.Column(1), 0);
    answerNextPrompt(QString::fromUtf8("资料."));
    dlg.OnRename1();
    QTRY_COMPARE(messages.texts.size(), 2);
    QCOMPARE(messages.texts.last(),
             QString::fromUtf8("无法重命名“%1”：").arg(drive + QString::fromUtf8("/资料")) +
                 reason);
}

void TestVolumes::hiddenDevicesAreNoRows() {
    REQUIRE_STORAGE();
    ScopedLoop swap(ScopedLoop::Content::Swap, {});
    ScopedLoop hidden(ScopedLoop::Content::Ext4, QString::fromUtf8("隐藏"));
    ScopedLoop shown(ScopedLoop::Content::Ext4, QString::fromUtf8("可见"));
    QVERIFY(!swap.device().isEmpty() && !hidden.device().isEmpty() && !shown.device().isEmpty());
    QVERIFY(waitForFileSystem(hidden) && waitForFileSystem(shown));

    // The system marks a device to be hidden through udev.
    const QString rule = QStringLiteral("/etc/udev/rules.d/99-dirquill-test-%1.rules")
                             .arg(QCoreApplication::applicationPid());
    makeFile(rule, QStringLiteral("KERNEL==\"%1\", ENV{UDISKS_IGNORE}=\"1\"\n")
                       .arg(hidden.device().section('/', -1))
                       .toUtf8());
    const auto removeRule = qScopeGuard([&] {
        QFile::remove(rule);
        runProgram("udevadm", {"control", "--reload"});
    });
    runProgram("udevadm", {"control", "--reload"});
    runProgram("udevadm", {"trigger", "--action=change", hidden.device()});
    runProgram("udevadm", {"settle"});
    QVERIFY(!volumesOnce(hidden.object(), [](const Volume* v) { return v == nullptr; }).isEmpty());

    TestWorkspace workspace;
    platform::setDriveRootSource({});
    QStringList objects;
    for (const Volume& volume : platform::volumes::unmountedDriveVolumes()) {
        objects.append(volume.object);
    }
    QVERIFY(objects.contains(shown.object()));
    QVERIFY(!objects.contains(hidden.object()));
    QVERIFY(!objects.contains(swap.object()));
}

void TestVolumes::withoutStorageServiceTheRowsAreTodays() {
    if (childMode() == QLatin1String("no-bus")) {
        // Nothing answers on the system bus: column 0 holds the mounted drives alone and
        // nothing is said.
        VolumeWindow w;
        CDirquillDlg& dlg = w.dlg;
        MessageLog& messages = w.messages;
        QStringList expected{QString::fromUtf8("----------我的电脑---------")};
        expected += platform::driveRoots();
        expected += {QString(), QString::fromUtf8("----------自定义目录---------")};
        QCOMPARE(rowTexts(dlg.Column(0)), expected);
        QVERIFY(platform::volumes::unmountedDriveVolumes().isEmpty());
        QCOMPARE(messages.texts, QStringList());
        return;
    }
    REQUIRE_STORAGE();
    // A volume that would be a row with the service.
    ScopedLoop loop(ScopedLoop::Content::Ext4, QString::fromUtf8("无服务"));
    QVERIFY(waitForFileSystem(loop));
    QVERIFY(passesInChild("withoutStorageServiceTheRowsAreTodays", "no-bus",
                          {"DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/system_bus_socket"}));
}

void TestVolumes::notAllowedIsTold() {
    if (childMode() == QLatin1String("not-allowed")) {
        // An unprivileged user, with no password dialog to ask: polkit says no.
        VolumeWindow w;
        CDirquillDlg& dlg = w.dlg;
        MessageLog& messages = w.messages;
        const QString place = "/media/" + userName() + QString::fromUtf8("/不许/");
        const int row = rowOf(dlg, place);
        QVERIFY2(row > 0, qPrintable(rowTexts(dlg.Column(0)).join('|')));
        clickRow(&dlg.Column(0), row);
        QTRY_COMPARE(messages.texts,
                     QStringList({QString::fromUtf8("没有权限打开 %1。").arg(place)}));
        QCOMPARE(dlg.Column(1).GetItemCount(), 0);
        QCOMPARE(dlg.Column(0).GetItemText(row), place);
        return;
    }
    REQUIRE_STORAGE();
    if (::getpwuid(kNobody) == nullptr) {
        QSKIP("needs the unprivileged user nobody to run the program as");
    }
    ScopedLoop loop(ScopedLoop::Content::Ext4, QString::fromUtf8("不许"));
    QVERIFY(waitForFileSystem(loop));
    QTemporaryDir home;
    QVERIFY(::chown(QFile::encodeName(home.path()).constData(), kNobody, kNobody) == 0);
    QVERIFY(passesInChild(
        "notAllowedIsTold", "not-allowed",
        {"HOME=" + home.path(), "XDG_RUNTIME_DIR=" + home.path(), "TMPDIR=" + home.path()},
        kNobody));
}

void TestVolumes::mountThatNeverAnswersIsGivenUpOrClosed() {
    if (childMode() == QLatin1String("pending-service")) {
        QCOMPARE(PendingMountService::serve(qEnvironmentVariable("DIRQUILL_TEST_BUS")), 0);
        return;
    }
    if (childMode() == QLatin1String("pending-mount")) {
        VolumeWindow w;
        CDirquillDlg& dlg = w.dlg;
        MessageLog& messages = w.messages;
        const QString place =
            "/media/" + userName() + "/" + QString::fromUtf8(PendingMountService::label()) + "/";
        const int row = rowOf(dlg, place);
        QVERIFY2(row > 0, qPrintable(rowTexts(dlg.Column(0)).join('|')));

        // Escape, once the line says what is waited for: nothing listed, nothing said.
        QString line;
        QTimer escape;
        QObject::connect(&escape, &QTimer::timeout, [&] {
            if (const auto* label = dlg.findChild<QLabel*>(HelperWait::lineName());
                label != nullptr && label->isVisible() && line.isEmpty()) {
                line = label->text();
                QTest::keyClick(&dlg, Qt::Key_Escape);
            }
        });
        escape.start(50);
        clickRow(&dlg.Column(0), row);
        escape.stop();
        QCOMPARE(line, QString::fromUtf8("正在打开 %1…（按 Esc 取消）").arg(place));
        QCOMPARE(dlg.Column(1).GetItemCount(), 0);
        QCOMPARE(dlg.Column(0).GetItemText(row), place);
        QVERIFY(dlg.isVisible());

        // The close box during the next one ends the window. That one waits on the mount
        // still under way: the service is never asked twice.
        QTimer::singleShot(300, &dlg, [&dlg] { dlg.windowHandle()->close(); });
        clickRow(&dlg.Column(0), row);
        QTRY_VERIFY(!dlg.isVisible());
        QCOMPARE(dlg.Column(1).GetItemCount(), 0);
        QCOMPARE(messages.texts, QStringList());
        QCOMPARE(PendingMountService::mountsAsked(), 1);
        return;
    }
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) {
        QSKIP("dbus-daemon is not installed");
    }
    PrivateBus bus;
    QVERIFY(!bus.address().isEmpty());
    QProcess service;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildMode, "pending-service");
    env.insert("DIRQUILL_TEST_BUS", bus.address());
    service.setProcessEnvironment(env);
    service.start(QCoreApplication::applicationFilePath(),
                  {"mountThatNeverAnswersIsGivenUpOrClosed"});
    const auto stopService = qScopeGuard([&service] {
        service.kill();
        service.waitForFinished();
    });
    QDBusConnection probe = QDBusConnection::connectToBus(bus.address(), "probe");
    QTRY_VERIFY(probe.interface()->isServiceRegistered("org.freedesktop.UDisks2"));
    QVERIFY(passesInChild("mountThatNeverAnswersIsGivenUpOrClosed", "pending-mount",
                          {"DBUS_SYSTEM_BUS_ADDRESS=" + bus.address()}));
}

void TestVolumes::volumeMountedElsewhereOpensWhereItIs() {
    REQUIRE_STORAGE();
    const QString label = QString::fromUtf8("别处");
    ScopedLoop loop(ScopedLoop::Content::Btrfs, label);
    QVERIFY(!loop.device().isEmpty());
    const std::optional<Volume> row = volumeLabelled(loop.object(), label);
    QVERIFY(row && row->type == "btrfs" && !row->mounted);
    VolumeWindow w;
    const int index = rowOf(w.dlg, "/media/" + userName() + "/" + label + "/");
    QVERIFY(index > 0);

    // Another program mounts it meanwhile. btrfs numbers its mounts 0:N, which names no
    // block device; the mount's source names it.
    QTemporaryDir elsewhere;
    bool mounted = false;
    runProgram("mount", {loop.device(), elsewhere.path()}, &mounted);
    QVERIFY(mounted);
    const auto unmount = qScopeGuard([&] { runProgram("umount", {elsewhere.path()}); });
    makeFile(elsewhere.path() + "/inside.txt");
    const std::optional<platform::Mount> mount = platform::volumes::currentMount(*row);
    QVERIFY(mount && mount->mountPoint == QFile::encodeName(elsewhere.path()));

    clickRow(&w.dlg.Column(0), index);
    QCOMPARE(w.dlg.Column(0).GetItemText(index), elsewhere.path() + "/");
    QCOMPARE(rowTexts(w.dlg.Column(1)), QStringList({"inside.txt"}));
    QCOMPARE(w.messages.texts, QStringList());
}

void TestVolumes::replacedVolumeIsNeverMountedUnderTheOldRow() {
    REQUIRE_STORAGE();
    const QString media = "/media/" + userName();
    auto old = std::make_optional<ScopedLoop>(ScopedLoop::Content::Ext4, QString::fromUtf8("旧盘"));
    const QString object = old->object();
    QVERIFY(volumeLabelled(object, QString::fromUtf8("旧盘")));
    VolumeWindow w;
    const QString oldPlace = media + QString::fromUtf8("/旧盘/");
    const int row = rowOf(w.dlg, oldPlace);
    QVERIFY(row > 0);

    // Pulled out; another takes its device and its object.
    old.reset();
    ScopedLoop newcomer(ScopedLoop::Content::Ext4, QString::fromUtf8("新盘"));
    QCOMPARE(newcomer.object(), object);
    QVERIFY(volumeLabelled(object, QString::fromUtf8("新盘")));

    clickRow(&w.dlg.Column(0), row);
    QTRY_COMPARE(
        w.messages.texts,
        QStringList({oldPlace + QString::fromUtf8(" 已不存在：这个磁盘已被拔出或换成了另一个。")}));
    const QStringList rows = rowTexts(w.dlg.Column(0));
    QVERIFY2(!rows.contains(oldPlace) && rows.contains(media + QString::fromUtf8("/新盘/")),
             qPrintable(rows.join('|')));
    QCOMPARE(w.dlg.Column(1).GetItemCount(), 0);
    for (const platform::Mount& mount : platform::readMountTable()) {
        QVERIFY(mount.source != QFile::encodeName(newcomer.device()));
    }
}

void TestVolumes::staleAnswerIsAskedAgain() {
    REQUIRE_STORAGE();
    platform::setDriveRootSource({});
    // An answer that waits, untaken, while a volume comes.
    platform::volumes::requestObjects();
    QElapsedTimer sinceAnswer;
    sinceAnswer.start();
    ScopedLoop loop(ScopedLoop::Content::Ext4, QString::fromUtf8("后来"));
    QVERIFY(!loop.device().isEmpty());
    const QRegularExpression probed(QStringLiteral("IdType:\\s+ext4"));
    QTRY_VERIFY_WITH_TIMEOUT(
        probed.match(runProgram("udisksctl", {"info", "-b", loop.device()})).hasMatch(), 10000);
    QTest::qWait(qMax(0, platform::volumes::kAnswerFreshMs + 500 - int(sinceAnswer.elapsed())));

    QStringList objects;
    for (const Volume& volume : platform::volumes::unmountedDriveVolumes()) {
        objects.append(volume.object);
    }
    QVERIFY(objects.contains(loop.object()));
}

QTEST_MAIN(TestVolumes)
#include "tst_volumes.moc"
