#include "app/base/Sqlite.h"

#include <sqlite3.h>

#include "common/Log.h"

namespace quillet {

namespace {

// Prepares the whole text; the statement is finalised when this goes out of scope, so no
// statement outlives the call that prepared it, on any path.
class PreparedStatement {
public:
    PreparedStatement(sqlite3* database, const QString& sql) {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(database, text.constData(), -1, &_statement, nullptr) != SQLITE_OK) {
            sqlite3_finalize(_statement);
            _statement = nullptr;
        }
    }
    ~PreparedStatement() { sqlite3_finalize(_statement); }
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    sqlite3_stmt* get() const { return _statement; }

private:
    sqlite3_stmt* _statement = nullptr;
};

}  // namespace

std::optional<sqlite3*> OpenSqliteDatabase(const QString& path) {
    sqlite3* database = nullptr;
    const int result =
        sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE, nullptr);
    if (result != SQLITE_OK) {
        sqlite3_close(database);  // a failed open can still return a handle
        return std::nullopt;
    }
    return database;
}

void CloseSqliteDatabase(sqlite3* database) {
    sqlite3_close(database);
}

FileFailureCause SqliteFailureCause(sqlite3* database) {
    switch (sqlite3_errcode(database)) {
        case SQLITE_FULL:
            return FileFailureCause::noSpace;
        // A database on a read-only disk is opened for reading only, and a journal that cannot
        // be made leaves no error number SQLite keeps: the disk itself says.
        case SQLITE_READONLY:
        case SQLITE_CANTOPEN: {
            const char* path = sqlite3_db_filename(database, "main");
            return path && IsOnReadOnlyDisk(QString::fromUtf8(path))
                       ? FileFailureCause::readOnlyDisk
                       : FileFailureCause::other;
        }
        default:
            return FileFailureCauseOf(sqlite3_system_errno(database));
    }
}

bool ExecuteSqliteSelectStatement(sqlite3* database, const QString& sql,
                                  const SqliteRowCallback& rowCallback) {
    PreparedStatement statement(database, sql);
    if (!statement.get()) {
        LogError("ExecuteSqliteSelectStatement(_:sql:_:)(): Could not prepare statement: " + sql);
        return false;
    }
    int result;
    while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
        bool stop = false;
        rowCallback(statement.get(), &stop);
        if (stop)
            return true;
    }
    if (result != SQLITE_DONE) {
        LogError("ExecuteSqliteSelectStatement(_:sql:_:)(): Could not step statement: " + sql);
        return false;
    }
    return true;
}

bool ExecuteSqliteStatement(sqlite3* database, const QString& sql,
                            const SqliteBindCallback& bindCallback) {
    PreparedStatement statement(database, sql);
    if (!statement.get()) {
        LogError("ExecuteSqliteStatement(_:sql:callbackQ:)(): Could not prepare statement: " + sql);
        return false;
    }
    if (bindCallback && !bindCallback(statement.get()))
        return false;
    if (sqlite3_step(statement.get()) != SQLITE_DONE) {
        LogError("ExecuteSqliteStatement(_:sql:callbackQ:)(): Could not step statement: " + sql);
        return false;
    }
    return true;
}

QString GetSqliteColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = sqlite3_column_text(statement, column);
    if (!text)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(text),
                             sqlite3_column_bytes(statement, column));
}

bool BindSqliteDouble(sqlite3_stmt* statement, int parameter, double value) {
    return sqlite3_bind_double(statement, parameter + 1, value) == SQLITE_OK;
}

bool BindSqliteText(sqlite3_stmt* statement, int parameter, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    // SQLITE_TRANSIENT: SQLite keeps its own copy until the statement is stepped.
    return sqlite3_bind_text(statement, parameter + 1, bytes.constData(), -1, SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

}  // namespace quillet
