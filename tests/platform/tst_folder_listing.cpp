#include "RawTree.h"
#include "names/NameCodec.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using names::NameList;

namespace {

QSet<QByteArray> namesOf(const NameList& list, std::size_t from = 0) {
    QSet<QByteArray> names;
    for (std::size_t i = from; i < list.size(); ++i) {
        const std::string_view name = list.at(i);
        names.insert(QByteArray(name.data(), qsizetype(name.size())));
    }
    return names;
}

bool makeRawFile(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    return fd >= 0 && ::close(fd) == 0;
}

} // namespace

class FolderListingTest : public QObject {
    Q_OBJECT

private slots:
    void listsEveryEntryByName();
    void appendsAfterWhatTheListHolds();
    void emptyFolder();
    void unopenablePathsLeaveListUntouched_data();
    void unopenablePathsLeaveListUntouched();
    void unreadableFolder();
    void doubledSeparators();
    void nonUtf8NameKeepsItsBytes();
    void specialEntriesAreJustNames();
    void largeFolderReportsProgress();
    void trimSlackKeepsNamesAndBoundsMemory();
    void driveRootsFromSource();
    void realDriveRoots();
};

void FolderListingTest::listsEveryEntryByName() {
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath("a.txt"), "x");
    testsupport::makeFile(dir.filePath(".hidden"));
    testsupport::makeFolder(dir.filePath("sub"));
    testsupport::makeFolder(dir.filePath(".config"));
    testsupport::makeFile(dir.filePath("sub/inner.txt")); // not listed: one level only
    testsupport::makeFile(dir.filePath("中文 名字's.doc"));

    NameList list;
    QVERIFY(platform::listFolder(dir.path(), list));
    QCOMPARE(list.size(), std::size_t(5));
    QCOMPARE(namesOf(list), (QSet<QByteArray>{"a.txt", ".hidden", "sub", ".config",
                                              QStringLiteral("中文 名字's.doc").toUtf8()}));
}

void FolderListingTest::appendsAfterWhatTheListHolds() {
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath("one"));
    testsupport::makeFile(dir.filePath("two"));
    NameList list;
    list.append("earlier");
    QVERIFY(platform::listFolder(dir.path(), list));
    QCOMPARE(list.size(), std::size_t(3));
    QCOMPARE(list.at(0), std::string_view("earlier"));
    QCOMPARE(namesOf(list, 1), (QSet<QByteArray>{"one", "two"}));
}

void FolderListingTest::emptyFolder() {
    QTemporaryDir dir;
    NameList list;
    QVERIFY(platform::listFolder(dir.path(), list));
    QVERIFY(list.empty());
}

void FolderListingTest::unopenablePathsLeaveListUntouched_data() {
    QTest::addColumn<QString>("relative");
    QTest::newRow("missing") << QStringLiteral("missing");
    QTest::newRow("missing parent") << QStringLiteral("missing/deeper");
    QTest::newRow("file") << QStringLiteral("file.txt");
    QTest::newRow("through a file") << QStringLiteral("file.txt/x");
    QTest::newRow("too long") << QString(5000, QLatin1Char('n'));
}

void FolderListingTest::unopenablePathsLeaveListUntouched() {
    QFETCH(QString, relative);
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath("file.txt"), "data");
    NameList list;
    list.append("kept");
    QVERIFY(!platform::listFolder(dir.filePath(relative), list));
    QCOMPARE(list.size(), std::size_t(1));
    QCOMPARE(list.at(0), std::string_view("kept"));
    QVERIFY(!platform::listFolder(QString(), list));
    QCOMPARE(list.size(), std::size_t(1));
}

void FolderListingTest::unreadableFolder() {
    QTemporaryDir dir;
    const QString locked = testsupport::makeFolder(dir.filePath("locked"));
    testsupport::makeFile(locked + "/secret");
    QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    NameList list;
    const bool listed = platform::listFolder(locked, list);
    ::chmod(QFile::encodeName(locked).constData(), 0700);
    if (::geteuid() == 0) {
        QSKIP("root reads any folder whatever its permissions");
    }
    QVERIFY(!listed);
    QVERIFY(list.empty());
}

void FolderListingTest::doubledSeparators() {
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath("sub/leaf"));
    NameList list;
    QVERIFY(platform::listFolder("/" + dir.path() + "//sub//", list));
    QCOMPARE(namesOf(list), QSet<QByteArray>{"leaf"});

    NameList root;
    QVERIFY(platform::listFolder(QStringLiteral("//"), root));
    NameList single;
    QVERIFY(platform::listFolder(QStringLiteral("/"), single));
    QCOMPARE(namesOf(root), namesOf(single));
}

void FolderListingTest::nonUtf8NameKeepsItsBytes() {
    QTemporaryDir dir;
    const QByteArray name("bad\xFF\xFE name\xC0\xAF.txt");
    QVERIFY(makeRawFile(QFile::encodeName(dir.path()) + '/' + name));

    NameList list;
    QVERIFY(platform::listFolder(dir.path(), list));
    QCOMPARE(list.size(), std::size_t(1));
    const std::string_view listed = list.at(0);
    QCOMPARE(QByteArray(listed.data(), qsizetype(listed.size())), name);

    // The decoded name, joined to its folder, reaches the very same entry again.
    const QString text = names::decodeName(listed);
    QCOMPARE(names::encodeName(text), name);
    struct stat status {};
    QCOMPARE(::lstat(names::encodeName(dir.path() + "/" + text).constData(), &status), 0);
    QVERIFY(S_ISREG(status.st_mode));

    // A folder with such a name can itself be listed by its decoded path.
    const QByteArray folderName("dir\x80");
    QCOMPARE(::mkdir((QFile::encodeName(dir.path()) + '/' + folderName).constData(), 0700), 0);
    QVERIFY(makeRawFile(QFile::encodeName(dir.path()) + '/' + folderName + "/inside"));
    NameList inner;
    QVERIFY(platform::listFolder(dir.path() + "/" + names::decodeName("dir\x80"), inner));
    QCOMPARE(namesOf(inner), QSet<QByteArray>{"inside"});
    testsupport::removeTreeRaw(QFile::encodeName(dir.path()));
}

void FolderListingTest::specialEntriesAreJustNames() {
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path());
    QCOMPARE(::symlink("loop", (base + "/loop").constData()), 0);
    QCOMPARE(::symlink("pong", (base + "/ping").constData()), 0);
    QCOMPARE(::symlink("ping", (base + "/pong").constData()), 0);
    QCOMPARE(::symlink("..", (base + "/up").constData()), 0);
    QCOMPARE(::symlink("nowhere", (base + "/dangling").constData()), 0);
    QCOMPARE(::mkfifo((base + "/pipe").constData(), 0600), 0);

    NameList list;
    QVERIFY(platform::listFolder(dir.path(), list));
    QCOMPARE(namesOf(list), (QSet<QByteArray>{"loop", "ping", "pong", "up", "dangling", "pipe"}));

    // A folder reached through a link to itself lists like the folder.
    NameList through;
    QCOMPARE(::symlink(".", (base + "/self").constData()), 0);
    QVERIFY(platform::listFolder(dir.path() + "/self/self/self", through));
    QCOMPARE(through.size(), std::size_t(7));
}

void FolderListingTest::largeFolderReportsProgress() {
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path()) + '/';
    constexpr int kCount = 10000;
    for (int i = 0; i < kCount; ++i) {
        QVERIFY(makeRawFile(base + QByteArray::number(i)));
    }
    int calls = 0;
    NameList list;
    QVERIFY(platform::listFolder(dir.path(), list, [&calls] { ++calls; }));
    QCOMPARE(list.size(), std::size_t(kCount));
    QCOMPARE(namesOf(list).size(), kCount);
    QVERIFY(calls >= 1);
    QVERIFY(calls <= kCount / 50);

    // Without a progress function the listing is the same.
    NameList quiet;
    QVERIFY(platform::listFolder(dir.path(), quiet));
    QCOMPARE(quiet.size(), std::size_t(kCount));
}

void FolderListingTest::trimSlackKeepsNamesAndBoundsMemory() {
    // Sizes just past a doubling of the buffers (the most slack), just before one (the
    // least) and in between.
    for (const std::size_t count :
         {std::size_t(1), std::size_t(5), std::size_t(513), std::size_t(1000), std::size_t(1024),
          std::size_t(1025), std::size_t(4097), std::size_t(30000)}) {
        NameList list;
        std::size_t held = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string name = "name-" + std::to_string(i * 7919);
            list.append(name);
            held += name.size() + sizeof(std::size_t);
        }
        list.trimSlack();
        QCOMPARE(list.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            QCOMPARE(list.at(i), std::string_view("name-" + std::to_string(i * 7919)));
        }
        // No buffer keeps more than a third of its contents as slack.
        QVERIFY2(list.memoryUsed() * 3 <= held * 4,
                 qPrintable(QStringLiteral("%1 names: %2 bytes for %3")
                                .arg(count)
                                .arg(list.memoryUsed())
                                .arg(held)));
        // Names appended afterwards follow the kept ones.
        list.append("after");
        QCOMPARE(list.at(count), std::string_view("after"));
        QCOMPARE(list.at(count - 1),
                 std::string_view("name-" + std::to_string((count - 1) * 7919)));

        // A copy keeps the names; a list emptied, refilled and trimmed keeps the new ones.
        const NameList copy = list;
        list.clear();
        list.append("again");
        list.trimSlack();
        QCOMPARE(list.size(), std::size_t(1));
        QCOMPARE(list.at(0), std::string_view("again"));
        QCOMPARE(copy.size(), count + 1);
        QCOMPARE(copy.at(count), std::string_view("after"));
        QCOMPARE(copy.at(0), std::string_view("name-0"));
    }
}

void FolderListingTest::driveRootsFromSource() {
    platform::setDriveRootSource(
        [] { return QStringList{"/media/usb", "/", "/mnt/data/", "", "/media/usb/", "/boot"}; });
    QCOMPARE(platform::driveRoots(), (QStringList{"/", "/media/usb/", "/mnt/data/", "/boot/"}));

    platform::setDriveRootSource([] { return QStringList{"/mnt/a", "/mnt/b"}; });
    QCOMPARE(platform::driveRoots(), (QStringList{"/mnt/a/", "/mnt/b/"}));
    platform::setDriveRootSource({});
}

void FolderListingTest::realDriveRoots() {
    platform::setDriveRootSource({});
    const QStringList roots = platform::driveRoots();
    QVERIFY(!roots.isEmpty());
    QCOMPARE(roots.first(), QStringLiteral("/"));
    for (const QString& root : roots) {
        QVERIFY2(root.endsWith('/'), qPrintable(root));
        QCOMPARE(roots.count(root), 1);
    }
}

QTEST_GUILESS_MAIN(FolderListingTest)
#include "tst_folder_listing.moc"
