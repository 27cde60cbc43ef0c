#pragma once
// Small operations over the SQLite C interface for other applications' databases (Spark's).
// Failures are logged at level Error with the SQL text and reported as false or nothing.

#include <QString>
#include <functional>
#include <optional>

#include "platform/FileFailure.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quillet {

// Opens an existing database file for reading and writing; never creates one (an empty file
// created inside another application's container can break that application).
std::optional<sqlite3*> OpenSqliteDatabase(const QString& path);
void CloseSqliteDatabase(sqlite3* database);
// Why the connection's last statement failed, as far as a person can act on it: SQLite's own code
// (SQLITE_FULL is a full disk), the disk of a database SQLite could not write or make a journal
// for, else the system's error number that SQLite kept.
FileFailureCause SqliteFailureCause(sqlite3* database);

// Called once per row; setting *stop ends the query early (with success).
using SqliteRowCallback = std::function<void(sqlite3_stmt* statement, bool* stop)>;
// Called with the freshly prepared statement; false abandons it.
using SqliteBindCallback = std::function<bool(sqlite3_stmt* statement)>;

// True when every row was delivered or the callback stopped; a query with no rows is true.
bool ExecuteSqliteSelectStatement(sqlite3* database, const QString& sql,
                                  const SqliteRowCallback& rowCallback);
// True when the statement ran to completion.
bool ExecuteSqliteStatement(sqlite3* database, const QString& sql,
                            const SqliteBindCallback& bindCallback = {});

// The column's text; NULL reads as the empty text. Columns count from 0.
QString GetSqliteColumnText(sqlite3_stmt* statement, int column);
// Parameters count from 0 (SQLite's parameter 1).
bool BindSqliteDouble(sqlite3_stmt* statement, int parameter, double value);
bool BindSqliteText(sqlite3_stmt* statement, int parameter, const QString& text);

}  // namespace quillet
