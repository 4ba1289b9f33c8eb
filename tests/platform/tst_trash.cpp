#include "RawTree.h"
#include "names/NameCodec.h"
#include "platform/FileSystem.h"
#include "platform/helper/HelperCall.h"
#include "platform/trash/TrashInfo.h"
#include "platform/trash/TrashJournal.h"
#include "support/PowerCut.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::contentOf;
using testsupport::existsRaw;

namespace {

struct TrashInfo {
    QByteArray path; // percent-decoded
    QDateTime deleted;
    bool wellFormed = false;
};

TrashInfo readInfo(const QByteArray& infoPath) {
    TrashInfo info;
    // Read by raw path: the name may not be UTF-8.
    const int fd = ::open(infoPath.constData(), O_RDONLY);
    if (fd < 0) {
        return info;
    }
    QByteArray text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, got);
    }
    ::close(fd);
    const QList<QByteArray> lines = text.split('\n');
    info.wellFormed = lines.value(0) == "[Trash Info]";
    for (const QByteArray& line : lines) {
        if (line.startsWith("Path=")) {
            info.path = QByteArray::fromPercentEncoding(line.mid(5));
        } else if (line.startsWith("DeletionDate=")) {
            info.deleted = QDateTime::fromString(QString::fromLatin1(line.mid(13)), Qt::ISODate);
        }
    }
    return info;
}

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QDateTime nowToTheSecond() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.addMSecs(-now.time().msec());
}

// Checks the trashed entry `name` has an info file naming `original`, written between
// `before` and now. A minute either way is allowed: the wall clock of a virtual machine
// may be stepped while the test runs, and a wrong date (another zone, another day) is
// off by far more.
void checkInfo(const QString& infoFolder, const QString& name, const QByteArray& original,
               const QDateTime& before) {
    const TrashInfo info = readInfo(QFile::encodeName(infoFolder + "/" + name + ".trashinfo"));
    QVERIFY(info.wellFormed);
    QCOMPARE(info.path, original);
    QVERIFY(info.deleted.isValid());
    constexpr int kClockSteps = 60;
    QVERIFY(info.deleted >= before.addSecs(-kClockSteps));
    QVERIFY(info.deleted <= QDateTime::currentDateTime().addSecs(kClockSteps));
}

// An entry on a file system other than the one holding the test's data folder, with the
// top-directory trash folders of that file system removed again afterwards.
class OtherFileSystem {
public:
    OtherFileSystem(const QString& dataHome) {
        const QByteArray top = "/dev/shm";
        struct stat shm {};
        struct stat home {};
        if (::stat(top.constData(), &shm) != 0 || ::stat(QFile::encodeName(dataHome), &home) != 0 ||
            shm.st_dev == home.st_dev || ::access(top.constData(), W_OK) != 0) {
            return;
        }
        personal_ = top + "/.Trash-" + QByteArray::number(::getuid());
        shared_ = top + "/.Trash";
        // Trash folders someone else made are left alone.
        if (existsRaw(personal_) || existsRaw(shared_)) {
            return;
        }
        dir_ = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/trash-test-XXXXXX"));
        usable_ = dir_->isValid();
    }
    ~OtherFileSystem() {
        if (usable_) {
            testsupport::removeTreeRaw(personal_);
            testsupport::removeTreeRaw(shared_);
        }
    }
    OtherFileSystem(const OtherFileSystem&) = delete;
    OtherFileSystem& operator=(const OtherFileSystem&) = delete;

    [[nodiscard]] bool usable() const { return usable_; }
    [[nodiscard]] QString filePath(const QString& name) const { return dir_->filePath(name); }
    [[nodiscard]] QString personalTrash() const { return QFile::decodeName(personal_); }
    [[nodiscard]] QString sharedTrash() const { return QFile::decodeName(shared_); }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QByteArray personal_;
    QByteArray shared_;
    bool usable_ = false;
};

} // namespace

class TrashTest : public QObject {
    Q_OBJECT

private slots:
    void fileGoesToTrash();
    void wholeTreeGoesToTrash();
    void sameNameTwiceKeepsBoth();
    void missingDataFolderIsCreated();
    void missingEntry();
    void nonUtf8Name();
    void symlinkIsTrashedAsLink();
    void unusualPaths();
    void refusedMoveLeavesNoInfo();
    void leftoversOfAKilledTrashGoOthersInfosStay();
    void trashSurvivesPowerCuts();
    void otherFileSystemUsesItsOwnTrash();
    void otherFileSystemSharedTrash();
    void otherFileSystemWithoutTrash();
    void sharedTrashCannotBeSwapped();
};

void TrashTest::fileGoesToTrash() {
    testsupport::ScopedDataHome home;
    QTemporaryDir dir;
    const QString file = testsupport::makeFile(dir.filePath("report.txt"), "quarterly");
    const QDateTime before = nowToTheSecond();

    const platform::ChangeResult result = platform::moveToTrash(file);
    QVERIFY(result);
    QCOMPARE(result.error, 0);
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(entriesOf(home.trashFiles()), QStringList{"report.txt"});
    QCOMPARE(contentOf(home.trashFiles() + "/report.txt"), QByteArray("quarterly"));
    QCOMPARE(entriesOf(home.trashInfo()), QStringList{"report.txt.trashinfo"});
    checkInfo(home.trashInfo(), "report.txt", QFile::encodeName(file), before);

    // Other programs list it and bring it back (trash-cli reads $XDG_DATA_HOME too).
    if (QStandardPaths::findExecutable("trash-list").isEmpty()) {
        QSKIP("trash-cli is not installed (tools/deps.sh build)");
    }
    bool ok = false;
    QVERIFY(testsupport::runProgram("trash-list", {}, &ok).contains(file));
    QVERIFY(ok);
    testsupport::runProgram("trash-restore", {dir.path()}, &ok, "0\n");
    QVERIFY(ok);
    QCOMPARE(contentOf(file), QByteArray("quarterly"));
    QCOMPARE(entriesOf(home.trashFiles()), QStringList{});
    QCOMPARE(entriesOf(home.trashInfo()), QStringList{});
}

void TrashTest::wholeTreeGoesToTrash() {
    testsupport::ScopedDataHome home;
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath("项目/src/main.cpp"), "int main() {}");
    testsupport::makeFile(dir.filePath("项目/.git/HEAD"), "ref");
    testsupport::makeFolder(dir.filePath("项目/empty"));
    const QDateTime before = nowToTheSecond();

    QVERIFY(platform::moveToTrash(dir.filePath("项目")));
    QVERIFY(!QFileInfo::exists(dir.filePath("项目")));
    const QString trashed = home.trashFiles() + "/项目";
    QCOMPARE(contentOf(trashed + "/src/main.cpp"), QByteArray("int main() {}"));
    QCOMPARE(contentOf(trashed + "/.git/HEAD"), QByteArray("ref"));
    QVERIFY(QFileInfo(trashed + "/empty").isDir());
    checkInfo(home.trashInfo(), "项目", dir.filePath("项目").toUtf8(), before);

    // Non-ASCII bytes are percent-encoded in the info file itself.
    QFile info(home.trashInfo() + "/项目.trashinfo");
    QVERIFY(info.open(QIODevice::ReadOnly));
    const QByteArray text = info.readAll();
    QVERIFY(text.contains("%E9%A1%B9%E7%9B%AE"));
    QVERIFY(!text.contains("项目"));
}

void TrashTest::sameNameTwiceKeepsBoth() {
    testsupport::ScopedDataHome home;
    QTemporaryDir dir;
    const QString first = testsupport::makeFile(dir.filePath("a/notes.txt"), "first");
    const QString second = testsupport::makeFile(dir.filePath("b/notes.txt"), "second");
    const QString third = testsupport::makeFile(dir.filePath("c/notes.txt"), "third");
    const QDateTime before = nowToTheSecond();
    QVERIFY(platform::moveToTrash(first));
    QVERIFY(platform::moveToTrash(second));
    QVERIFY(platform::moveToTrash(third));

    const QStringList names = entriesOf(home.trashFiles());
    QCOMPARE(names.size(), 3);
    QVERIFY(names.contains("notes.txt"));
    QCOMPARE(entriesOf(home.trashInfo()).size(), 3);
    // Each trashed file has its own info file pointing back to where it was.
    for (const QString& name : names) {
        const QByteArray content = contentOf(home.trashFiles() + "/" + name);
        const QString original = content == "first" ? first : content == "second" ? second : third;
        checkInfo(home.trashInfo(), name, QFile::encodeName(original), before);
    }
}

void TrashTest::missingDataFolderIsCreated() {
    testsupport::ScopedDataHome home;
    QTemporaryDir dir;
    QVERIFY(QDir(home.path()).removeRecursively());
    QVERIFY(!QFileInfo::exists(home.path()));
    const QString work = testsupport::makeFolder(dir.filePath("work"));
    const QString file = testsupport::makeFile(work + "/draft.txt", "draft");

    testsupport::ScopedCurrentDir here(work);
    QVERIFY(platform::moveToTrash(file));
    QCOMPARE(contentOf(home.trashFiles() + "/draft.txt"), QByteArray("draft"));
    QCOMPARE(entriesOf(home.trashInfo()), QStringList{"draft.txt.trashinfo"});
    // Nothing of the trash lands in the current folder.
    QCOMPARE(entriesOf(work), QStringList{});
    struct stat status {};
    QCOMPARE(::stat(QFile::encodeName(home.path() + "/Trash").constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777, mode_t(0700));
}

void TrashTest::missingEntry() {
    testsupport::ScopedDataHome home;
    QTemporaryDir dir;
    const platform::ChangeResult result = platform::moveToTrash(dir.filePath("ghost"));
    QVERIFY(!result);
    QCOMPARE(result.error, ENOENT);
    QCOMPARE(entriesOf(home.trashFiles()), QStringList{});
    QCOMPARE(entriesOf(home.trashInfo()), QStringList{});
}

void TrashTest::nonUtf8Name() {
    testsupport::ScopedDataHome home;
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const auto cleanup = qScopeGuard(
        [&home] { testsupport::removeTreeRaw(QFile::encodeName(home.path()) + "/Trash"); });
    const QByteArray raw("old-\xB1\xA8\xB8\xE6 %.txt"); // GBK bytes, not UTF-8
    const int fd = ::open((folder + '/' + raw).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "gbk", 3), ssize_t(3));
    ::close(fd);

    const QString path = dir.path() + "/" + names::decodeName(raw.toStdString());
    QVERIFY(platform::moveToTrash(path));
    QVERIFY(!existsRaw(folder + '/' + raw));
    const QByteArray trashed = QFile::encodeName(home.trashFiles()) + '/' + raw;
    QVERIFY(existsRaw(trashed));
    const TrashInfo info = readInfo(QFile::encodeName(home.trashInfo()) + '/' + raw + ".trashinfo");
    QVERIFY(info.wellFormed);
    QCOMPARE(info.path, folder + '/' + raw);
}

void TrashTest::symlinkIsTrashedAsLink() {
    testsupport::ScopedDataHome home;
    QTemporaryDir dir;
    const QString target = testsupport::makeFile(dir.filePath("real/data.txt"), "keep me");
    const QByteArray link = QFile::encodeName(dir.filePath("shortcut"));
    QCOMPARE(::symlink("real/data.txt", link.constData()), 0);
    const QByteArray folderLink = QFile::encodeName(dir.filePath("real-link"));
    QCOMPARE(::symlink("real", folderLink.constData()), 0);

    QVERIFY(platform::moveToTrash(QFile::decodeName(link)));
    QVERIFY(platform::moveToTrash(QFile::decodeName(folderLink)));
    QCOMPARE(contentOf(target), QByteArray("keep me"));
    QVERIFY(QFileInfo(dir.filePath("real")).isDir());
    QVERIFY(QFileInfo(home.trashFiles() + "/shortcut").isSymLink());
    QVERIFY(QFileInfo(home.trashFiles() + "/real-link").isSymLink());
    QCOMPARE(readInfo(QFile::encodeName(home.trashInfo() + "/shortcut.trashinfo")).path, link);

    // A dangling link goes just the same.
    const QByteArray dangling = QFile::encodeName(dir.filePath("dangling"));
    QCOMPARE(::symlink("nowhere", dangling.constData()), 0);
    QVERIFY(platform::moveToTrash(QFile::decodeName(dangling)));
    QVERIFY(QFileInfo(home.trashFiles() + "/dangling").isSymLink());
}

void TrashTest::unusualPaths() {
    testsupport::ScopedDataHome home;
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath("sub/doubled.txt"), "1");
    testsupport::makeFile(dir.filePath("sub/relative.txt"), "2");
    testsupport::makeFile(dir.filePath("sub/it's 50%.txt"), "3");

    // Repeated separators are collapsed in the recorded path.
    QVERIFY(platform::moveToTrash("/" + dir.path() + "//sub///doubled.txt"));
    QCOMPARE(readInfo(QFile::encodeName(home.trashInfo() + "/doubled.txt.trashinfo")).path,
             QFile::encodeName(dir.filePath("sub/doubled.txt")));

    // A relative path is recorded as the absolute one.
    {
        testsupport::ScopedCurrentDir here(dir.path());
        QVERIFY(platform::moveToTrash(QStringLiteral("./sub/relative.txt")));
    }
    QCOMPARE(readInfo(QFile::encodeName(home.trashInfo() + "/relative.txt.trashinfo")).path,
             QFile::encodeName(dir.filePath("sub/relative.txt")));

    QVERIFY(platform::moveToTrash(dir.filePath("sub/it's 50%.txt")));
    QFile info(home.trashInfo() + "/it's 50%.txt.trashinfo");
    QVERIFY(info.open(QIODevice::ReadOnly));
    QVERIFY(info.readAll().contains("/it's%2050%25.txt\n"));

    // A name so long that NAME.trashinfo would not fit is shortened in the trash.
    const QString longName = QString(250, QLatin1Char('x'));
    testsupport::makeFile(dir.filePath(longName), "long");
    QVERIFY(platform::moveToTrash(dir.filePath(longName)));
    QVERIFY(!QFileInfo::exists(dir.filePath(longName)));
    const QStringList infos = entriesOf(home.trashInfo());
    QCOMPARE(infos.size(), 4);
    for (const QString& name : entriesOf(home.trashFiles())) {
        QVERIFY(infos.contains(name + ".trashinfo"));
        if (name.startsWith("xxx")) {
            QCOMPARE(readInfo(QFile::encodeName(home.trashInfo() + "/" + name + ".trashinfo")).path,
                     QFile::encodeName(dir.filePath(longName)));
        }
    }

    // An entry reached through a link and "..": the kernel's way, the link's target and
    // then its parent, is where it came from, and so what the info records.
    testsupport::makeFolder(dir.filePath("real/deep"));
    testsupport::makeFile(dir.filePath("real/reached.txt"), "r");
    testsupport::makeFile(dir.filePath("reached.txt"), "decoy");
    QCOMPARE(::symlink("real/deep", QFile::encodeName(dir.filePath("link")).constData()), 0);
    QVERIFY(platform::moveToTrash(dir.filePath("link/../reached.txt")));
    QCOMPARE(contentOf(home.trashFiles() + "/reached.txt"), QByteArray("r"));
    QCOMPARE(readInfo(QFile::encodeName(home.trashInfo() + "/reached.txt.trashinfo")).path,
             QFile::encodeName(QFileInfo(dir.path()).canonicalFilePath() + "/real/reached.txt"));

    // The root and a path ending in ".." name no entry that could be moved.
    QCOMPARE(platform::moveToTrash(QStringLiteral("/")).error, EINVAL);
    QCOMPARE(platform::moveToTrash(dir.filePath("sub/..")).error, EINVAL);
    QVERIFY(QFileInfo(dir.filePath("sub")).isDir());
}

void TrashTest::refusedMoveLeavesNoInfo() {
    testsupport::ScopedDataHome home;
    QTemporaryDir dir;
    // A folder cannot go into a trash that lies inside it.
    QVERIFY(!platform::moveToTrash(home.path()));
    QVERIFY(QFileInfo(home.trashFiles()).isDir());
    QCOMPARE(entriesOf(home.trashInfo()), QStringList{});

    if (::geteuid() == 0) {
        QSKIP("root may change any folder, so a read-only folder cannot refuse the move");
    }
    const QString locked = testsupport::makeFolder(dir.filePath("locked"));
    const QString file = testsupport::makeFile(locked + "/stays.txt", "stays");
    QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0555), 0);
    const platform::ChangeResult result = platform::moveToTrash(file);
    ::chmod(QFile::encodeName(locked).constData(), 0755);
    QVERIFY(!result);
    QCOMPARE(result.error, EACCES);
    QCOMPARE(contentOf(file), QByteArray("stays"));
    QCOMPARE(entriesOf(home.trashInfo()), QStringList{});
}

void TrashTest::otherFileSystemUsesItsOwnTrash() {
    testsupport::ScopedDataHome home;
    OtherFileSystem other(home.path());
    if (!other.usable()) {
        QSKIP("no writable /dev/shm on a separate file system without trash folders");
    }
    const QString file = testsupport::makeFile(other.filePath("shm-note.txt"), "volatile");
    const QDateTime before = nowToTheSecond();
    QVERIFY(platform::moveToTrash(file));
    QVERIFY(!QFileInfo::exists(file));
    const QString trash = other.personalTrash();
    QCOMPARE(contentOf(trash + "/files/shm-note.txt"), QByteArray("volatile"));
    // A top-directory trash records the path below its top directory, so that the disk
    // mounted elsewhere still knows where its entries came from.
    const QByteArray relative = QFile::encodeName(file).mid(qstrlen("/dev/shm/"));
    checkInfo(trash + "/info", "shm-note.txt", relative, before);
    const QByteArray text = contentOf(trash + "/info/shm-note.txt.trashinfo");
    QCOMPARE(platform::trash::readTrashInfo(text, "/media/elsewhere")->origin,
             "/media/elsewhere/" + relative);
    QCOMPARE(platform::trash::readTrashInfo(text, "/dev/shm")->origin, QFile::encodeName(file));
    // An absolute path, as other programs and older versions wrote, reads as it is.
    const QByteArray absolute =
        "[Trash Info]\nPath=/dev/shm/a%20b\nDeletionDate=2026-01-02T03:04:05\n";
    QCOMPARE(platform::trash::readTrashInfo(absolute, "/dev/shm")->origin,
             QByteArray("/dev/shm/a b"));
    // An info cut short names no entry.
    QVERIFY(!platform::trash::readTrashInfo("", "/dev/shm"));
    QVERIFY(!platform::trash::readTrashInfo("[Trash Info]\nPath=x\n", "/dev/shm"));
    struct stat status {};
    QCOMPARE(::lstat(QFile::encodeName(trash).constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777, mode_t(0700));
    // Nothing went to the home trash.
    QCOMPARE(entriesOf(home.trashFiles()), QStringList{});
}

void TrashTest::otherFileSystemSharedTrash() {
    testsupport::ScopedDataHome home;
    OtherFileSystem other(home.path());
    if (!other.usable()) {
        QSKIP("no writable /dev/shm on a separate file system without trash folders");
    }
    const QByteArray shared = QFile::encodeName(other.sharedTrash());
    const QByteArray uid = QByteArray::number(::getuid());

    // A .Trash without the sticky bit must not be used.
    QCOMPARE(::mkdir(shared.constData(), 0777), 0);
    QCOMPARE(::chmod(shared.constData(), 0777), 0);
    const QString first = testsupport::makeFile(other.filePath("first.txt"), "1");
    QVERIFY(platform::moveToTrash(first));
    QVERIFY(!existsRaw(shared + '/' + uid));
    QCOMPARE(contentOf(other.personalTrash() + "/files/first.txt"), QByteArray("1"));

    // With the sticky bit it is the trash of every user, each in a folder of their own.
    QCOMPARE(::chmod(shared.constData(), 01777), 0);
    const QString second = testsupport::makeFile(other.filePath("second.txt"), "2");
    QVERIFY(platform::moveToTrash(second));
    QCOMPARE(contentOf(QFile::decodeName(shared + '/' + uid) + "/files/second.txt"),
             QByteArray("2"));
    QVERIFY(existsRaw(shared + '/' + uid + "/info/second.txt.trashinfo"));
    QVERIFY(!existsRaw(QFile::encodeName(other.personalTrash()) + "/files/second.txt"));

    // A .Trash/$uid that someone planted as a link is refused before anything is made
    // in it: the link's target stays as it was, and the entry goes to .Trash-$uid.
    testsupport::removeTreeRaw(shared + '/' + uid);
    QTemporaryDir elsewhere;
    QCOMPARE(::symlink(QFile::encodeName(elsewhere.path()).constData(),
                       (shared + '/' + uid).constData()),
             0);
    const QString third = testsupport::makeFile(other.filePath("third.txt"), "3");
    QVERIFY(platform::moveToTrash(third));
    QCOMPARE(entriesOf(elsewhere.path()), QStringList{});
    QCOMPARE(contentOf(other.personalTrash() + "/files/third.txt"), QByteArray("3"));
}

void TrashTest::otherFileSystemWithoutTrash() {
    testsupport::ScopedDataHome home;
    OtherFileSystem other(home.path());
    if (!other.usable()) {
        QSKIP("no writable /dev/shm on a separate file system without trash folders");
    }
    // A file where the trash folder would be: no trash can be had on that file system.
    testsupport::makeFile(other.personalTrash(), "not a folder");
    // And a .Trash that is a link, which must not be trusted.
    QCOMPARE(::symlink("/tmp", QFile::encodeName(other.sharedTrash()).constData()), 0);
    const QString file = testsupport::makeFile(other.filePath("precious.txt"), "precious");
    const platform::ChangeResult result = platform::moveToTrash(file);
    QVERIFY(!result);
    QCOMPARE(result.error, EXDEV);
    // The entry stays where it is; it is never copied nor deleted.
    QCOMPARE(contentOf(file), QByteArray("precious"));
    QCOMPARE(entriesOf(home.trashFiles()), QStringList{});
    QCOMPARE(contentOf(other.personalTrash()), QByteArray("not a folder"));
}

// Runs `work` in a child process as the user `uid` (group `uid` too, no others); returns
// the child's process id.
pid_t runAs(uid_t uid, const std::function<int()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        const gid_t gid = uid;
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
            ::_exit(100);
        }
        ::_exit(work());
    }
    return child;
}

int exitStatusOf(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void TrashTest::sharedTrashCannotBeSwapped() {
    if (::geteuid() != 0) {
        QSKIP("needs root, to run two real users: one trashing into the shared .Trash, the "
              "other swapping the first one's folder there");
    }
    testsupport::ScopedDataHome home;
    OtherFileSystem other(home.path());
    if (!other.usable()) {
        QSKIP("no writable /dev/shm on a separate file system without trash folders");
    }
    constexpr uid_t kOwner = 1001;
    constexpr uid_t kOther = 65534;
    constexpr int kEntries = 200;
    const QByteArray shared = QFile::encodeName(other.sharedTrash());
    const QByteArray own = shared + '/' + QByteArray::number(kOwner);
    const QByteArray personal = "/dev/shm/.Trash-" + QByteArray::number(kOwner);
    if (existsRaw(personal)) {
        QSKIP("/dev/shm/.Trash-1001 exists already, and is not this test's to remove");
    }
    const auto removePersonal = qScopeGuard([&personal] { testsupport::removeTreeRaw(personal); });
    // The other user owns the shared .Trash, so the sticky bit does not keep them from
    // renaming the first user's folder in it.
    QCOMPARE(::mkdir(shared.constData(), 0700), 0);
    QCOMPARE(::chown(shared.constData(), kOther, kOther), 0);
    QCOMPARE(::chmod(shared.constData(), 01777), 0);
    // Both users work in the test's folder on that file system.
    QCOMPARE(::chmod(QFile::encodeName(other.filePath(".")).constData(), 01777), 0);
    // What the other user puts in its place: a folder of theirs open to all, files/ and
    // info/ made, which the first user could write to were it taken.
    const QByteArray bait = QFile::encodeName(other.filePath("bait"));
    for (const QByteArray& folder : {bait, bait + "/files", bait + "/info"}) {
        QCOMPARE(::mkdir(folder.constData(), 0777), 0);
        QCOMPARE(::chmod(folder.constData(), 0777), 0);
        QCOMPARE(::chown(folder.constData(), kOther, kOther), 0);
    }
    const QByteArray work = QFile::encodeName(other.filePath("work"));
    QCOMPARE(::mkdir(work.constData(), 0755), 0);
    QCOMPARE(::chown(work.constData(), kOwner, kOwner), 0);
    QCOMPARE(::chown(QFile::encodeName(home.path()).constData(), kOwner, kOwner), 0);
    for (int i = 0; i < kEntries; ++i) {
        const QByteArray file = work + "/entry" + QByteArray::number(i);
        testsupport::makeFile(QFile::decodeName(file), QByteArray::number(i));
        QCOMPARE(::chown(file.constData(), kOwner, kOwner), 0);
    }

    // The other user swaps the first user's folder for a link to the bait and for the
    // bait itself, in turn, as fast as they can.
    const pid_t swapper = runAs(kOther, [&] {
        const QByteArray away = shared + "/away";
        for (unsigned long round = 0;; ++round) {
            ::rename(own.constData(), away.constData());
            if (round % 2 == 0) {
                ::symlink(bait.constData(), own.constData());
                ::usleep(100);
                ::unlink(own.constData());
            } else if (::rename(bait.constData(), own.constData()) == 0) {
                ::usleep(100);
                ::rename(own.constData(), bait.constData());
            }
            ::rename(away.constData(), own.constData());
        }
        return 0;
    });
    QVERIFY(swapper > 0);
    const pid_t trasher = runAs(kOwner, [&] {
        int refused = 0;
        for (int i = 0; i < kEntries; ++i) {
            refused +=
                platform::moveToTrash(QFile::decodeName(work + "/entry" + QByteArray::number(i)))
                    ? 0
                    : 1;
        }
        return std::min(refused, 99);
    });
    const int refused = exitStatusOf(trasher);
    ::kill(swapper, SIGKILL);
    exitStatusOf(swapper);
    if (!existsRaw(own) && existsRaw(shared + "/away")) {
        ::rename((shared + "/away").constData(), own.constData());
    }

    // Nothing reached the other user's folder; every entry is in a trash folder of the
    // first user's own (which the other user may have renamed in .Trash) with its info.
    QCOMPARE(entriesOf(QFile::decodeName(bait + "/files")), QStringList{});
    QCOMPARE(entriesOf(QFile::decodeName(bait + "/info")), QStringList{});
    QCOMPARE(refused, 0);
    QStringList trashes{QFile::decodeName(personal)};
    for (const QString& name : entriesOf(other.sharedTrash())) {
        trashes.append(other.sharedTrash() + "/" + name);
    }
    int trashed = 0;
    for (const QString& trash : trashes) {
        struct stat status {};
        if (::lstat(QFile::encodeName(trash).constData(), &status) != 0 ||
            status.st_uid != kOwner || !S_ISDIR(status.st_mode)) {
            continue;
        }
        for (const QString& name : entriesOf(trash + "/files")) {
            QVERIFY(QFileInfo::exists(trash + "/info/" + name + ".trashinfo"));
            ++trashed;
        }
    }
    QCOMPARE(trashed, kEntries);
}

namespace {

// An info of another program whose entry is not in files/, or not yet: another program
// may write its info and then copy its entry for minutes. Dated `deleted`, with file
// times `ageSeconds` ago (negative: ahead, as from a server whose clock is ahead).
void plantForeignInfo(const QString& infoFolder, const QString& name, const QByteArray& deleted,
                      int ageSeconds) {
    const QString path = testsupport::makeFile(infoFolder + "/" + name + ".trashinfo",
                                               "[Trash Info]\nPath=/elsewhere/" + name.toUtf8() +
                                                   "\nDeletionDate=" + deleted + "\n");
    const timespec then{std::time(nullptr) - ageSeconds, 0};
    const timespec times[2] = {then, then};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

const QStringList kForeignInfos = {"copying.trashinfo", "early.trashinfo", "late.trashinfo"};

void plantForeignInfos(const QString& infoFolder) {
    plantForeignInfo(infoFolder, "copying", "2026-01-01T00:00:00", 0);
    plantForeignInfo(infoFolder, "early", "2020-01-01T00:00:00", 3 * 365 * 86400);
    plantForeignInfo(infoFolder, "late", "2099-01-01T00:00:00", -86400);
}

// Clears `trash` of this program's leftovers, as the file helper does after each trash,
// and names what is wrong then: an info of this program left without its entry, a note
// left in the journal, an info of another program (`foreign`) gone.
QString leftoverProblem(const QString& trash, const QStringList& foreign) {
    const int fd = ::open(QFile::encodeName(trash).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return {}; // no trash was made
    }
    platform::trash::clearLeftovers(fd);
    ::close(fd);
    const QStringList infos = entriesOf(trash + "/info");
    for (const QString& name : infos) {
        if (!foreign.contains(name) &&
            !existsRaw(QFile::encodeName(trash + "/files/" + name.chopped(10)))) {
            return QStringLiteral("%1 of this program is left without its entry").arg(name);
        }
    }
    for (const QString& name : foreign) {
        if (!infos.contains(name)) {
            return QStringLiteral("the info %1 of another program is gone").arg(name);
        }
    }
    // A file removed while open stays on a FUSE mount as .fuse_hidden* until it is
    // closed; a disk forgets it at a cut.
    const QStringList notes =
        entriesOf(trash + "/.dirquill-journal").filter(QRegularExpression("^(?!\\.fuse_hidden)"));
    if (!notes.isEmpty()) {
        return QStringLiteral("the journal still holds %1").arg(notes.join(' '));
    }
    return {};
}

// Runs a call of the file helper to its end.
void finish(platform::HelperCall& call) {
    if (call.running()) {
        QEventLoop loop;
        QObject::connect(&call, &platform::HelperCall::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace

void TrashTest::leftoversOfAKilledTrashGoOthersInfosStay() {
    SKIP_WITHOUT_FUSE();
    // Every call on the mount waits 20 ms, so that a trash can be killed between the
    // steps of its own; the home trash is elsewhere, so the mount's own trash is used.
    testsupport::ScopedDataHome home;
    testsupport::SlowMount mount({QStringLiteral("--pace=20000")});
    QVERIFY(mount.mounted());
    const QString work = mount.path() + "/work";
    for (const char* name : {"first.txt", "killed.txt", "next.txt"}) {
        testsupport::makeFile(mount.backing() + "/work/" + name, name);
    }
    const QString trash = mount.backing() + "/.Trash-" + QString::number(::getuid());
    {
        auto first = platform::HelperCall::trash(work + "/first.txt");
        finish(*first);
        QCOMPARE(first->error(), 0);
    }
    plantForeignInfos(trash + "/info");

    // Killed once its info is in info/, before its entry moves.
    auto killed = platform::HelperCall::trash(work + "/killed.txt");
    const QByteArray placed = QFile::encodeName(trash + "/info/killed.txt.trashinfo");
    QElapsedTimer waited;
    waited.start();
    while (!existsRaw(placed) && waited.elapsed() < 20000) {
        QThread::usleep(200);
    }
    ::kill(killed->helperPid(), SIGKILL);
    finish(*killed);
    QCOMPARE(killed->state(), platform::HelperCall::State::Lost);
    QVERIFY(existsRaw(placed));
    QCOMPARE(contentOf(mount.backing() + "/work/killed.txt"), QByteArray("killed.txt"));

    // The next trash into the same trash clears it once it has answered; a listing on
    // the same helper after it waits for that.
    auto next = platform::HelperCall::trash(work + "/next.txt");
    finish(*next);
    QCOMPARE(next->error(), 0);
    auto listing = platform::HelperCall::list(work);
    finish(*listing);
    QCOMPARE(listing->error(), 0);
    QCOMPARE(entriesOf(trash + "/info"),
             (QStringList{"copying.trashinfo", "early.trashinfo", "first.txt.trashinfo",
                          "late.trashinfo", "next.txt.trashinfo"}));
    QCOMPARE(entriesOf(trash + "/files"), (QStringList{"first.txt", "next.txt"}));
    QCOMPARE(entriesOf(trash + "/.dirquill-journal"), QStringList{});
    QCOMPARE(contentOf(mount.backing() + "/work/killed.txt"), QByteArray("killed.txt"));
}

namespace {

// Where a trashed entry is after a power cut: how many places hold it, and what is wrong.
struct TrashedEntry {
    QString trash;         // the trash folder, in the backing folder
    QByteArray top;        // the top directory its relative paths are read against
    QString origin;        // where the entry was, in the backing folder
    QString originOnMount; // and as the command named it
    QString probe;         // a file below the entry (for a folder) whose content is known
    QByteArray content;
};

QString trashedEntryProblem(const TrashedEntry& entry, bool succeeded, bool finished) {
    const QString files = entry.trash + "/files";
    const QString info = entry.trash + "/info";
    const QString& origin = entry.origin;
    const QString& probe = entry.probe;
    const QByteArray& content = entry.content;
    int places = QFileInfo::exists(origin) ? 1 : 0;
    bool inTrash = false;
    for (const QString& name : entriesOf(files)) {
        const auto record =
            platform::trash::readTrashInfo(contentOf(info + "/" + name + ".trashinfo"), entry.top);
        if (!record) {
            return QStringLiteral("%1 is in files/ with an empty or missing info").arg(name);
        }
        if (record->origin == QFile::encodeName(entry.originOnMount)) {
            ++places;
            inTrash = true;
            if (contentOf(files + "/" + name + probe) != content) {
                return QStringLiteral("the trashed entry lost its content");
            }
        }
    }
    if (places != 1) {
        return places == 0 ? QStringLiteral("the entry is lost")
                           : QStringLiteral("the entry is in %1 places").arg(places);
    }
    if (!inTrash && contentOf(origin + probe) != content) {
        return QStringLiteral("the entry lost its content at its origin");
    }
    if (finished && succeeded && !inTrash) {
        return QStringLiteral("the trash said it was done, but the entry is back at its origin");
    }
    return {};
}

} // namespace

void TrashTest::trashSurvivesPowerCuts() {
    SKIP_WITHOUT_FUSE();
    testsupport::ForgetMount mount;
    QVERIFY(mount.mounted());
    // The home trash on the mount (ScopedDataHome puts it back afterwards).
    testsupport::ScopedDataHome home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(mount.path() + "/data"));
    const QString backing = mount.backing();

    // A file into a trash that does not exist yet, and a folder into one that holds an
    // entry already.
    const testsupport::PowerCutTally file = testsupport::cutEverywhere(
        mount,
        [&] {
            testsupport::makeFolder(backing + "/data");
            testsupport::makeFile(backing + "/work/report.txt", "quarterly");
        },
        [&] { return bool(platform::moveToTrash(mount.path() + "/work/report.txt")); },
        [&](bool succeeded, bool finished) {
            const QString problem = trashedEntryProblem({backing + "/data/Trash",
                                                         "/",
                                                         backing + "/work/report.txt",
                                                         mount.path() + "/work/report.txt",
                                                         {},
                                                         "quarterly"},
                                                        succeeded, finished);
            return problem.isEmpty() ? leftoverProblem(backing + "/data/Trash", {}) : problem;
        });
    const testsupport::PowerCutTally folder = testsupport::cutEverywhere(
        mount,
        [&] {
            testsupport::makeFile(backing + "/data/Trash/files/old.txt", "old");
            testsupport::makeFile(
                backing + "/data/Trash/info/old.txt.trashinfo",
                "[Trash Info]\nPath=/old.txt\nDeletionDate=2026-01-01T00:00:00\n");
            testsupport::makeFile(backing + "/work/项目/src/main.cpp", "int main() {}");
            plantForeignInfos(backing + "/data/Trash/info");
        },
        [&] { return bool(platform::moveToTrash(mount.path() + "/work/项目")); },
        [&](bool succeeded, bool finished) {
            const QString problem =
                trashedEntryProblem({backing + "/data/Trash", "/", backing + "/work/项目",
                                     mount.path() + "/work/项目", "/src/main.cpp", "int main() {}"},
                                    succeeded, finished);
            return problem.isEmpty() ? leftoverProblem(backing + "/data/Trash", kForeignInfos)
                                     : problem;
        });
    // And a file of a disk whose top-directory trash is made for it, the home trash
    // being on another file system.
    const testsupport::PowerCutTally top = testsupport::cutEverywhere(
        mount, [&] { testsupport::makeFile(backing + "/work/notes.txt", "notes"); },
        [&] {
            testsupport::ScopedDataHome elsewhere;
            return bool(platform::moveToTrash(mount.path() + "/work/notes.txt"));
        },
        [&](bool succeeded, bool finished) {
            const QString trash = backing + "/.Trash-" + QString::number(::getuid());
            const QString problem = trashedEntryProblem({trash,
                                                         QFile::encodeName(mount.path()),
                                                         backing + "/work/notes.txt",
                                                         mount.path() + "/work/notes.txt",
                                                         {},
                                                         "notes"},
                                                        succeeded, finished);
            return problem.isEmpty() ? leftoverProblem(trash, {}) : problem;
        });
    qInfo("power cuts: trash of a file %d cut points (%d disks checked), of a folder %d (%d), "
          "into a top-directory trash %d (%d)",
          file.cutPoints, file.states, folder.cutPoints, folder.states, top.cutPoints, top.states);
    const QStringList failures = file.failures + folder.failures + top.failures;
    for (const QString& failure : failures) {
        qWarning("%s", qPrintable(failure));
    }
    QVERIFY(failures.isEmpty());
    // The runs got past the steps that matter: each ended on its own at last.
    QVERIFY(file.cutPoints > 10 && folder.cutPoints > 10 && top.cutPoints > 10);
}

QTEST_GUILESS_MAIN(TrashTest)
#include "tst_trash.moc"
