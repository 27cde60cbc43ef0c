#pragma once
// Rows of another application's database kept by value and put back: every column, with its
// SQLite type (null, integer, real, text; a blob as {"blob": base64}), so that the rows come back
// exactly, their keys included.

#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

#include "app/clients/sync/ClientWrites.h"

struct sqlite3;

namespace quillet {

// The rows of `table` that have `key`, as a JSON array of objects; absent when the query failed.
std::optional<nlohmann::json> ReadRowsWithKey(sqlite3* database, const QString& table,
                                              const SqliteRowKey& key);

// Inside the caller's transaction: deletes the rows that have `key` now and inserts `rows`,
// handing each statement to `writes`. False when a statement failed.
bool PutBackRows(sqlite3* database, const QString& table, const SqliteRowKey& key,
                 const nlohmann::json& rows, ClientWrites& writes);

}  // namespace quillet
