// How the store notices that another process wrote the file: SQLite's data version of the
// store's own connection, which this process's own commits leave as it is.
#include <sqlite3.h>

#include "app/store/Store.h"

namespace quillet {

std::optional<std::int64_t> Store::dataVersion() const {
    if (!_database)
        return std::nullopt;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(_database, "PRAGMA data_version", -1, &statement, nullptr) != SQLITE_OK)
        return std::nullopt;
    std::optional<std::int64_t> version;
    if (sqlite3_step(statement) == SQLITE_ROW)
        version = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return version;
}

bool Store::changedElsewhereSinceRead() const {
    const std::optional<std::int64_t> version = dataVersion();
    return !version || !_readVersion || *version != *_readVersion;
}

}  // namespace quillet
