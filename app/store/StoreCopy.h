#pragma once
// Consistent copies of the support folder: the store through SQLite's online backup (a file
// copy of a database in WAL mode can miss what its "-wal" file still holds, or catch a write
// half done), every other file as it is.

#include <QString>
#include <optional>

namespace quillet {

inline const QString kStoreFileName = QStringLiteral("DataV2.sqlite");

// Copies the database at `from` into a new database file at `to`. Nothing on success, else what
// failed.
std::optional<QString> CopyDatabaseConsistently(const QString& from, const QString& to);

// Copies the support folder's files (not its subfolders) into `to`, the store consistently.
// Nothing on success, else what failed.
std::optional<QString> CopySupportFolder(const QString& from, const QString& to);

}  // namespace quillet
