#include "app/CDirquillApp.h"
#include "browser/CColumnList.h"
#include "res/Texts.h"
#include "store/CConnection.h"
#include "store/CWorkspaceStore.h"
#include "store/ComError.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

namespace {

// A raw sqlite connection of the test's own, standing in for another program.
class RawDb {
public:
    explicit RawDb(const QString& path, bool create = true) {
        const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, flags, nullptr);
    }
    ~RawDb() { sqlite3_close_v2(db_); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    [[nodiscard]] bool exec(const char* sql) {
        return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // Column `workspace` of every record in insertion order; NULL shows as "<NULL>".
    [[nodiscard]] QStringList texts() {
        QStringList out;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, "SELECT workspace FROM workspace ORDER BY rowid", -1, &st,
                               nullptr) != SQLITE_OK) {
            return {QStringLiteral("<error>")};
        }
        while (sqlite3_step(st) == SQLITE_ROW) {
            if (sqlite3_column_type(st, 0) == SQLITE_NULL) {
                out << QStringLiteral("<NULL>");
            } else {
                out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                                         sqlite3_column_bytes(st, 0));
            }
        }
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3* db_ = nullptr;
};

// Runs `action` and returns the code of the ComError it raised, or 0 when it raised none.
HRESULT errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ComError& error) {
        return error.Error();
    }
    return 0;
}

QStringList load(const CWorkspaceStore& store) {
    QStringList rows;
    store.LoadWorkDirs([&rows](const QString& row) { rows << row; });
    return rows;
}

// Opens config.mdb the way the program does: the fixed connection string, resolved
// against the current folder, which is `folder` only while opening.
ConnectionPtr openIn(const QString& folder, int timeoutSeconds = 1) {
    auto connection = std::make_shared<CConnection>();
    connection->SetConnectionTimeout(timeoutSeconds);
    testsupport::ScopedCurrentDir cwd(folder);
    connection->Open(QString::fromUtf8(texts::kConnectString));
    return connection;
}

// While alive, the process acts as an ordinary user, so that file modes apply even when
// the tests run as root. Gives the folder's tree to that user first.
class ScopedUnprivileged {
public:
    explicit ScopedUnprivileged(const QString& tree) {
        if (geteuid() != 0) {
            active_ = true;
            return;
        }
        const QByteArray root = QFile::encodeName(tree);
        if (chown(root.constData(), kNobody, kNobody) != 0) {
            return;
        }
        QDirIterator it(tree, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            if (chown(QFile::encodeName(it.next()).constData(), kNobody, kNobody) != 0) {
                return;
            }
        }
        if (seteuid(kNobody) == 0) {
            dropped_ = true;
            active_ = true;
        }
    }
    ~ScopedUnprivileged() {
        if (dropped_ && seteuid(0) != 0) {
            qFatal("cannot regain privileges");
        }
    }
    ScopedUnprivileged(const ScopedUnprivileged&) = delete;
    ScopedUnprivileged& operator=(const ScopedUnprivileged&) = delete;

    // False when running as root and the switch to an ordinary user failed.
    [[nodiscard]] bool active() const { return active_; }

private:
    static constexpr uid_t kNobody = 65534;
    bool active_ = false;
    bool dropped_ = false;
};

} // namespace

class TestWorkspaceStore : public QObject {
    Q_OBJECT

private slots:
    void dataSource_data();
    void dataSource();
    void openFailsForMissingFileOrFolder();
    void openFailsForFileThatIsNoDatabase();
    void emptyFileHasNoTable();
    void tableWithoutWorkspaceColumn();
    void valuesListedAsText();
    void textsRoundTripUnchanged();
    void quotesAreBoundNotPasted();
    void lockedDatabase();
    void failingWritesLeaveDatabaseUnchanged();
    void readOnlyFileAndFolder();
    void emptyReferenceAndClosedConnection();
    void fileReplacedAfterOpening();
    void fileSwappedOrRemovedWhileOpen();
    void createRefusesExistingFile();
    void sqliteCodes_data();
    void sqliteCodes();

private:
    // A fresh config.mdb in `dir`, made as dirquill-db makes one; returns its path.
    static QString createConfig(const QTemporaryDir& dir) {
        const QString path = dir.filePath(QStringLiteral("config.mdb"));
        CWorkspaceStore::CreateDatabase(path);
        return path;
    }
};

void TestWorkspaceStore::dataSource_data() {
    QTest::addColumn<QString>("connect");
    QTest::addColumn<QString>("source");
    QTest::newRow("program's string")
        << QString::fromUtf8(texts::kConnectString) << QStringLiteral("config.mdb");
    QTest::newRow("any case, spaces")
        << QStringLiteral(" provider = x ; DATA SOURCE =  a b.mdb ; ") << QStringLiteral("a b.mdb");
    QTest::newRow("no final ;") << QStringLiteral("Data Source=c.mdb") << QStringLiteral("c.mdb");
    QTest::newRow("quoted with ;")
        << QStringLiteral("Data Source=\"x;y.mdb\";Mode=1") << QStringLiteral("x;y.mdb");
    QTest::newRow("doubled quote")
        << QStringLiteral("Data Source='it''s.mdb';") << QStringLiteral("it's.mdb");
    QTest::newRow("last one wins")
        << QStringLiteral("Data Source=a;Data Source=b;") << QStringLiteral("b");
    QTest::newRow("similar key") << QStringLiteral("Data Sources=a;") << QString();
    QTest::newRow("part without =")
        << QStringLiteral("junk;Data Source=d.mdb;") << QStringLiteral("d.mdb");
    QTest::newRow("none") << QStringLiteral("Provider=x;") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestWorkspaceStore::dataSource() {
    QFETCH(QString, connect);
    QFETCH(QString, source);
    QCOMPARE(CConnection::DataSourceOf(connect), source);
}

void TestWorkspaceStore::openFailsForMissingFileOrFolder() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    QCOMPARE(errorOf([&] { openIn(dir.path()); }), hr::kFileNotFound);
    QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

    auto connection = std::make_shared<CConnection>();
    testsupport::ScopedCurrentDir cwd(dir.path());
    QCOMPARE(errorOf([&] { connection->Open(QStringLiteral("Data Source=gone/config.mdb;")); }),
             hr::kPathNotFound);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("gone"))));

    // No name must not fall back to a temporary database.
    QCOMPARE(errorOf([&] { connection->Open(QStringLiteral("Provider=x;")); }), hr::kFileNotFound);
    QCOMPARE(connection->Handle(), nullptr);
    QCOMPARE(errorOf([&] { connection->Open(QStringLiteral("Data Source=:memory:;")); }),
             hr::kFileNotFound);
    QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

void TestWorkspaceStore::openFailsForFileThatIsNoDatabase() {
    QTemporaryDir dir;
    const QByteArray content = "[workspace]\r\nD:\\work\r\nthis is not a database at all\r\n";
    const QString path = testsupport::makeFile(dir.filePath(QStringLiteral("config.mdb")), content);

    QCOMPARE(errorOf([&] { openIn(dir.path()); }), hr::kUnspecified);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void TestWorkspaceStore::emptyFileHasNoTable() {
    QTemporaryDir dir;
    testsupport::makeFile(dir.filePath(QStringLiteral("config.mdb")));

    const CWorkspaceStore store(openIn(dir.path()));
    try {
        load(store);
        QFAIL("a database without the table was read");
    } catch (const ComError& error) {
        QCOMPARE(error.Error(), hr::kNoSuchTable);
        QCOMPARE(error.ErrorMessage(), QStringLiteral("IDispatch error #3127"));
    }
    QCOMPARE(errorOf([&] { store.AddWorkDir(QStringLiteral("/a")); }), hr::kNoSuchTable);
    QCOMPARE(errorOf([&] { store.DeleteWorkDir(QStringLiteral("/a")); }), hr::kNoSuchTable);

    // Another table does not stand in for it.
    RawDb raw(dir.filePath(QStringLiteral("config.mdb")));
    QVERIFY(raw.exec("CREATE TABLE workspaces (workspace TEXT)"));
    QCOMPARE(errorOf([&] { load(store); }), hr::kNoSuchTable);
}

void TestWorkspaceStore::tableWithoutWorkspaceColumn() {
    QTemporaryDir dir;
    RawDb raw(dir.filePath(QStringLiteral("config.mdb")));
    QVERIFY(raw.exec("CREATE TABLE workspace (id INTEGER PRIMARY KEY, path TEXT)"));
    const CWorkspaceStore store(openIn(dir.path()));

    // Without records the column is never read: the window's column 0 shows its fixed
    // rows and no message.
    {
        testsupport::TestWorkspace workspace;
        theApp.m_pConnection = openIn(dir.path());
        QString message;
        testsupport::closeNextMessageBox(&message);
        CDirquillDlg dlg;
        dlg.Create();
        testsupport::cancelPendingAnswers();
        QCOMPARE(message, QString());
        QCOMPARE(testsupport::rowTexts(dlg.Column(0)),
                 QStringList({testsupport::u(texts::kDriveHeadingRow), workspace.driveRow(),
                              QString(), testsupport::u(texts::kWorkDirHeadingRow)}));
    }

    // With a record, every statement fails on the missing column.
    QVERIFY(raw.exec("INSERT INTO workspace(path) VALUES('/a')"));
    QCOMPARE(errorOf([&] { load(store); }), hr::kInvalidStatement);
    QCOMPARE(errorOf([&] { store.AddWorkDir(QStringLiteral("/b")); }), hr::kInvalidStatement);
    QCOMPARE(errorOf([&] { store.DeleteWorkDir(QStringLiteral("/a")); }), hr::kInvalidStatement);
}

void TestWorkspaceStore::valuesListedAsText() {
    QTemporaryDir dir;
    RawDb raw(dir.filePath(QStringLiteral("config.mdb")));
    // Further columns on both sides, the column's name in another case, no type.
    QVERIFY(raw.exec("CREATE TABLE workspace (k INTEGER PRIMARY KEY, note, WorkSpace, n INT);"
                     "INSERT INTO workspace(note, workspace, n) VALUES('x', NULL, 1);"
                     "INSERT INTO workspace(note, workspace, n) VALUES('x', 42, 2);"
                     "INSERT INTO workspace(note, workspace, n) VALUES('x', 1.5, 3);"
                     "INSERT INTO workspace(note, workspace, n) VALUES('x', '', 4);"
                     "INSERT INTO workspace(note, workspace, n) VALUES(NULL, '/home/a', 5);"
                     "INSERT INTO workspace(note, workspace, n) VALUES(7, x'2F62', 6);"));

    const CWorkspaceStore store(openIn(dir.path()));
    QCOMPARE(load(store),
             (QStringList{QString(), QStringLiteral("42"), QStringLiteral("1.5"), QString(),
                          QStringLiteral("/home/a"), QStringLiteral("/b")}));
}

void TestWorkspaceStore::textsRoundTripUnchanged() {
    QTemporaryDir dir;
    const QString path = createConfig(dir);
    const CWorkspaceStore store(openIn(dir.path()));
    QVERIFY(load(store).isEmpty());

    const QStringList added = {
        QStringLiteral("/home/用户/文档"), QStringLiteral("  /padded/  "), QStringLiteral("/dup"),
        QStringLiteral("C:\\Windows"),     QStringLiteral("/dup"),         QString(),
        QStringLiteral("tab\there"),       QStringLiteral("😀 emoji")};
    for (const QString& text : added) {
        store.AddWorkDir(text);
    }
    QCOMPARE(load(store), added);
    // Stored as text exactly: an empty text is '' and not NULL.
    RawDb raw(path);
    QCOMPARE(raw.texts(), added);

    // Duplicates go together; a text that only resembles a stored one stays.
    store.DeleteWorkDir(QStringLiteral("/dup"));
    store.DeleteWorkDir(QStringLiteral("/padded/"));
    store.DeleteWorkDir(QStringLiteral("/HOME/用户/文档"));
    store.DeleteWorkDir(QString());
    QCOMPARE(load(store),
             (QStringList{QStringLiteral("/home/用户/文档"), QStringLiteral("  /padded/  "),
                          QStringLiteral("C:\\Windows"), QStringLiteral("tab\there"),
                          QStringLiteral("😀 emoji")}));
    store.DeleteWorkDir(QStringLiteral("  /padded/  "));
    store.DeleteWorkDir(QStringLiteral("/home/用户/文档"));
    QCOMPARE(raw.texts(), (QStringList{QStringLiteral("C:\\Windows"), QStringLiteral("tab\there"),
                                       QStringLiteral("😀 emoji")}));
}

void TestWorkspaceStore::quotesAreBoundNotPasted() {
    QTemporaryDir dir;
    const QString path = createConfig(dir);
    const CWorkspaceStore store(openIn(dir.path()));

    const QString apostrophe = QStringLiteral("D:\\it's");
    const QString injection = QStringLiteral("x' OR '1'='1");
    const QString dquote = QStringLiteral("say \"hi\"; --");
    for (const QString& text : {QStringLiteral("/keep"), apostrophe, injection, dquote,
                                QStringLiteral("x"), QStringLiteral("1")}) {
        store.AddWorkDir(text);
    }
    QCOMPARE(load(store).count(apostrophe), 1);

    store.DeleteWorkDir(apostrophe);
    QCOMPARE(load(store), (QStringList{QStringLiteral("/keep"), injection, dquote,
                                       QStringLiteral("x"), QStringLiteral("1")}));
    store.DeleteWorkDir(injection);
    QCOMPARE(load(store), (QStringList{QStringLiteral("/keep"), dquote, QStringLiteral("x"),
                                       QStringLiteral("1")}));
    store.DeleteWorkDir(dquote);
    RawDb raw(path);
    QCOMPARE(raw.texts(),
             (QStringList{QStringLiteral("/keep"), QStringLiteral("x"), QStringLiteral("1")}));
}

void TestWorkspaceStore::lockedDatabase() {
    QTemporaryDir dir;
    const QString path = createConfig(dir);
    RawDb other(path);
    QVERIFY(other.exec("INSERT INTO workspace(workspace) VALUES('/before')"));

    // Held while opening: the probe waits its second, then gives up.
    QVERIFY(other.exec("BEGIN EXCLUSIVE"));
    QCOMPARE(errorOf([&] { openIn(dir.path(), 1); }), hr::kSharingViolation);
    QVERIFY(other.exec("COMMIT"));

    // Taken after opening: every statement fails the same way.
    const CWorkspaceStore store(openIn(dir.path(), 1));
    QVERIFY(other.exec("BEGIN EXCLUSIVE"));
    QCOMPARE(errorOf([&] { store.AddWorkDir(QStringLiteral("/while locked")); }),
             hr::kSharingViolation);
    QCOMPARE(errorOf([&] { store.DeleteWorkDir(QStringLiteral("/before")); }),
             hr::kSharingViolation);
    QCOMPARE(errorOf([&] { load(store); }), hr::kSharingViolation);
    QVERIFY(other.exec("COMMIT"));

    QCOMPARE(load(store), QStringList{QStringLiteral("/before")});
    store.AddWorkDir(QStringLiteral("/after"));
    QCOMPARE(other.texts(), (QStringList{QStringLiteral("/before"), QStringLiteral("/after")}));
}

void TestWorkspaceStore::failingWritesLeaveDatabaseUnchanged() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.mdb"));
    RawDb raw(path);
    QVERIFY(raw.exec("CREATE TABLE workspace (id INTEGER PRIMARY KEY, "
                     "workspace TEXT CHECK (workspace <> '/forbidden'));"
                     "CREATE TRIGGER keep AFTER DELETE ON workspace WHEN old.id = 2 "
                     "BEGIN SELECT RAISE(ABORT, 'kept'); END;"
                     "INSERT INTO workspace(workspace) VALUES('/a'), ('/a'), ('/b');"));
    const QStringList before = raw.texts();

    auto connection = openIn(dir.path());
    const CWorkspaceStore store(connection);
    QCOMPARE(errorOf([&] { store.AddWorkDir(QStringLiteral("/forbidden")); }),
             hr::kIntegrityViolation);
    QCOMPARE(raw.texts(), before);

    // The trigger aborts after the first of the two records is gone: the whole statement
    // is undone, not just its rest.
    QCOMPARE(errorOf([&] { store.DeleteWorkDir(QStringLiteral("/a")); }), hr::kIntegrityViolation);
    QCOMPARE(raw.texts(), before);

    // A full disk: the page limit stops the insert, and nothing of it remains.
    QVERIFY(sqlite3_exec(connection->Handle(), "PRAGMA max_page_count = 2", nullptr, nullptr,
                         nullptr) == SQLITE_OK);
    const QString big(20000, QLatin1Char('z'));
    QCOMPARE(errorOf([&] { store.AddWorkDir(big); }), hr::kDiskFull);
    QCOMPARE(raw.texts(), before);

    // A connection that may only read refuses writes as access denied.
    QVERIFY(sqlite3_exec(connection->Handle(), "PRAGMA query_only = 1", nullptr, nullptr,
                         nullptr) == SQLITE_OK);
    QCOMPARE(errorOf([&] { store.AddWorkDir(QStringLiteral("/b")); }), hr::kAccessDenied);
    QCOMPARE(errorOf([&] { store.DeleteWorkDir(QStringLiteral("/b")); }), hr::kAccessDenied);
    QCOMPARE(load(store).size(), before.size());
    QCOMPARE(raw.texts(), before);
}

void TestWorkspaceStore::readOnlyFileAndFolder() {
    QTemporaryDir dir;
    const QString path = createConfig(dir);
    {
        RawDb raw(path);
        QVERIFY(raw.exec("INSERT INTO workspace(workspace) VALUES('/a')"));
    }
    const QString folder = dir.filePath(QStringLiteral("ro"));
    const QString inFolder = folder + QStringLiteral("/config.mdb");
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(QFile::copy(path, inFolder));
    const QString locked = dir.filePath(QStringLiteral("closed"));
    QVERIFY(QDir().mkdir(locked));
    QVERIFY(QFile::copy(path, locked + QStringLiteral("/config.mdb")));

    // Modes are given back before the folder is removed, whatever happens in between.
    const auto restoreModes = qScopeGuard([&] {
        for (const QString& entry : {folder, locked}) {
            ::chmod(QFile::encodeName(entry).constData(), 0755);
        }
    });
    ScopedUnprivileged user(dir.path());
    if (!user.active()) {
        QSKIP("running as root and cannot act as an ordinary user; modes would not apply");
    }

    // A read-only file opens and reads; writing it is denied and changes nothing.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    {
        const CWorkspaceStore store(openIn(dir.path()));
        QCOMPARE(load(store), QStringList{QStringLiteral("/a")});
        QCOMPARE(errorOf([&] { store.AddWorkDir(QStringLiteral("/b")); }), hr::kAccessDenied);
        QCOMPARE(errorOf([&] { store.DeleteWorkDir(QStringLiteral("/a")); }), hr::kAccessDenied);
        QCOMPARE(load(store), QStringList{QStringLiteral("/a")});
    }

    // A writable file in a read-only folder: the journal cannot be created.
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    {
        const CWorkspaceStore store(openIn(folder));
        QCOMPARE(load(store), QStringList{QStringLiteral("/a")});
        QCOMPARE(errorOf([&] { store.AddWorkDir(QStringLiteral("/b")); }), hr::kAccessDenied);
        QCOMPARE(load(store), QStringList{QStringLiteral("/a")});
    }

    // A file that may not even be read, and one in a folder that may not be entered.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0000) == 0);
    QCOMPARE(errorOf([&] { openIn(dir.path()); }), hr::kAccessDenied);
    QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0000) == 0);
    auto connection = std::make_shared<CConnection>();
    QCOMPARE(errorOf([&] {
                 connection->Open(QStringLiteral("Data Source=%1/config.mdb;").arg(locked));
             }),
             hr::kAccessDenied);
}

void TestWorkspaceStore::emptyReferenceAndClosedConnection() {
    const CWorkspaceStore empty{ConnectionPtr()};
    QCOMPARE(errorOf([&] { load(empty); }), hr::kPointer);
    QCOMPARE(errorOf([&] { empty.AddWorkDir(QStringLiteral("/a")); }), hr::kPointer);
    QCOMPARE(errorOf([&] { empty.DeleteWorkDir(QStringLiteral("/a")); }), hr::kPointer);
    QCOMPARE(errorOf([&] { Deref(ConnectionPtr()); }), hr::kPointer);
    try {
        empty.AddWorkDir(QStringLiteral("/a"));
    } catch (const ComError& error) {
        QCOMPARE(error.ErrorMessage(), QStringLiteral("无效指针"));
    }

    // A connection that was never opened fails without touching any file.
    const CWorkspaceStore closed(std::make_shared<CConnection>());
    QCOMPARE(errorOf([&] { load(closed); }), hr::kUnspecified);
    QCOMPARE(errorOf([&] { closed.AddWorkDir(QStringLiteral("/a")); }), hr::kUnspecified);
}

void TestWorkspaceStore::fileReplacedAfterOpening() {
    QTemporaryDir dir;
    const QString path = createConfig(dir);
    const CWorkspaceStore store(openIn(dir.path()));
    store.AddWorkDir(QStringLiteral("/a"));

    // Overwritten in place by something that is no database.
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray(8192, 'x'));
    file.close();
    QCOMPARE(errorOf([&] { load(store); }), hr::kUnspecified);
    QCOMPARE(errorOf([&] { store.AddWorkDir(QStringLiteral("/b")); }), hr::kUnspecified);
}

void TestWorkspaceStore::fileSwappedOrRemovedWhileOpen() {
    QTemporaryDir dir;
    const QString path = createConfig(dir);
    const CWorkspaceStore store(openIn(dir.path()));
    store.AddWorkDir(QStringLiteral("/old"));

    // Another program writes a new database beside it and renames it over the old one:
    // the next statement works on the file now under the name.
    const QString other = dir.filePath(QStringLiteral("other.mdb"));
    CWorkspaceStore::CreateDatabase(other);
    {
        RawDb raw(other);
        QVERIFY(raw.exec("INSERT INTO workspace(workspace) VALUES('/new')"));
    }
    QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) ==
            0);
    store.AddWorkDir(QStringLiteral("/added"));
    QCOMPARE(RawDb(path).texts(), QStringList({"/new", "/added"}));

    // Removed: a write fails as for a missing file instead of vanishing with the old one.
    QVERIFY(QFile::remove(path));
    QCOMPARE(errorOf([&] { store.AddWorkDir(QStringLiteral("/lost")); }), hr::kFileNotFound);
    QVERIFY(!QFileInfo::exists(path));
}

void TestWorkspaceStore::createRefusesExistingFile() {
    QTemporaryDir dir;
    const QString path = createConfig(dir);
    {
        RawDb raw(path);
        QVERIFY(raw.exec("INSERT INTO workspace(workspace) VALUES('/a')"));
    }
    QCOMPARE(errorOf([&] { CWorkspaceStore::CreateDatabase(path); }), hr::kFileExists);
    RawDb raw(path);
    QCOMPARE(raw.texts(), QStringList{QStringLiteral("/a")});

    const QString text = testsupport::makeFile(dir.filePath(QStringLiteral("notes.txt")), "keep");
    QCOMPARE(errorOf([&] { CWorkspaceStore::CreateDatabase(text); }), hr::kFileExists);
    QFile file(text);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep"));

    const QString nowhere = dir.filePath(QStringLiteral("missing/config.mdb"));
    QCOMPARE(errorOf([&] { CWorkspaceStore::CreateDatabase(nowhere); }), hr::kPathNotFound);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
}

void TestWorkspaceStore::sqliteCodes_data() {
    QTest::addColumn<int>("rc");
    QTest::addColumn<HRESULT>("code");
    QTest::newRow("busy") << SQLITE_BUSY << hr::kSharingViolation;
    QTest::newRow("busy snapshot") << SQLITE_BUSY_SNAPSHOT << hr::kSharingViolation;
    QTest::newRow("locked shared cache") << SQLITE_LOCKED_SHAREDCACHE << hr::kSharingViolation;
    QTest::newRow("readonly directory") << SQLITE_READONLY_DIRECTORY << hr::kAccessDenied;
    QTest::newRow("perm") << SQLITE_PERM << hr::kAccessDenied;
    QTest::newRow("auth") << SQLITE_AUTH << hr::kAccessDenied;
    QTest::newRow("cantopen") << SQLITE_CANTOPEN << hr::kAccessDenied;
    QTest::newRow("corrupt") << SQLITE_CORRUPT << hr::kUnspecified;
    QTest::newRow("full") << SQLITE_FULL << hr::kDiskFull;
    QTest::newRow("nomem") << SQLITE_NOMEM << hr::kOutOfMemory;
    QTest::newRow("constraint unique") << SQLITE_CONSTRAINT_UNIQUE << hr::kIntegrityViolation;
    QTest::newRow("ioerr write") << SQLITE_IOERR_WRITE << hr::kUnspecified;
    QTest::newRow("misuse") << SQLITE_MISUSE << hr::kUnspecified;
    QTest::newRow("error without message") << SQLITE_ERROR << hr::kInvalidStatement;
}

void TestWorkspaceStore::sqliteCodes() {
    // Codes no test database can be made to produce on demand.
    QFETCH(int, rc);
    QFETCH(HRESULT, code);
    QCOMPARE(errorOf([&] { ThrowSqliteError(nullptr, rc); }), code);
}

QTEST_MAIN(TestWorkspaceStore)
#include "tst_workspace_store.moc"
