#pragma once
// Consistent copies of the support folder: the store through SQLite's online backup (a file
// copy of a database in WAL mode can miss what its "-wal" file still holds, or catch a write
// half done), every other file as it is.

#include <QString>
#include <memory>
#include <optional>

struct sqlite3;

namespace quillet {

inline const QString kStoreFileName = QStringLiteral("DataV2.sqlite");

// Copies the database at `from` into a new database file at `to`. Nothing on success, else what
// failed.
std::optional<QString> CopyDatabaseConsistently(const QString& from, const QString& to);

// Copies the support folder's files (not its subfolders) into `to`, the store consistently.
// Nothing on success, else what failed.
std::optional<QString> CopySupportFolder(const QString& from, const QString& to);

// A copy of a database kept in memory (the store as it was before a pass), written out later.
class DatabaseSnapshot {
public:
    // Absent (with what failed in `error`) when the database cannot be read.
    static std::unique_ptr<DatabaseSnapshot> Take(const QString& path, QString* error);
    ~DatabaseSnapshot();
    DatabaseSnapshot(const DatabaseSnapshot&) = delete;
    DatabaseSnapshot& operator=(const DatabaseSnapshot&) = delete;
    // Into a new database file at `to`; nothing on success, else what failed.
    std::optional<QString> writeTo(const QString& to) const;

private:
    explicit DatabaseSnapshot(sqlite3* memory) : _memory(memory) {}
    sqlite3* _memory;
};

// Replaces the contents of the database at `to` with the database at `from`, in one step under
// SQLite's locks (other connections then read the new contents). Nothing on success.
std::optional<QString> OverwriteDatabase(const QString& from, const QString& to);

}  // namespace quillet
