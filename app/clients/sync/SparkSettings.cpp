#include "app/clients/sync/SparkSettings.h"

#include <sqlite3.h>

#include "app/base/Sqlite.h"
#include "app/clients/sync/JsonShapes.h"
#include "common/Log.h"
#include "common/Text.h"
#include "platform/Paths.h"

namespace quillet {

namespace {

using Json = nlohmann::ordered_json;

const QString kReadSignatures =
    "SELECT itemKey, itemValue FROM settings WHERE itemGroup = 'SignaturesSettingsItemsGroup'";
const QString kReadOrdering =
    "SELECT itemValue FROM settings WHERE itemGroup = 'MetaSettingsItemsGroup' AND itemKey = "
    "'MetaOrderingSettingsKey' ORDER BY pk DESC LIMIT 1";
const QString kReadBinding =
    "SELECT itemValue FROM settings WHERE itemGroup = 'MetaSettingsItemsGroup' AND itemKey = "
    "'MetaBindingSettingsKey' ORDER BY pk DESC LIMIT 1";
const QString kBegin = "BEGIN";
const QString kDeleteSignature =
    "DELETE FROM settings WHERE itemGroup = 'SignaturesSettingsItemsGroup' AND itemKey = ?";
const QString kInsertSignature =
    "INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) VALUES "
    "('SignaturesSettingsItemsGroup', ?, ?, ?, 0)";
const QString kDeleteOrdering =
    "DELETE FROM settings WHERE itemGroup = 'MetaSettingsItemsGroup' AND itemKey = "
    "'MetaOrderingSettingsKey'";
const QString kInsertOrdering =
    "INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) VALUES "
    "('MetaSettingsItemsGroup', 'MetaOrderingSettingsKey', ?, ?, 0)";
const QString kDeleteBinding =
    "DELETE FROM settings WHERE itemGroup = 'MetaSettingsItemsGroup' AND itemKey = "
    "'MetaBindingSettingsKey'";
const QString kInsertBinding =
    "INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) VALUES "
    "('MetaSettingsItemsGroup', 'MetaBindingSettingsKey', ?, ?, 0)";
const QString kRollback = "ROLLBACK";

// The parsed JSON, or the parser's description of what is wrong with the text.
struct Parsed {
    Json json;
    QString error;
};

Parsed ParseJson(const QString& text) {
    try {
        return Parsed{Json::parse(text.toStdString()), {}};
    } catch (const Json::exception& exception) {
        return Parsed{Json(), QString::fromUtf8(exception.what())};
    }
}

QString Text(const Json& json) {
    return QString::fromStdString(json.get<std::string>());
}

// The one value of a query for the newest row, as a JSON value of the wanted shape: null when
// there is no row; absent (and logged as WHAT) when the query fails or the value is unusable.
std::optional<Json> ReadNewestValue(sqlite3* database, const QString& sql,
                                    bool (*isWanted)(const Json&), const QString& prefix,
                                    const QString& shapeError) {
    std::optional<QString> value;
    if (!ExecuteSqliteSelectStatement(database, sql, [&](sqlite3_stmt* statement, bool* stop) {
            value = GetSqliteColumnText(statement, 0);
            *stop = true;
        })) {
        return std::nullopt;
    }
    if (!value)
        return Json();
    Parsed parsed = ParseJson(*value);
    if (parsed.error.isEmpty() && !isWanted(parsed.json))
        parsed.error = shapeError;
    if (!parsed.error.isEmpty()) {
        LogError(prefix + "json: " + *value + ", error: " + parsed.error);
        return std::nullopt;
    }
    return parsed.json;
}

bool ReadSignatureObjects(sqlite3* database, const QString& syncName, SparkSettings& settings) {
    bool rowsUsable = true;
    const bool ran =
        ExecuteSqliteSelectStatement(database, kReadSignatures, [&](sqlite3_stmt* row, bool* stop) {
            const QString identifier = GetSqliteColumnText(row, 0);
            const QString text = GetSqliteColumnText(row, 1);
            if (!ParseUuid(identifier)) {
                LogError(syncName + ": got non-UUID signature UUID from the client: " + identifier +
                         ", json: " + text);
                rowsUsable = false;
            } else {
                Parsed parsed = ParseJson(text);
                if (parsed.error.isEmpty() && !parsed.json.is_object())
                    parsed.error = "not a JSON object";
                if (parsed.error.isEmpty()) {
                    settings.signatureObjects.insert_or_assign(identifier, std::move(parsed.json));
                } else {
                    LogError(syncName + ": Could not parse signature JSON: signature UUID: " +
                             identifier + ", json: " + text + ", error: " + parsed.error);
                    rowsUsable = false;
                }
            }
            *stop = !rowsUsable;
        });
    return ran && rowsUsable;
}

// Runs one statement of the transaction and hands it, with its values bound, to `writes`.
bool Execute(sqlite3* database, ClientWrites& writes, const QString& sql,
             const SqliteBindCallback& bind = {}) {
    return ExecuteSqliteStatement(database, sql, [&](sqlite3_stmt* statement) {
        if (bind && !bind(statement))
            return false;
        char* expanded = sqlite3_expanded_sql(statement);
        writes.statementRan(expanded ? QString::fromUtf8(expanded) : sql);
        sqlite3_free(expanded);
        return true;
    });
}

const QString kSettingsTable = "settings";
const QString kSignaturesGroup = "SignaturesSettingsItemsGroup";
const QString kMetaGroup = "MetaSettingsItemsGroup";

SqliteRowKey SettingsKey(const QString& group, const QString& key) {
    return {{"itemGroup", group}, {"itemKey", key}};
}

// A meta row's value and its sync time.
auto BindValue(const QString& json, double syncTime) {
    return [&json, syncTime](sqlite3_stmt* statement) {
        return BindSqliteText(statement, 0, json) && BindSqliteDouble(statement, 1, syncTime);
    };
}

bool WriteRows(sqlite3* database, ClientWrites& writes, const SparkSettingsRows& rows,
               double syncTime) {
    for (const SparkSignatureRow& row : rows.signatureRows) {
        if (!writes.rowsWillChange(database, kSettingsTable,
                                   SettingsKey(kSignaturesGroup, row.identifier)) ||
            !Execute(database, writes, kDeleteSignature, [&](sqlite3_stmt* statement) {
                return BindSqliteText(statement, 0, row.identifier);
            })) {
            return false;
        }
    }
    for (const SparkSignatureRow& row : rows.signatureRows) {
        if (!Execute(database, writes, kInsertSignature, [&](sqlite3_stmt* statement) {
                return BindSqliteText(statement, 0, row.identifier) &&
                       BindSqliteText(statement, 1, row.json) &&
                       BindSqliteDouble(statement, 2, syncTime);
            })) {
            return false;
        }
    }
    if (rows.orderingChanged &&
        (!writes.rowsWillChange(database, kSettingsTable,
                                SettingsKey(kMetaGroup, "MetaOrderingSettingsKey")) ||
         !Execute(database, writes, kDeleteOrdering) ||
         !Execute(database, writes, kInsertOrdering, BindValue(rows.orderingJson, syncTime)))) {
        return false;
    }
    return !rows.bindingChanged || WriteSparkBinding(database, rows.bindingJson, syncTime, writes);
}

}  // namespace

bool WriteSparkBinding(sqlite3* database, const std::optional<QString>& bindingJson,
                       double syncTime, ClientWrites& writes) {
    if (!writes.rowsWillChange(database, kSettingsTable,
                               SettingsKey(kMetaGroup, "MetaBindingSettingsKey")) ||
        !Execute(database, writes, kDeleteBinding)) {
        return false;
    }
    return !bindingJson ||
           Execute(database, writes, kInsertBinding, BindValue(*bindingJson, syncTime));
}

QString SparkSettingsDatabasePath(const Paths& paths) {
    return paths.userLibrary() +
           "/Group Containers/3L68KQB4HG.group.com.readdle.smartemail/databases/settings.sqlite";
}

std::optional<SparkSettings> ReadSparkSettings(sqlite3* database, const QString& syncName) {
    SparkSettings settings;
    if (!ReadSignatureObjects(database, syncName, settings))
        return std::nullopt;
    const auto ordering = ReadNewestValue(
        database, kReadOrdering, IsArrayOfTexts,
        syncName + ": Could not parse signature ordering JSON: ", "not a JSON array of texts");
    if (!ordering)
        return std::nullopt;
    for (const Json& identifier : ordering->is_array() ? *ordering : Json::array())
        settings.ordering.push_back(Text(identifier));
    const auto binding =
        ReadNewestValue(database, kReadBinding, IsObjectOfTexts,
                        syncName + ": Could not parse default account signatures JSON: ",
                        "not a JSON object of texts");
    if (!binding)
        return std::nullopt;
    if (binding->is_object()) {
        for (const auto& pair : binding->items())
            settings.binding[QString::fromStdString(pair.key())] = Text(pair.value());
    }
    return settings;
}

std::optional<FileFailureCause> WriteSparkSettings(sqlite3* database, const SparkSettingsRows& rows,
                                                   double syncTime, const QString& syncName,
                                                   ClientWrites& writes) {
    if (rows.changesNothing())
        return std::nullopt;
    const char* file = sqlite3_db_filename(database, "main");
    LogInfo(syncName + ": Writing out " + QString::fromUtf8(file ? file : "") + "...");
    if (!ExecuteSqliteStatement(database, kBegin))
        return SqliteFailureCause(database);
    if (!WriteRows(database, writes, rows, syncTime) || !writes.transactionWillEnd(database)) {
        const FileFailureCause cause = SqliteFailureCause(database);
        if (!ExecuteSqliteStatement(database, kRollback))
            LogError(syncName + ": Could not roll back transaction");
        return cause;
    }
    // A failing commit is not rolled back here: closing the database ends the transaction.
    if (!ExecuteSqliteStatement(database, writes.transactionEnd()))
        return SqliteFailureCause(database);
    return std::nullopt;
}

}  // namespace quillet
