#pragma once
// Rows of another application's database kept by value and put back: every column, with its
// SQLite type (null, integer, real, text; a blob as {"blob": base64}, a text that is not UTF-8 as
// {"text64": base64}), so that the rows come back exactly, their keys included, and their JSON
// can always be written.

#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

#include "app/clients/sync/ClientWrites.h"
#include "app/restore/RestorePoints.h"

struct sqlite3;

namespace quillet {

// The rows of `table` that have `key`, as a JSON array of objects; absent when the query failed.
std::optional<nlohmann::json> ReadRowsWithKey(sqlite3* database, const QString& table,
                                              const SqliteRowKey& key);

// Bytes as a JSON string when they are UTF-8 (as the JSON writer checks it), else as
// {member: base64}; and back (absent when the value is neither).
nlohmann::json BytesJson(const QByteArray& bytes, const char* member);
std::optional<QByteArray> BytesFromJson(const nlohmann::json& value, const char* member);

// What a restore point compares rows by: the newest row's "itemValue" (Spark reads the newest
// row of a key, and its other columns change with Spark's own syncing), else the rows whole.
// Absent when there is no row.
EntryValue RowsEntryValue(const nlohmann::json& rows);
// The rows with their "itemValue" set to `value`.
nlohmann::json RowsWithValue(nlohmann::json rows, const QByteArray& value);

// Inside the caller's transaction: deletes the rows that have `key` now and inserts `rows`,
// handing each statement to `writes`. False when a statement failed.
bool PutBackRows(sqlite3* database, const QString& table, const SqliteRowKey& key,
                 const nlohmann::json& rows, ClientWrites& writes);

}  // namespace quillet
