#include "store/CConnection.h"

#include "store/ComError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <climits>
#include <cstring>
#include <memory>

namespace {

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Reads one value of a connection string starting at `pos`, which is just past the '='.
// A value may be quoted with ' or "; inside, the quote character doubled stands for
// itself, and ';' loses its meaning. Leaves `pos` on the ';' (or the end) that ends it.
QString readValue(const QString& text, qsizetype& pos) {
    while (pos < text.size() && text.at(pos).isSpace()) {
        ++pos;
    }
    if (pos < text.size() &&
        (text.at(pos) == QLatin1Char('"') || text.at(pos) == QLatin1Char('\''))) {
        const QChar quote = text.at(pos++);
        QString value;
        while (pos < text.size()) {
            const QChar c = text.at(pos++);
            if (c == quote) {
                if (pos < text.size() && text.at(pos) == quote) {
                    value += quote;
                    ++pos;
                    continue;
                }
                break;
            }
            value += c;
        }
        while (pos < text.size() && text.at(pos) != QLatin1Char(';')) {
            ++pos;
        }
        return value;
    }
    const qsizetype end = text.indexOf(QLatin1Char(';'), pos);
    const qsizetype stop = end < 0 ? text.size() : end;
    QString value = text.mid(pos, stop - pos).trimmed();
    pos = stop;
    return value;
}

// The result code for a file sqlite could not open: what is missing, or else a refusal.
HRESULT openFailureFor(const QString& path) {
    const QFileInfo file(path);
    if (file.exists() || file.isSymLink()) {
        return hr::kAccessDenied;
    }
    if (!QFileInfo(file.absolutePath()).isDir()) {
        return hr::kPathNotFound;
    }
    return hr::kFileNotFound;
}

void applyTimeout(sqlite3* db, int milliseconds) {
    // A zero or negative time removes the busy handler: a lock then fails at once.
    sqlite3_busy_timeout(db, milliseconds);
}

} // namespace

CConnection::~CConnection() {
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
    }
}

void CConnection::SetConnectionTimeout(int seconds) {
    if (seconds <= 0) {
        timeoutMs_ = 0;
    } else if (seconds > INT_MAX / 1000) {
        timeoutMs_ = INT_MAX;
    } else {
        timeoutMs_ = seconds * 1000;
    }
    if (db_ != nullptr) {
        applyTimeout(db_, timeoutMs_);
    }
}

void CConnection::Open(const QString& connectString) {
    const QString source = DataSourceOf(connectString);
    if (source.isEmpty()) {
        // sqlite would open a private temporary database for an empty name; the program
        // wants its file or nothing.
        throw ComError(hr::kFileNotFound);
    }
    // An absolute path fixes the file at the moment of opening and keeps names such as
    // ":memory:" from meaning anything special to sqlite. Joined by hand: Qt's own path
    // helpers take a leading ':' for a resource path and leave such a name as it is.
    const QString path = source.startsWith(QLatin1Char('/'))
                             ? source
                             : QDir::currentPath() + QLatin1Char('/') + source;
    OpenPath(path);
}

sqlite3* CConnection::CurrentHandle() {
    // Another program may have replaced or removed the file since it was opened; writing
    // on would then go into a file nobody can find again.
    int moved = 0;
    if (db_ != nullptr &&
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
        moved != 0) {
        OpenPath(path_);
    }
    return db_;
}

void CConnection::OpenPath(const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(encoded.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    // sqlite hands out a handle even when opening fails; it must be closed either way.
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close_v2);
    if (rc != SQLITE_OK) {
        if ((rc & 0xFF) == SQLITE_CANTOPEN) {
            throw ComError(openFailureFor(path));
        }
        ThrowSqliteError(db.get(), rc);
    }
    applyTimeout(db.get(), timeoutMs_);

    // Opening only looks at the name. Reading the schema makes sqlite check the header,
    // so a file that is no database, or one another program holds locked, fails here.
    sqlite3_stmt* rawStatement = nullptr;
    int step = sqlite3_prepare_v2(db.get(), "SELECT count(*) FROM sqlite_master", -1, &rawStatement,
                                  nullptr);
    Statement probe(rawStatement);
    if (step == SQLITE_OK) {
        step = sqlite3_step(probe.get());
    }
    if (step != SQLITE_ROW && step != SQLITE_DONE) {
        ThrowSqliteError(db.get(), step);
    }
    probe.reset();

    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
    }
    db_ = db.release();
    path_ = path;
}

QString CConnection::DataSourceOf(const QString& connectString) {
    QString result;
    qsizetype pos = 0;
    while (pos < connectString.size()) {
        const qsizetype equals = connectString.indexOf(QLatin1Char('='), pos);
        const qsizetype semicolon = connectString.indexOf(QLatin1Char(';'), pos);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // A part without '=' carries no value; skip it.
            if (semicolon < 0) {
                break;
            }
            pos = semicolon + 1;
            continue;
        }
        const QString key = connectString.mid(pos, equals - pos).trimmed();
        pos = equals + 1;
        const QString value = readValue(connectString, pos);
        if (key.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0) {
            // As with other connection strings, a repeated key takes its last value.
            result = value;
        }
        if (pos < connectString.size()) {
            ++pos; // the ';'
        }
    }
    return result;
}

CConnection& Deref(const ConnectionPtr& connection) {
    if (!connection) {
        throw ComError(hr::kPointer);
    }
    return *connection;
}

void ThrowSqliteError(sqlite3* db, int rc) {
    int code = rc;
    if (db != nullptr) {
        // The connection knows the extended code of its last failure; use it when it
        // belongs to the same family as the code we were handed.
        const int extended = sqlite3_extended_errcode(db);
        if ((extended & 0xFF) == (rc & 0xFF)) {
            code = extended;
        }
    }
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw ComError(hr::kSharingViolation);
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
        throw ComError(hr::kAccessDenied);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        throw ComError(hr::kUnspecified);
    case SQLITE_FULL:
        throw ComError(hr::kDiskFull);
    case SQLITE_NOMEM:
        throw ComError(hr::kOutOfMemory);
    case SQLITE_CONSTRAINT:
        throw ComError(hr::kIntegrityViolation);
    case SQLITE_ERROR: {
        const char* message = db != nullptr ? sqlite3_errmsg(db) : nullptr;
        static constexpr char kNoSuchTable[] = "no such table";
        if (message != nullptr &&
            std::strncmp(message, kNoSuchTable, sizeof(kNoSuchTable) - 1) == 0) {
            throw ComError(hr::kNoSuchTable);
        }
        throw ComError(hr::kInvalidStatement);
    }
    default:
        throw ComError(hr::kUnspecified);
    }
}
