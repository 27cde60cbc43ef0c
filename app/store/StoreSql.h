#pragma once
// The store's thin layer over the SQLite C interface: statements that finalise themselves and
// failures reported as SQLite's own description, which the store's log lines and alerts carry.

#include <QString>
#include <cstdint>
#include <initializer_list>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace quillet {

class StoreStatement {
public:
    // A statement that failed to prepare is not ok(); error() says why.
    StoreStatement(sqlite3* database, const char* sql);
    ~StoreStatement();
    StoreStatement(const StoreStatement&) = delete;
    StoreStatement& operator=(const StoreStatement&) = delete;

    bool ok() const { return _statement != nullptr; }
    const QString& error() const { return _error; }

    // Parameters count from 1, as in SQLite.
    void bind(int parameter, std::int64_t value);
    void bind(int parameter, const QString& text);
    // True on a row; false at the end or on failure (error() is then set).
    bool step();
    // True when the statement ran to its end; resets it for another run with new bindings.
    bool run();
    void reset();

    // Columns count from 0; NULL reads as 0 or the empty text.
    std::int64_t integer(int column) const;
    QString text(int column) const;
    // The text, as one of `sharers`' own data where it equals one (compared before converting).
    QString sharedText(int column, std::initializer_list<const QString*> sharers) const;
    // A column that Core Data may have written as text or as 16 raw bytes.
    QString uuidText(int column) const;

private:
    sqlite3* _database;
    sqlite3_stmt* _statement = nullptr;
    QString _error;
};

// Runs SQL without results; on failure returns SQLite's description.
std::optional<QString> ExecuteStoreSql(sqlite3* database, const char* sql);
QString StoreErrorText(sqlite3* database);

}  // namespace quillet
