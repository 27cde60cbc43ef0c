#include "app/store/StoreSchema.h"

#include <QStringList>
#include <QUuid>
#include <algorithm>
#include <vector>

#include "app/store/StoreSql.h"

namespace quillet {

namespace {

struct Column {
    const char* name;
    const char* type;
};

struct EntityTable {
    const char* entityName;
    const char* table;
    std::vector<Column> columns;
};

const std::vector<Column> kSignatureColumns = {{"ZACTIVE", "INTEGER"},
                                               {"ZCOLORINDEX", "INTEGER"},
                                               {"ZINSERTFORFORWARDS", "INTEGER"},
                                               {"ZINSERTFORREPLIESFORWARDS", "INTEGER"},
                                               {"ZLASTUPDATEUNIXTIMEQZ", "INTEGER"},
                                               {"ZPENDINGDELETION", "INTEGER"},
                                               {"ZFILENAMEQE", "VARCHAR"},
                                               {"ZFILEPATHQE", "VARCHAR"},
                                               {"ZKEYQE", "VARCHAR"},
                                               {"ZLOCALTEXTQE", "VARCHAR"},
                                               {"ZMAINTEXTQE", "VARCHAR"},
                                               {"ZNAMEQE", "VARCHAR"},
                                               {"ZUUIDSTRING", "VARCHAR"}};

std::vector<Column> WebSignatureColumns() {
    std::vector<Column> columns = kSignatureColumns;
    columns.push_back({"ZACCOUNTEMAILQE", "VARCHAR"});
    columns.push_back({"ZCLIENTQE", "VARCHAR"});
    return columns;
}

const EntityTable kPerformedEntity = {"PerformedInstallationEntityV2",
                                      kPerformedInstallationTable,
                                      {{"ZSIGNATURE", "INTEGER"},
                                       {"ZACCOUNTEMAILQE", "VARCHAR"},
                                       {"ZCLIENT", "VARCHAR"},
                                       {"ZIDSTRINGQE", "VARCHAR"},
                                       {"ZTEXTQE", "VARCHAR"}}};
const EntityTable kSelectedEntity = {"SelectedInstallationEntityV2",
                                     kSelectedInstallationTable,
                                     {{"ZPENDINGREINSTALLATION", "INTEGER"},
                                      {"ZSIGNATURE", "INTEGER"},
                                      {"ZACCOUNTEMAILQE", "VARCHAR"},
                                      {"ZCLIENT", "VARCHAR"}}};
const EntityTable kSignatureEntity = {"SignatureEntityV2", kSignatureTable, kSignatureColumns};
const EntityTable kWebSignatureEntity = {"SafariSignatureEntityV1", kWebSignatureTable,
                                         WebSignatureColumns()};

// One entity of a model: its table, the number Core Data gives it (entities are numbered in name
// order) and the keys it fills; an entity the model never writes keeps its keys to itself.
struct ModelEntity {
    const EntityTable* table;
    std::int64_t preferredEntityNumber;
    EntityKeys StoreKeys::*keys;
};

std::vector<ModelEntity> ModelEntities(SignatureEntity entity) {
    if (entity == SignatureEntity::webMail) {
        return {{&kPerformedEntity, 1, &StoreKeys::performedInstallation},
                {&kWebSignatureEntity, 2, &StoreKeys::signature},
                {&kSelectedEntity, 3, &StoreKeys::selectedInstallation},
                {&kSignatureEntity, 4, nullptr}};
    }
    return {{&kPerformedEntity, 1, &StoreKeys::performedInstallation},
            {&kSelectedEntity, 2, &StoreKeys::selectedInstallation},
            {&kSignatureEntity, 3, &StoreKeys::signature}};
}

std::optional<QString> Execute(sqlite3* database, const QString& sql) {
    return ExecuteStoreSql(database, sql.toUtf8().constData());
}

std::optional<QString> CreateEntityTable(sqlite3* database, const EntityTable& entity) {
    QStringList definitions = {"Z_PK INTEGER PRIMARY KEY", "Z_ENT INTEGER", "Z_OPT INTEGER"};
    for (const Column& column : entity.columns) {
        definitions << QString("%1 %2").arg(column.name, column.type);
    }
    if (auto error = Execute(database, QString("CREATE TABLE IF NOT EXISTS %1 (%2)")
                                           .arg(entity.table, definitions.join(", ")))) {
        return error;
    }
    // A file written by an older version of the model lacks the newer attributes; adding the
    // columns is the whole upgrade, as every attribute may be NULL.
    const std::optional<QStringList> existing = TableColumns(database, entity.table);
    if (!existing)
        return StoreErrorText(database);
    for (const Column& column : entity.columns) {
        if (existing->contains(column.name))
            continue;
        if (auto error = Execute(database, QString("ALTER TABLE %1 ADD COLUMN %2 %3")
                                               .arg(entity.table, column.name, column.type))) {
            return error;
        }
    }
    // Installation rows are looked up by their signature.
    const bool installation =
        std::any_of(entity.columns.begin(), entity.columns.end(),
                    [](const Column& c) { return c.name == QString("ZSIGNATURE"); });
    if (installation) {
        return Execute(database, QString("CREATE INDEX IF NOT EXISTS %1_ZSIGNATURE_INDEX ON "
                                         "%1 (ZSIGNATURE)")
                                     .arg(entity.table));
    }
    return std::nullopt;
}

// Raises keys->max to the highest key the entity's rows and Z_PRIMARYKEY hold now: a row left
// behind by a crash, or written by another connection, must not be given its key again.
std::optional<QString> ReadKeyMaximum(sqlite3* database, const char* table, EntityKeys* keys) {
    {
        StoreStatement recorded(database, "SELECT Z_MAX FROM Z_PRIMARYKEY WHERE Z_ENT = ?");
        if (!recorded.ok())
            return recorded.error();
        recorded.bind(1, keys->entity);
        if (recorded.step())
            keys->max = std::max(keys->max, recorded.integer(0));
        if (!recorded.error().isEmpty())
            return recorded.error();
    }
    const QByteArray sql = QString("SELECT MAX(Z_PK) FROM %1").arg(table).toUtf8();
    StoreStatement highest(database, sql.constData());
    if (!highest.ok())
        return highest.error();
    if (highest.step())
        keys->max = std::max(keys->max, highest.integer(0));
    return highest.error().isEmpty() ? std::nullopt : std::optional<QString>(highest.error());
}

std::optional<QString> ReadEntityKeys(sqlite3* database, const EntityTable& entity,
                                      std::int64_t preferredEntityNumber, EntityKeys* keys) {
    {
        StoreStatement select(database, "SELECT Z_ENT, Z_MAX FROM Z_PRIMARYKEY WHERE Z_NAME = ?");
        if (!select.ok())
            return select.error();
        select.bind(1, QString(entity.entityName));
        if (select.step()) {
            keys->entity = select.integer(0);
            keys->max = select.integer(1);
        } else if (!select.error().isEmpty()) {
            return select.error();
        } else {
            StoreStatement taken(database,
                                 "SELECT COUNT(*), MAX(Z_ENT) FROM Z_PRIMARYKEY "
                                 "WHERE Z_ENT = ?");
            if (!taken.ok())
                return taken.error();
            taken.bind(1, preferredEntityNumber);
            std::int64_t number = preferredEntityNumber;
            if (taken.step() && taken.integer(0) > 0) {
                StoreStatement highest(database, "SELECT MAX(Z_ENT) FROM Z_PRIMARYKEY");
                number = highest.step() ? highest.integer(0) + 1 : number;
            }
            StoreStatement insert(database,
                                  "INSERT INTO Z_PRIMARYKEY (Z_ENT, Z_NAME, Z_SUPER, "
                                  "Z_MAX) VALUES (?, ?, 0, 0)");
            insert.bind(1, number);
            insert.bind(2, QString(entity.entityName));
            if (!insert.run())
                return insert.error();
            keys->entity = number;
            keys->max = 0;
        }
    }
    return ReadKeyMaximum(database, entity.table, keys);
}

}  // namespace

std::optional<QStringList> TableColumns(sqlite3* database, const QString& table) {
    const QByteArray sql = QString("PRAGMA table_info(%1)").arg(table).toUtf8();
    StoreStatement info(database, sql.constData());
    if (!info.ok())
        return std::nullopt;
    QStringList columns;
    while (info.step())
        columns << info.text(1).toUpper();
    if (!info.error().isEmpty())
        return std::nullopt;
    return columns;
}

std::optional<QString> PrepareSchema(sqlite3* database, SignatureEntity entity, StoreKeys* keys) {
    if (auto error = Execute(database,
                             "CREATE TABLE IF NOT EXISTS Z_PRIMARYKEY (Z_ENT INTEGER "
                             "PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX "
                             "INTEGER)")) {
        return error;
    }
    if (auto error = Execute(database,
                             "CREATE TABLE IF NOT EXISTS Z_METADATA (Z_VERSION INTEGER "
                             "PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB)")) {
        return error;
    }
    // Core Data identifies a store by this row; the store itself never reads it back.
    if (auto error = Execute(
            database, QString("INSERT OR IGNORE INTO Z_METADATA (Z_VERSION, "
                              "Z_UUID, Z_PLIST) VALUES (1, '%1', NULL)")
                          .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()))) {
        return error;
    }
    for (const ModelEntity& model : ModelEntities(entity)) {
        EntityKeys unused;
        if (auto error = CreateEntityTable(database, *model.table))
            return error;
        if (auto error = ReadEntityKeys(database, *model.table, model.preferredEntityNumber,
                                        model.keys ? &(keys->*model.keys) : &unused)) {
            return error;
        }
    }
    return std::nullopt;
}

std::optional<QString> CheckDataV1Schema(sqlite3* database) {
    const std::optional<QStringList> columns = TableColumns(database, kLegacySignatureTable);
    if (!columns)
        return StoreErrorText(database);
    if (columns->isEmpty())
        return QString("the file has no table %1").arg(kLegacySignatureTable);
    return std::nullopt;
}

std::optional<QString> ReadEntityKeyMaxima(sqlite3* database, SignatureEntity entity,
                                           StoreKeys* keys) {
    for (const ModelEntity& model : ModelEntities(entity)) {
        if (!model.keys)
            continue;
        if (auto error = ReadKeyMaximum(database, model.table->table, &(keys->*model.keys)))
            return error;
    }
    return std::nullopt;
}

std::optional<QString> WriteEntityKeyMaxima(sqlite3* database, const StoreKeys& keys) {
    StoreStatement update(database, "UPDATE Z_PRIMARYKEY SET Z_MAX = ? WHERE Z_ENT = ?");
    if (!update.ok())
        return update.error();
    for (const EntityKeys* entity :
         {&keys.signature, &keys.selectedInstallation, &keys.performedInstallation}) {
        update.bind(1, entity->max);
        update.bind(2, entity->entity);
        if (!update.run())
            return update.error();
    }
    return std::nullopt;
}

}  // namespace quillet
