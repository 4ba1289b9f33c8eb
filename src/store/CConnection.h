#pragma once

#include <QString>

#include <memory>

struct sqlite3;

// The program's one connection to the workspace database, an SQLite 3 file named by the
// "Data Source" of a connection string. Every failure is raised as ComError.
class CConnection {
public:
    CConnection() = default;
    ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    // How long a statement waits for another program's lock before it fails.
    void SetConnectionTimeout(int seconds);

    // Opens the "Data Source" file of `connectString` read-write, resolved against the
    // current folder, without creating it, and runs one cheap statement at once so that a
    // file that is no database fails here.
    void Open(const QString& connectString);

    [[nodiscard]] sqlite3* Handle() const { return db_; }

    // The handle for the next statement. When the file was replaced or removed since it
    // was opened, the file now under its name is opened first (raising ComError when
    // that fails), so that nothing is written into a file that is no longer there.
    sqlite3* CurrentHandle();
    [[nodiscard]] int TimeoutMilliseconds() const { return timeoutMs_; }

    // The "Data Source" value of a connection string, or an empty text.
    static QString DataSourceOf(const QString& connectString);

private:
    void OpenPath(const QString& path);

    sqlite3* db_ = nullptr;
    QString path_;
    int timeoutMs_ = 0;
};

using ConnectionPtr = std::shared_ptr<CConnection>;

// The connection behind a reference; an empty reference raises ComError(E_POINTER).
CConnection& Deref(const ConnectionPtr& connection);

// Raises the ComError that an SQLite result code (with the connection's state) stands for.
[[noreturn]] void ThrowSqliteError(sqlite3* db, int rc);
