#include "app/store/StoreSql.h"

#include <sqlite3.h>

#include <QUuid>

namespace quillet {

StoreStatement::StoreStatement(sqlite3* database, const char* sql) : _database(database) {
    if (sqlite3_prepare_v2(database, sql, -1, &_statement, nullptr) != SQLITE_OK) {
        _error = StoreErrorText(database);
        sqlite3_finalize(_statement);
        _statement = nullptr;
    }
}

StoreStatement::~StoreStatement() {
    sqlite3_finalize(_statement);
}

void StoreStatement::bind(int parameter, std::int64_t value) {
    if (_statement)
        sqlite3_bind_int64(_statement, parameter, value);
}

void StoreStatement::bind(int parameter, const QString& text) {
    if (!_statement)
        return;
    const QByteArray bytes = text.toUtf8();
    sqlite3_bind_text(_statement, parameter, bytes.constData(), static_cast<int>(bytes.size()),
                      SQLITE_TRANSIENT);
}

bool StoreStatement::step() {
    if (!_statement)
        return false;
    const int result = sqlite3_step(_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result != SQLITE_DONE)
        _error = StoreErrorText(_database);
    return false;
}

bool StoreStatement::run() {
    if (!_statement)
        return false;
    const int result = sqlite3_step(_statement);
    const bool done = result == SQLITE_DONE || result == SQLITE_ROW;
    if (!done)
        _error = StoreErrorText(_database);
    reset();
    return done;
}

void StoreStatement::reset() {
    if (!_statement)
        return;
    sqlite3_reset(_statement);
    sqlite3_clear_bindings(_statement);
}

std::int64_t StoreStatement::integer(int column) const {
    return sqlite3_column_int64(_statement, column);
}

QString StoreStatement::text(int column) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(_statement, column));
    if (!bytes)
        return {};
    return QString::fromUtf8(bytes, sqlite3_column_bytes(_statement, column));
}

QString StoreStatement::sharedText(int column,
                                   std::initializer_list<const QString*> sharers) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(_statement, column));
    if (!bytes)
        return {};
    const QUtf8StringView view(bytes, sqlite3_column_bytes(_statement, column));
    for (const QString* sharer : sharers) {
        if (QAnyStringView::equal(view, *sharer))
            return *sharer;
    }
    return QString::fromUtf8(view);
}

QString StoreStatement::uuidText(int column) const {
    if (sqlite3_column_type(_statement, column) == SQLITE_BLOB &&
        sqlite3_column_bytes(_statement, column) == 16) {
        const QByteArray raw(static_cast<const char*>(sqlite3_column_blob(_statement, column)), 16);
        return QUuid::fromRfc4122(raw).toString(QUuid::WithoutBraces);
    }
    return text(column);
}

std::optional<QString> ExecuteStoreSql(sqlite3* database, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(database, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return std::nullopt;
    QString error = message ? QString::fromUtf8(message) : StoreErrorText(database);
    sqlite3_free(message);
    return error;
}

QString StoreErrorText(sqlite3* database) {
    return database ? QString::fromUtf8(sqlite3_errmsg(database)) : QString("out of memory");
}

}  // namespace quillet
