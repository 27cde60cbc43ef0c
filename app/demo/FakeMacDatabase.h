#pragma once
// Other applications' SQLite databases on a fake Mac: made afresh with one table and its rows.

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <optional>
#include <vector>

namespace quillet {

// Replaces the file at `path` (making its folder) with a database holding one table made by
// `createSql` and one row per entry of `rows`, each bound in order to the placeholders of
// `insertSql` (null, integer, real or text, as the value holds).
void CreateFakeDatabase(const QString& path, const char* createSql, const char* insertSql,
                        const std::vector<QVariantList>& rows);

// Runs one statement with its values bound as above (a QByteArray as text of exactly those
// bytes, UTF-8 or not); every result row, each column's bytes. Absent when the database cannot
// be opened or the statement fails.
using FakeDatabaseRows = std::vector<std::vector<QByteArray>>;
std::optional<FakeDatabaseRows> QueryFakeDatabase(const QString& path, const QString& sql,
                                                  const QVariantList& values = {});

// Runs the statements on an existing database (a client's, or Quillet's own store, changed
// behind Quillet's back); false when it cannot be opened or a statement fails.
bool ExecuteFakeDatabaseSql(const QString& path, const QString& sql);

}  // namespace quillet
