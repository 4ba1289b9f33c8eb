#include "store/CWorkspaceStore.h"

#include "store/ComError.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <memory>

namespace {

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

constexpr char kColumn[] = "workspace";

// The handle of an open connection; an empty reference raises E_POINTER.
sqlite3* handleOf(const ConnectionPtr& connection) {
    sqlite3* db = Deref(connection).CurrentHandle();
    if (db == nullptr) {
        ThrowSqliteError(nullptr, SQLITE_MISUSE);
    }
    return db;
}

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Statement statement(raw);
    if (rc != SQLITE_OK) {
        ThrowSqliteError(db, rc);
    }
    return statement;
}

// Binds `text` as UTF-8 to parameter 1. An empty text is bound as '' (never as NULL), so
// it matches and stores exactly what it says.
void bindText(sqlite3* db, sqlite3_stmt* statement, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const char* data = bytes.isNull() ? "" : bytes.constData();
    const int rc =
        sqlite3_bind_text(statement, 1, data, static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) {
        ThrowSqliteError(db, rc);
    }
}

// Runs a statement that returns no rows. sqlite's autocommit makes it one transaction,
// so when it fails the database is as it was.
void runToEnd(sqlite3* db, sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        ThrowSqliteError(db, rc);
    }
}

} // namespace

void CWorkspaceStore::LoadWorkDirs(const std::function<void(const QString&)>& appendRow) const {
    sqlite3* db = handleOf(connection_);
    Statement statement = prepare(db, "SELECT * FROM workspace");

    // The table may hold further columns in any order; only `workspace` is read.
    int column = -1;
    const int count = sqlite3_column_count(statement.get());
    for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(statement.get(), i);
        if (name != nullptr && sqlite3_stricmp(name, kColumn) == 0) {
            column = i;
            break;
        }
    }

    for (;;) {
        const int rc = sqlite3_step(statement.get());
        if (rc == SQLITE_DONE) {
            return;
        }
        if (rc != SQLITE_ROW) {
            ThrowSqliteError(db, rc);
        }
        // The field is looked up once per record, so a table without the column fails
        // at its first record; an empty one lists nothing.
        if (column < 0) {
            throw ComError(hr::kInvalidStatement);
        }
        QString value;
        if (sqlite3_column_type(statement.get(), column) != SQLITE_NULL) {
            // Numbers come back in their text form; text comes back as stored.
            const auto* text =
                reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), column));
            if (text == nullptr) {
                // Only a failed conversion gives no text for a value that is not NULL.
                ThrowSqliteError(db, SQLITE_NOMEM);
            }
            value = QString::fromUtf8(text, sqlite3_column_bytes(statement.get(), column));
        }
        appendRow(value);
    }
}

void CWorkspaceStore::AddWorkDir(const QString& dir) const {
    sqlite3* db = handleOf(connection_);
    Statement statement = prepare(db, "INSERT INTO workspace(workspace) VALUES(?1)");
    bindText(db, statement.get(), dir);
    runToEnd(db, statement.get());
}

void CWorkspaceStore::DeleteWorkDir(const QString& dir) const {
    sqlite3* db = handleOf(connection_);
    Statement statement = prepare(db, "DELETE FROM workspace WHERE workspace = ?1");
    bindText(db, statement.get(), dir);
    runToEnd(db, statement.get());
}

void CWorkspaceStore::CreateDatabase(const QString& fileName) {
    // Claim the name first: NewOnly fails when anything already has it, so an existing
    // file is never opened, let alone rewritten.
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        const QFileInfo info(fileName);
        if (info.exists() || info.isSymLink()) {
            throw ComError(hr::kFileExists);
        }
        if (!QFileInfo(info.absolutePath()).isDir()) {
            throw ComError(hr::kPathNotFound);
        }
        throw ComError(hr::kAccessDenied);
    }
    file.close();

    // A 0-byte file is an empty database to sqlite; give it its table.
    const QByteArray encoded = QFile::encodeName(QFileInfo(fileName).absoluteFilePath());
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(encoded.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close_v2);
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db.get(),
                          "CREATE TABLE workspace (id INTEGER PRIMARY KEY, workspace TEXT)",
                          nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        try {
            ThrowSqliteError(db.get(), rc);
        } catch (...) {
            db.reset();
            QFile::remove(fileName);
            throw;
        }
    }
}
