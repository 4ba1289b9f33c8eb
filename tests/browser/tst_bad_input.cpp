// Bad input through the real main window: odd names, folders that cannot be read or
// vanish, paths too long for the kernel, links, special files, a missing data folder, a
// huge work-directory list, prompts given text a line edit does not expect and paths that
// hold a NUL byte.

#include "TestSupport.h"

#include "browser/CColumnList.h"
#include "names/NameCodec.h"
#include "platform/FileSystem.h"
#include "platform/helper/HelperCall.h"
#include "platform/helper/HelperProtocol.h"
#include "platform/helper/HelperServer.h"
#include "res/resource.h"
#include "ui/CDirquillDlg.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// Root reads and writes every folder, so permission cases run, as root, as an ordinary
// user owning the tree, for the life of the object.
class AsOrdinaryUser {
public:
    explicit AsOrdinaryUser(const QList<QByteArray>& owned) {
        if (::geteuid() != 0) {
            return;
        }
        constexpr uid_t kNobody = 65534;
        for (const QByteArray& path : owned) {
            if (::lchown(path.constData(), kNobody, kNobody) != 0) {
                qFatal("cannot hand the test tree over");
            }
        }
        if (::seteuid(kNobody) != 0) {
            qFatal("cannot drop privileges");
        }
        dropped_ = true;
    }
    ~AsOrdinaryUser() {
        if (dropped_ && ::seteuid(0) != 0) {
            qFatal("cannot regain privileges");
        }
    }
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;

private:
    bool dropped_ = false;
};

QByteArray bytes(const QString& path) {
    return names::encodeName(path);
}

bool existsRaw(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

void createRaw(const QByteArray& path, const QByteArray& content = {}) {
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_EXCL, 0644);
    QVERIFY2(fd >= 0, std::strerror(errno));
    QCOMPARE(::write(fd, content.constData(), static_cast<size_t>(content.size())),
             static_cast<ssize_t>(content.size()));
    ::close(fd);
}

// Removes everything below the folder `fd` refers to, by descriptors, so that trees
// deeper than PATH_MAX can be removed too.
void removeBelow(int fd) {
    DIR* dir = ::fdopendir(::dup(fd));
    if (dir == nullptr) {
        return;
    }
    QList<QByteArray> names;
    while (dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..") {
            names.append(name);
        }
    }
    ::closedir(dir);
    for (const QByteArray& name : names) {
        if (::unlinkat(fd, name.constData(), 0) == 0) {
            continue;
        }
        const int sub = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (sub >= 0) {
            ::fchmod(sub, 0700);
            removeBelow(sub);
            ::close(sub);
        }
        ::unlinkat(fd, name.constData(), AT_REMOVEDIR);
    }
}

void removeTree(const QString& path) {
    const int fd = ::open(bytes(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        removeBelow(fd);
        ::close(fd);
    }
    ::rmdir(bytes(path).constData());
}

// The names in a folder, as raw bytes (QDir cannot represent names that are not UTF-8).
QList<QByteArray> rawEntries(const QString& folder) {
    QList<QByteArray> names;
    DIR* dir = ::opendir(bytes(folder).constData());
    if (dir == nullptr) {
        return names;
    }
    while (dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..") {
            names.append(name);
        }
    }
    ::closedir(dir);
    return names;
}

// The Path= line of a .trashinfo file, percent-decoded to the bytes it names.
QByteArray trashedPath(const QByteArray& infoFile) {
    const int fd = ::open(infoFile.constData(), O_RDONLY);
    if (fd < 0) {
        return {};
    }
    QFile info;
    if (!info.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    for (const QByteArray& line : info.readAll().split('\n')) {
        if (line.startsWith("Path=")) {
            return QByteArray::fromPercentEncoding(line.mid(5));
        }
    }
    return {};
}

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { cancelPendingAnswers(); }
    void oddNamesAreHandledAsThemselves_data();
    void oddNamesAreHandledAsThemselves();
    void unreadableAndVanishedFolders();
    void folderWithoutWritePermissionChangesNothing();
    void pathLongerThanPathMaxListsNothing();
    void linksAreListedAndLoopsDoNotHang();
    void fifoAndSocketAreListed();
    void trashWithMissingDataFolder();
    void tenThousandWorkDirectoriesLoad();
    void promptsWithLongOrMultiLineText();
    void pathsHoldingNulAreRefused();
};

void TestBadInput::oddNamesAreHandledAsThemselves_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("renamed");
    QTest::newRow("leading and trailing spaces")
        << QByteArray("  both ends  ") << QByteArray(" still spaced ");
    QTest::newRow("quotes") << QByteArray("it's \"quoted\"") << QByteArray("'single'");
    QTest::newRow("backslash") << QByteArray("back\\slash") << QByteArray("\\\\two");
    QTest::newRow("newline") << QByteArray("line\nbreak") << QByteArray("other\nline");
    QByteArray longName;
    QByteArray longRenamed;
    for (int i = 0; i < 85; ++i) {
        longName += "名"; // three bytes each: 255 in all
        longRenamed += "字";
    }
    QTest::newRow("255 bytes") << longName << longRenamed;
    QTest::newRow("emoji") << QByteArray("😀 smile 👍🏽") << QByteArray("🎉");
    QTest::newRow("not UTF-8") << QByteArray("bad\xff\xfe name\x80") << QByteArray("\xc3(x\xa0");
}

void TestBadInput::oddNamesAreHandledAsThemselves() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, renamed);
    ScopedDataHome data;
    OpenRecorder opened;
    Browser b;
    const QByteArray folder = bytes(b.root());
    createRaw(folder + "/" + name, "content");
    auto clean = qScopeGuard([&] {
        ::unlink((folder + "/" + name).constData());
        ::unlink((folder + "/" + renamed).constData());
        for (const QByteArray& entry : rawEntries(data.trashFiles())) {
            ::unlink((bytes(data.trashFiles()) + "/" + entry).constData());
        }
        for (const QByteArray& entry : rawEntries(data.trashInfo())) {
            ::unlink((bytes(data.trashInfo()) + "/" + entry).constData());
        }
    });
    b.dlg.RefillColumnsFrom(1);

    // Listed as itself.
    const QString shown = names::decodeName(name.toStdString());
    QVERIFY2(b.select(1, shown), qPrintable(b.rows(1).join('|')));

    // Opened: the URL carries the name's bytes.
    b.dlg.OnColumnDblClk(1);
    QCOMPARE(opened.urls.size(), 1);
    const QUrl url = opened.urls.first();
    QCOMPARE(url.scheme(), QStringLiteral("file"));
    QCOMPARE(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()),
             folder + "/" + name);

    // Renamed: the prompt shows the name; the new one reaches the disk byte for byte.
    QString prefilled;
    const QString newText = names::decodeName(renamed.toStdString());
    onNextModal([&prefilled, newText](QWidget* prompt) {
        auto* edit = prompt->findChild<QLineEdit*>();
        prefilled = edit->text();
        edit->setText(newText);
        QTest::keyClick(prompt, Qt::Key_Return);
    });
    b.dlg.OnRename1();
    QCOMPARE(prefilled, shown);
    QVERIFY(!existsRaw(folder + "/" + name));
    QVERIFY(existsRaw(folder + "/" + renamed));
    QVERIFY(b.rows(1).contains(newText));

    // Trashed: the trash records the original bytes.
    QVERIFY(b.select(1, newText));
    b.dlg.OnDelete1();
    QVERIFY(!existsRaw(folder + "/" + renamed));
    const QList<QByteArray> infos = rawEntries(data.trashInfo());
    QCOMPARE(infos.size(), 1);
    QCOMPARE(trashedPath(bytes(data.trashInfo()) + "/" + infos.first()), folder + "/" + renamed);
    QCOMPARE(rawEntries(data.trashFiles()).size(), 1);
    QCOMPARE(infos.first(), rawEntries(data.trashFiles()).first() + ".trashinfo");
    QVERIFY(!b.rows(1).contains(newText));
}

void TestBadInput::unreadableAndVanishedFolders() {
    ScopedDataHome data;
    Browser b;
    makeFile(b.root() + "/vanishing/child/leaf.txt");
    makeFile(b.root() + "/locked/inside.txt");
    b.dlg.RefillColumnsFrom(1);

    // A folder removed while its contents are shown: every command refills.
    QVERIFY(b.select(1, "vanishing"));
    QVERIFY(b.select(2, "child"));
    removeTree(b.root() + "/vanishing");
    QString message;
    closeNextMessageBox(&message);
    b.dlg.OnDelete2();
    QVERIFY2(message.contains("child"), qPrintable(message));
    QCOMPARE(b.rows(2), QStringList());
    answerNextPrompt("new");
    b.dlg.OnNewFolder2();
    QVERIFY(!QFileInfo::exists(b.root() + "/vanishing"));
    QCOMPARE(b.rows(2), QStringList());
    b.dlg.OnNewFolder3();
    b.dlg.OnRename2();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    b.dlg.RefillColumnsFrom(1);
    QVERIFY(!b.rows(1).contains("vanishing"));

    // A folder without read permission lists nothing; commands in it refill. Root reads
    // every folder, so as root the checks run as an ordinary user owning the tree.
    const QByteArray root = bytes(b.root());
    const QByteArray locked = root + "/locked";
    QCOMPARE(::chmod(locked.constData(), 0300), 0);
    auto unlock = qScopeGuard([&] { ::chmod(locked.constData(), 0700); });
    const AsOrdinaryUser user({root, locked, root + "/locked/inside.txt"});
    QVERIFY(b.select(1, "locked"));
    QCOMPARE(b.rows(2), QStringList());
    b.dlg.OnDelete2();
    b.dlg.OnRename2();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    answerNextPrompt("made");
    b.dlg.OnNewFolder2();
    QCOMPARE(b.rows(2), QStringList());
    QVERIFY(b.rows(1).contains("locked"));
}

void TestBadInput::folderWithoutWritePermissionChangesNothing() {
    ScopedDataHome data;
    Browser b;
    makeFile(b.root() + "/sealed/keep.txt", "kept");
    makeFolder(b.root() + "/sealed/sub");
    b.dlg.RefillColumnsFrom(1);
    const QByteArray root = bytes(b.root());
    const QByteArray sealed = root + "/sealed";
    QCOMPARE(::chmod(sealed.constData(), 0555), 0);
    auto unseal = qScopeGuard([&] { ::chmod(sealed.constData(), 0755); });
    const AsOrdinaryUser user(
        {root, sealed, sealed + "/keep.txt", sealed + "/sub", bytes(data.path())});
    QVERIFY(b.select(1, "sealed"));

    // Trash and rename are refused with a message naming the entry; nothing moves.
    QVERIFY(b.select(2, "keep.txt"));
    QString message;
    closeNextMessageBox(&message);
    b.dlg.OnDelete2();
    QVERIFY2(message.contains("keep.txt"), qPrintable(message));
    QVERIFY(b.select(2, "keep.txt"));
    message.clear();
    answerNextPrompt("renamed.txt");
    closeNextMessageBox(&message);
    b.dlg.OnRename2();
    QVERIFY2(message.contains("keep.txt"), qPrintable(message));
    // A new folder fails silently; the column shows the folder as it is.
    answerNextPrompt("new");
    b.dlg.OnNewFolder2();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(b.sortedRows(2), QStringList({"keep.txt", "sub"}));
    QFile kept(b.root() + "/sealed/keep.txt");
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("kept"));
}

void TestBadInput::pathLongerThanPathMaxListsNothing() {
    QTemporaryDir deep;
    const QByteArray component(200, 'd');
    int fd = ::open(bytes(deep.path()).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(fd >= 0);
    QString path = deep.path();
    while (bytes(path).size() <= PATH_MAX + 200) {
        QCOMPARE(::mkdirat(fd, component.constData(), 0700), 0);
        const int next = ::openat(fd, component.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        QVERIFY(fd >= 0);
        path += "/" + QString::fromLatin1(component);
    }
    const int file = ::openat(fd, "there.txt", O_CREAT | O_WRONLY, 0644);
    QVERIFY(file >= 0);
    ::close(file);
    ::close(fd);
    auto clean = qScopeGuard([&] { removeTree(deep.path()); });

    Browser b({path});
    b.select(0, b.dlg.Column(0).GetItemCount() - 1);
    QCOMPARE(b.dlg.Column(0).GetItemText(b.dlg.SelectedRow(0)), path);
    QCOMPARE(b.rows(1), QStringList());
    answerNextPrompt("made");
    b.dlg.OnNewFolder1();
    b.dlg.OnColumnDblClk(0);
    QCOMPARE(b.rows(1), QStringList());
}

void TestBadInput::linksAreListedAndLoopsDoNotHang() {
    OpenRecorder opened;
    Browser b;
    makeFile(b.root() + "/real/inside.txt");
    const QByteArray folder = bytes(b.root());
    QCOMPARE(::symlink("real", (folder + "/to-folder").constData()), 0);
    QCOMPARE(::symlink("nowhere", (folder + "/broken").constData()), 0);
    QCOMPARE(::symlink("loop-b", (folder + "/loop-a").constData()), 0);
    QCOMPARE(::symlink("loop-a", (folder + "/loop-b").constData()), 0);
    QCOMPARE(::symlink(".", (folder + "/self").constData()), 0);
    b.dlg.RefillColumnsFrom(1);
    for (const char* name : {"to-folder", "broken", "loop-a", "loop-b", "self"}) {
        QVERIFY2(b.rows(1).contains(name), name);
    }

    QVERIFY(b.select(1, "to-folder"));
    QCOMPARE(b.rows(2), QStringList({"inside.txt"}));
    for (const char* name : {"broken", "loop-a"}) {
        QVERIFY(b.select(1, name));
        QCOMPARE(b.rows(2), QStringList());
    }
    // A link to its own folder can be followed level after level.
    QVERIFY(b.select(1, "self"));
    QVERIFY(b.select(2, "self"));
    QVERIFY(b.select(3, "self"));
    QVERIFY(b.select(4, "loop-a"));
    QVERIFY(b.rows(4).contains("real"));
    b.dlg.OnColumnDblClk(4);
    QCOMPARE(opened.urls.size(), 1);
}

void TestBadInput::fifoAndSocketAreListed() {
    Browser b;
    const QByteArray folder = bytes(b.root());
    QCOMPARE(::mkfifo((folder + "/pipe").constData(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(sock >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = folder + "/sock";
    QVERIFY(socketPath.size() < static_cast<int>(sizeof(address.sun_path)));
    std::memcpy(address.sun_path, socketPath.constData(), static_cast<size_t>(socketPath.size()));
    QCOMPARE(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    auto clean = qScopeGuard([sock] { ::close(sock); });
    b.dlg.RefillColumnsFrom(1);
    QVERIFY(b.rows(1).contains("pipe"));
    QVERIFY(b.rows(1).contains("sock"));
    // Choosing them lists nothing to their right; the pipe is never opened for reading.
    QVERIFY(b.select(1, "pipe"));
    QCOMPARE(b.rows(2), QStringList());
    QVERIFY(b.select(1, "sock"));
    QCOMPARE(b.rows(2), QStringList());
}

void TestBadInput::trashWithMissingDataFolder() {
    ScopedDataHome data;
    const QString missing = data.path() + "/not/yet/share";
    const QByteArray previous = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", missing.toUtf8());
    auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", previous); });
    QTemporaryDir cwd;
    ScopedCurrentDir here(cwd.path());
    Browser b;
    makeFile(b.root() + "/doomed.txt", "d");
    b.dlg.RefillColumnsFrom(1);
    QVERIFY(b.select(1, "doomed.txt"));
    b.dlg.OnDelete1();
    QVERIFY(!QFileInfo::exists(b.root() + "/doomed.txt"));
    QVERIFY(QFileInfo::exists(missing + "/Trash/files/doomed.txt"));
    QVERIFY(QFileInfo::exists(missing + "/Trash/info/doomed.txt.trashinfo"));
    QVERIFY(QDir(cwd.path()).isEmpty());
}

void TestBadInput::tenThousandWorkDirectoriesLoad() {
    TestWorkspace workspace;
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(bytes(workspace.databasePath()).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO workspace(workspace) VALUES(?1)", -1, &insert, nullptr);
    for (int i = 0; i < 10000; ++i) {
        const QByteArray text = QStringLiteral("/srv/工作/%1").arg(i).toUtf8();
        sqlite3_bind_text(insert, 1, text.constData(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    QCOMPARE(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    CDirquillDlg dlg;
    dlg.Create();
    const QStringList rows = rowTexts(dlg.Column(0));
    const int first = static_cast<int>(rows.indexOf(u("----------自定义目录---------"))) + 1;
    QCOMPARE(rows.size() - first, 10000);
    QCOMPARE(rows[first], u("/srv/工作/0"));
    QCOMPARE(rows.last(), u("/srv/工作/9999"));
}

void TestBadInput::promptsWithLongOrMultiLineText() {
    Browser b;
    // Very long text: what the line edit holds is what is stored, in full.
    const QString longText = QStringLiteral("/长").repeated(15000);
    QString held;
    onNextModal([&held, longText](QWidget* prompt) {
        auto* edit = prompt->findChild<QLineEdit*>();
        edit->setText(longText);
        held = edit->text();
        QTest::keyClick(prompt, Qt::Key_Return);
    });
    b.dlg.OnCommandId(ID_ADD_WORKDIR);
    QCOMPARE(held, longText);
    QCOMPARE(b.workspace.storedWorkDirs().last(), longText);
    QCOMPARE(b.rows(0).last(), longText);

    // Pasted text with line breaks: the characters around them all arrive.
    QGuiApplication::clipboard()->setText(QStringLiteral("a\nb\r\nc"));
    const auto pasteIntoNextPrompt = [&held] {
        held.clear();
        onNextModal([&held](QWidget* prompt) {
            auto* edit = prompt->findChild<QLineEdit*>();
            edit->clear();
            edit->paste();
            held = edit->text();
            QTest::keyClick(prompt, Qt::Key_Return);
        });
    };
    pasteIntoNextPrompt();
    b.dlg.OnAddWorkDir();
    for (const QChar c : {QChar('a'), QChar('b'), QChar('c')}) {
        QVERIFY2(held.contains(c), qPrintable(held));
    }
    QCOMPARE(b.workspace.storedWorkDirs().last(), held);
    QCOMPARE(b.rows(0).last(), held);

    // The same text as a new folder's name: the folder gets exactly that name.
    makeFolder(b.root() + "/in");
    b.dlg.RefillColumnsFrom(1);
    QVERIFY(b.select(1, "in"));
    pasteIntoNextPrompt();
    b.dlg.OnNewFolder2();
    QVERIFY(QFileInfo(b.root() + "/in/" + held).isDir());
    QCOMPARE(b.rows(2), QStringList({held}));
}

void TestBadInput::pathsHoldingNulAreRefused() {
    // A work directory stored with a NUL: the kernel would read it as the folder before
    // the NUL, whose entries it must never act on.
    ScopedDataHome data;
    OpenRecorder opened;
    QTemporaryDir place;
    makeFile(place.path() + "/docs/a.txt", "a");
    makeFile(place.path() + "/plain.txt", "p");
    const QString workDir = place.path() + "/docs" + QChar(u'\0') + "x";
    Browser b({workDir, place.path()});
    b.select(0, b.dlg.Column(0).GetItemCount() - 2);
    QCOMPARE(b.dlg.Column(0).GetItemText(b.dlg.SelectedRow(0)), workDir);
    QCOMPARE(b.rows(1), QStringList());

    const QString invalid = platform::describeError(EINVAL);
    QString message;
    answerNextPrompt("made");
    closeNextMessageBox(&message);
    b.dlg.OnNewFolder1();
    QCOMPARE(message, invalid);
    message.clear();
    closeNextMessageBox(&message);
    b.dlg.OnColumnDblClk(0);
    QCOMPARE(message, invalid);
    QVERIFY(opened.urls.isEmpty());
    QCOMPARE(QDir(place.path() + "/docs").entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList({"a.txt"}));

    // A new name holding a NUL (pasted text) is refused too.
    b.select(0, b.dlg.Column(0).GetItemCount() - 1);
    QVERIFY(b.select(1, "plain.txt"));
    message.clear();
    onNextModal([](QWidget* prompt) {
        prompt->findChild<QLineEdit*>()->setText(QStringLiteral("docs") + QChar(u'\0') + "y");
        QTest::keyClick(prompt, Qt::Key_Return);
    });
    closeNextMessageBox(&message);
    b.dlg.OnRename1();
    QVERIFY2(message.contains("plain.txt") && message.endsWith(invalid), qPrintable(message));
    QVERIFY(QFileInfo::exists(place.path() + "/plain.txt"));

    // A trash of an entry below such a folder takes neither the entry nor the folder, in
    // the program and in the helper, whoever sends it the request.
    const QString below = workDir + "/a.txt";
    auto trashed = platform::HelperCall::trash(below);
    QCOMPARE(trashed->state(), platform::HelperCall::State::Done);
    QCOMPARE(trashed->error(), EINVAL);
    int ends[2];
    QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    std::string requests;
    const QByteArray raw = bytes(below);
    namespace helper = platform::helper;
    helper::appendFrame(requests, helper::kTrash, {raw.constData(), std::size_t(raw.size())});
    helper::appendFrame(
        requests, helper::kRename,
        helper::renameBody(bytes(place.path() + "/plain.txt").toStdString(), raw.toStdString()));
    QVERIFY(helper::sendAll(ends[0], requests));
    ::shutdown(ends[0], SHUT_WR);
    QCOMPARE(helper::serveRequests(ends[1], ends[1]), 0);
    char answers[64];
    const ssize_t got = ::read(ends[0], answers, sizeof answers);
    ::close(ends[0]);
    ::close(ends[1]);
    helper::FrameReader reader;
    reader.feed(answers, std::size_t(std::max<ssize_t>(got, 0)));
    for (int i = 0; i < 2; ++i) {
        helper::Frame frame;
        QVERIFY(reader.next(frame));
        QCOMPARE(frame.kind, helper::kEnd);
        QCOMPARE(int(helper::readU32(frame.body.data())), EINVAL);
    }
    QVERIFY(QFileInfo::exists(place.path() + "/docs/a.txt"));
    QVERIFY(QFileInfo::exists(place.path() + "/plain.txt"));
    QVERIFY(rawEntries(data.trashFiles()).isEmpty());
}

QTEST_MAIN(TestBadInput)
#include "tst_bad_input.moc"
