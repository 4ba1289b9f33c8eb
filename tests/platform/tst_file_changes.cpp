#include "RawTree.h"
#include "names/NameCodec.h"
#include "platform/FileSystem.h"
#include "support/PowerCut.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::contentOf;
using testsupport::existsRaw;

class FileChangesTest : public QObject {
    Q_OBJECT

private slots:
    void createFolder();
    void renameFileAndFolder();
    void renameNeverReplaces();
    void renameToOwnName();
    void renameRefusesBadTargets_data();
    void renameRefusesBadTargets();
    void renameMissingSource();
    void renameUnusualNames_data();
    void renameUnusualNames();
    void renameNonUtf8Name();
    void caseOnlyRenameWhereCaseIsIgnored();
    void renameAndNewFolderSurvivePowerCuts();
    void describesErrors();
};

void FileChangesTest::createFolder() {
    QTemporaryDir dir;
    const QString fresh = dir.filePath("新建文件夹");
    QVERIFY(platform::createFolder(fresh));
    QVERIFY(QFileInfo(fresh).isDir());
    QVERIFY(!platform::createFolder(fresh)); // exists
    testsupport::makeFile(dir.filePath("file"));
    QVERIFY(!platform::createFolder(dir.filePath("file")));
    QVERIFY(!platform::createFolder(dir.filePath("missing/child")));
    QVERIFY(!QFileInfo::exists(dir.filePath("missing")));

    testsupport::makeFolder(dir.filePath("a"));
    QVERIFY(platform::createFolder(dir.filePath("a/b")));
    QVERIFY(QFileInfo(dir.filePath("a/b")).isDir());
    QVERIFY(platform::createFolder(dir.path() + "//a//c"));
    QVERIFY(QFileInfo(dir.filePath("a/c")).isDir());
}

void FileChangesTest::renameFileAndFolder() {
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath("old.txt"), "content");
    const platform::ChangeResult file =
        platform::renameEntry(dir.filePath("old.txt"), dir.filePath("new.txt"));
    QVERIFY(file);
    QCOMPARE(file.error, 0);
    QVERIFY(!QFileInfo::exists(dir.filePath("old.txt")));
    QCOMPARE(contentOf(dir.filePath("new.txt")), QByteArray("content"));

    testsupport::makeFile(dir.filePath("tree/sub/leaf"), "leaf");
    QVERIFY(platform::renameEntry(dir.filePath("tree"), dir.path() + "//renamed"));
    QCOMPARE(contentOf(dir.filePath("renamed/sub/leaf")), QByteArray("leaf"));
    QVERIFY(!QFileInfo::exists(dir.filePath("tree")));

    // A case change is a rename like any other.
    QVERIFY(platform::renameEntry(dir.filePath("new.txt"), dir.filePath("NEW.txt")));
    QCOMPARE(contentOf(dir.filePath("NEW.txt")), QByteArray("content"));

    // Relative paths in the current folder.
    testsupport::ScopedCurrentDir here(dir.path());
    QVERIFY(platform::renameEntry(QStringLiteral("NEW.txt"), QStringLiteral("plain.txt")));
    QCOMPARE(contentOf(dir.filePath("plain.txt")), QByteArray("content"));
}

void FileChangesTest::renameNeverReplaces() {
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath("a.txt"), "a");
    testsupport::makeFile(dir.filePath("b.txt"), "b");
    testsupport::makeFolder(dir.filePath("empty"));
    testsupport::makeFolder(dir.filePath("other"));
    QCOMPARE(::symlink("nowhere", QFile::encodeName(dir.filePath("dangling")).constData()), 0);

    auto refused = [&](const QString& from, const QString& to) {
        const platform::ChangeResult result =
            platform::renameEntry(dir.filePath(from), dir.filePath(to));
        return !result.ok && result.error == EEXIST;
    };
    QVERIFY(refused("a.txt", "b.txt"));
    QVERIFY(refused("a.txt", "empty"));
    QVERIFY(refused("other", "empty"));
    QVERIFY(refused("other", "b.txt"));
    QVERIFY(refused("a.txt", "dangling"));
    // A second name of the same file is still another name, taken.
    QCOMPARE(::link(QFile::encodeName(dir.filePath("a.txt")).constData(),
                    QFile::encodeName(dir.filePath("hard.txt")).constData()),
             0);
    QVERIFY(refused("a.txt", "hard.txt"));
    // Also when the two names differ only in case: the folder lists the target's name.
    testsupport::makeFile(dir.filePath("report"), "r");
    QCOMPARE(::link(QFile::encodeName(dir.filePath("report")).constData(),
                    QFile::encodeName(dir.filePath("Report")).constData()),
             0);
    QVERIFY(refused("report", "Report"));
    QCOMPARE(QDir(dir.path()).entryList({"report", "Report"}, QDir::Files, QDir::Name),
             QStringList({"Report", "report"}));

    QCOMPARE(contentOf(dir.filePath("a.txt")), QByteArray("a"));
    QCOMPARE(contentOf(dir.filePath("b.txt")), QByteArray("b"));
    QVERIFY(QFileInfo(dir.filePath("empty")).isDir());
    QVERIFY(QFileInfo(dir.filePath("other")).isDir());
    QVERIFY(QFileInfo(dir.filePath("dangling")).isSymLink());
}

void FileChangesTest::renameToOwnName() {
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath("same.txt"), "same");
    const platform::ChangeResult result =
        platform::renameEntry(dir.filePath("same.txt"), dir.path() + "//same.txt");
    QVERIFY(result);
    QCOMPARE(contentOf(dir.filePath("same.txt")), QByteArray("same"));

    // A dangling link exists as a name too.
    QCOMPARE(::symlink("nowhere", QFile::encodeName(dir.filePath("link")).constData()), 0);
    QVERIFY(platform::renameEntry(dir.filePath("link"), dir.filePath("link")));
}

void FileChangesTest::renameRefusesBadTargets_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("into a subfolder") << "file.txt"
                                      << "sub/file.txt";
    QTest::newRow("into the parent") << "sub/inner.txt"
                                     << "inner.txt";
    QTest::newRow("into a sibling folder") << "sub/inner.txt"
                                           << "sub2/inner.txt";
    QTest::newRow("empty name") << "file.txt"
                                << "";
    QTest::newRow("trailing separator") << "file.txt"
                                        << "renamed/";
    QTest::newRow("dot") << "file.txt"
                         << ".";
    QTest::newRow("dot dot") << "file.txt"
                             << "..";
    QTest::newRow("from dot dot") << "sub/.."
                                  << "x";
}

void FileChangesTest::renameRefusesBadTargets() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath("file.txt"), "f");
    testsupport::makeFile(dir.filePath("sub/inner.txt"), "i");
    testsupport::makeFolder(dir.filePath("sub2"));
    const platform::ChangeResult result =
        platform::renameEntry(dir.path() + "/" + from, dir.path() + "/" + to);
    QVERIFY(!result);
    QCOMPARE(result.error, EINVAL);
    QCOMPARE(contentOf(dir.filePath("file.txt")), QByteArray("f"));
    QCOMPARE(contentOf(dir.filePath("sub/inner.txt")), QByteArray("i"));
    QVERIFY(!QFileInfo::exists(dir.filePath("sub/file.txt")));
    QVERIFY(!QFileInfo::exists(dir.filePath("inner.txt")));
    QVERIFY(!QFileInfo::exists(dir.filePath("sub2/inner.txt")));

    // A bare name and the same name under "/" are in different folders.
    QCOMPARE(platform::renameEntry(QStringLiteral("/etc-x"), QStringLiteral("etc-y")).error,
             EINVAL);
}

void FileChangesTest::renameMissingSource() {
    QTemporaryDir dir;
    platform::ChangeResult result =
        platform::renameEntry(dir.filePath("ghost"), dir.filePath("other"));
    QVERIFY(!result);
    QCOMPARE(result.error, ENOENT);
    result = platform::renameEntry(dir.filePath("ghost"), dir.filePath("ghost"));
    QVERIFY(!result);
    QCOMPARE(result.error, ENOENT);
    QVERIFY(!QFileInfo::exists(dir.filePath("other")));
}

void FileChangesTest::renameUnusualNames_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("chinese") << QStringLiteral("报告.txt") << QStringLiteral("最终报告.txt");
    QTest::newRow("apostrophe") << QStringLiteral("it's.txt") << QStringLiteral("O'Brien's.txt");
    QTest::newRow("spaces and emoji")
        << QStringLiteral(" lead.txt") << QString::fromUtf8("a b 😀.txt");
    QTest::newRow("hidden") << QStringLiteral("visible") << QStringLiteral(".hidden");
}

void FileChangesTest::renameUnusualNames() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QTemporaryDir dir;
    testsupport::makeFile(dir.path() + "/" + from, "body");
    QVERIFY(platform::renameEntry(dir.path() + "/" + from, dir.path() + "/" + to));
    QCOMPARE(contentOf(dir.path() + "/" + to), QByteArray("body"));
    QVERIFY(!QFileInfo::exists(dir.path() + "/" + from));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{to});
}

void FileChangesTest::renameNonUtf8Name() {
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path());
    const auto cleanup = qScopeGuard([&base] { testsupport::removeTreeRaw(base); });
    const QByteArray raw("gbk-\xC4\xE3\xBA\xC3.txt"); // GBK bytes, not UTF-8
    const int fd = ::open((base + '/' + raw).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);

    const QString folder = dir.path();
    const QString from = folder + "/" + names::decodeName(raw.toStdString());
    QVERIFY(platform::renameEntry(from, folder + "/readable.txt"));
    QVERIFY(!existsRaw(base + '/' + raw));
    QVERIFY(QFileInfo::exists(folder + "/readable.txt"));

    // And back to exactly the same bytes.
    QVERIFY(platform::renameEntry(folder + "/readable.txt", from));
    QVERIFY(existsRaw(base + '/' + raw));
    QVERIFY(!QFileInfo::exists(folder + "/readable.txt"));

    // Two names that differ only in an invalid byte are different entries.
    const QByteArray sibling("gbk-\xC4\xE3\xBA\xC4.txt");
    QVERIFY(::close(::open((base + '/' + sibling).constData(), O_WRONLY | O_CREAT, 0644)) == 0);
    const platform::ChangeResult clash =
        platform::renameEntry(from, folder + "/" + names::decodeName(sibling.toStdString()));
    QCOMPARE(clash.error, EEXIST);
    QVERIFY(existsRaw(base + '/' + raw));
}

namespace {

// An exFAT file system (which ignores case) on a loop device over an image file, mounted
// through FUSE for the life of the object; the mount and the device go with it.
class CaseBlindMount {
public:
    CaseBlindMount() {
        const QString image = dir_.filePath("disk.img");
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(8 << 20)) {
            return;
        }
        file.close();
        QDir().mkpath(path());
        if (!run("mkfs.exfat", {image})) {
            return;
        }
        bool attached = false;
        const QString device =
            testsupport::runProgram("losetup", {"-f", "--show", image}, &attached);
        if (!attached) {
            return;
        }
        device_ = device.trimmed();
        mounted_ = run("mount.exfat-fuse", {device_, path()});
    }
    ~CaseBlindMount() {
        if (mounted_) {
            const QByteArray mount = QFile::encodeName(path());
            for (int tries = 0; ::umount2(mount.constData(), 0) != 0 && tries < 50; ++tries) {
                QThread::msleep(20);
            }
            ::umount2(mount.constData(), MNT_DETACH);
        }
        if (!device_.isEmpty()) {
            run("losetup", {"-d", device_});
        }
    }
    CaseBlindMount(const CaseBlindMount&) = delete;
    CaseBlindMount& operator=(const CaseBlindMount&) = delete;

    // Whether this machine has what the mount needs; the reason when it has not.
    static QString missing() {
        for (const char* tool : {"mkfs.exfat", "mount.exfat-fuse", "losetup"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty() &&
                QStandardPaths::findExecutable(tool, {"/sbin", "/usr/sbin"}).isEmpty()) {
                return QStringLiteral("%1 is missing (packages exfatprogs, exfat-fuse)").arg(tool);
            }
        }
        if (!QFileInfo::exists("/dev/loop-control") || !testsupport::SlowMount::available()) {
            return QStringLiteral("no loop devices or no FUSE on this machine");
        }
        return {};
    }
    [[nodiscard]] bool mounted() const { return mounted_; }
    [[nodiscard]] QString path() const { return dir_.filePath("mount"); }

private:
    static bool run(const QString& program, const QStringList& arguments) {
        bool ok = false;
        testsupport::runProgram(program, arguments, &ok);
        return ok;
    }

    QTemporaryDir dir_;
    QString device_;
    bool mounted_ = false;
};

QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

void FileChangesTest::caseOnlyRenameWhereCaseIsIgnored() {
    if (const QString reason = CaseBlindMount::missing(); !reason.isEmpty()) {
        QSKIP(qPrintable("no file system that ignores case can be made: " + reason));
    }
    CaseBlindMount disk;
    QVERIFY(disk.mounted());
    const QString root = disk.path();
    testsupport::makeFile(root + "/report.txt", "body");
    testsupport::makeFile(root + "/docs/inner.txt", "inner");
    testsupport::makeFile(root + "/b.txt", "b");

    // The file system finds "Report.TXT" under "report.txt": both are the same entry.
    QVERIFY(platform::renameEntry(root + "/report.txt", root + "/Report.TXT"));
    QVERIFY(platform::renameEntry(root + "/docs", root + "/DOCS"));
    QCOMPARE(namesIn(root), (QStringList{"DOCS", "Report.TXT", "b.txt"}));
    QCOMPARE(contentOf(root + "/Report.TXT"), QByteArray("body"));
    QCOMPARE(contentOf(root + "/DOCS/inner.txt"), QByteArray("inner"));

    // Another entry under another case is still never replaced.
    const platform::ChangeResult clash =
        platform::renameEntry(root + "/Report.TXT", root + "/B.TXT");
    QCOMPARE(clash.error, EEXIST);
    QCOMPARE(namesIn(root), (QStringList{"DOCS", "Report.TXT", "b.txt"}));
    QCOMPARE(contentOf(root + "/b.txt"), QByteArray("b"));
}

void FileChangesTest::renameAndNewFolderSurvivePowerCuts() {
    SKIP_WITHOUT_FUSE();
    testsupport::ForgetMount mount;
    QVERIFY(mount.mounted());
    const QString work = mount.backing() + "/work";

    const testsupport::PowerCutTally renamed = testsupport::cutEverywhere(
        mount, [&] { testsupport::makeFile(work + "/old.txt", "body"); },
        [&] {
            return bool(platform::renameEntry(mount.path() + "/work/old.txt",
                                              mount.path() + "/work/new.txt"));
        },
        [&](bool succeeded, bool finished) -> QString {
            const bool old = QFileInfo::exists(work + "/old.txt");
            const bool fresh = QFileInfo::exists(work + "/new.txt");
            if (old == fresh) {
                return old ? "in two places" : "lost";
            }
            if (contentOf(work + (old ? "/old.txt" : "/new.txt")) != "body") {
                return "its content lost";
            }
            return finished && succeeded && old ? "renamed, said the rename, but not on disk"
                                                : QString();
        });
    const testsupport::PowerCutTally made = testsupport::cutEverywhere(
        mount, [&] { testsupport::makeFolder(work); },
        [&] { return platform::createFolder(mount.path() + "/work/新建文件夹"); },
        [&](bool succeeded, bool finished) -> QString {
            return finished && succeeded && !QFileInfo(work + "/新建文件夹").isDir()
                       ? "made, said the new folder, but not on disk"
                       : QString();
        });
    qInfo("power cuts: rename %d cut points (%d disks checked), new folder %d (%d)",
          renamed.cutPoints, renamed.states, made.cutPoints, made.states);
    for (const QString& failure : renamed.failures + made.failures) {
        qWarning("%s", qPrintable(failure));
    }
    QVERIFY(renamed.failures.isEmpty() && made.failures.isEmpty());
    QVERIFY(renamed.cutPoints > 3 && made.cutPoints > 3);
}

void FileChangesTest::describesErrors() {
    const QString unknown = platform::describeError(123456);
    QVERIFY(!unknown.isEmpty());
    for (const int error : {ENOENT, EEXIST, EINVAL, EXDEV, EACCES}) {
        const QString text = platform::describeError(error);
        QVERIFY(!text.isEmpty());
        QVERIFY(text != unknown);
    }
    QVERIFY(platform::describeError(EEXIST) != platform::describeError(EXDEV));
}

QTEST_GUILESS_MAIN(FileChangesTest)
#include "tst_file_changes.moc"
