#pragma once
// Spark's settings database: its signatures, the order of its signature list and each account's
// default signature, as rows of JSON texts in the table "settings" that Spark syncs itself.
// Reading checks every row's shape; a row that is not what Spark writes fails the read.

#include <QString>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "app/clients/sync/ClientWrites.h"
#include "platform/FileFailure.h"

struct sqlite3;

namespace quillet {

class Paths;

// ~/Library/Group Containers/<Spark's group>/databases/settings.sqlite.
QString SparkSettingsDatabasePath(const Paths& paths);

struct SparkSettings {
    // Each signature row's object, under its identifier (a UUID) as the row writes it.
    std::map<QString, nlohmann::ordered_json> signatureObjects;
    std::vector<QString> ordering;       // signature identifiers, in the list's order
    std::map<QString, QString> binding;  // account email to its default signature's identifier
};

// Reads the three parts in order, stopping at the first failure (logged with the sync's name);
// absent then. Only the newest ordering and binding rows count; none means empty.
std::optional<SparkSettings> ReadSparkSettings(sqlite3* database, const QString& syncName);

// The rows a sync writes. A signature row is rewritten by deleting its rows and inserting it.
struct SparkSignatureRow {
    QString identifier;
    QString json;
};
struct SparkSettingsRows {
    std::vector<SparkSignatureRow> signatureRows;  // only those whose content changes
    QString orderingJson;
    std::optional<QString> bindingJson;  // absent: no binding row at all
    // Whether the ordering and the binding differ from what the database holds; unchanged ones
    // are not written.
    bool orderingChanged = true;
    bool bindingChanged = true;

    bool changesNothing() const {
        return signatureRows.empty() && !orderingChanged && !bindingChanged;
    }
};

// Writes the rows inside one transaction, each with that sync time (seconds since 1970) and
// sync status 0; every row of a changed ordering or binding is replaced. Nothing at all, no
// transaction either, when the rows change nothing. On a failing statement the
// transaction is rolled back ("Could not roll back transaction" logged when even that fails).
// Nothing when all was written, else the cause of the first failure (taken before the rollback,
// whose own calls would hide it).
// The transaction ends as `writes` says (a preview rolls it back), and each statement that ran is
// handed to it with its values.
// Replaces the binding rows with one holding the JSON (none: no row), inside the caller's
// transaction; false when a statement fails or `writes` refuses the change.
bool WriteSparkBinding(sqlite3* database, const std::optional<QString>& bindingJson,
                       double syncTime, ClientWrites& writes);

std::optional<FileFailureCause> WriteSparkSettings(sqlite3* database, const SparkSettingsRows& rows,
                                                   double syncTime, const QString& syncName,
                                                   ClientWrites& writes);

}  // namespace quillet
