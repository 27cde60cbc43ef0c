#include "app/store/StoreTables.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "common/ClientKind.h"

namespace quillet {

namespace {

using StoreValue = std::variant<std::int64_t, QString>;
using StoreValues = std::vector<StoreValue>;
using Columns = std::vector<const char*>;

constexpr const char* kSelectSelected =
    "SELECT ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZPENDINGREINSTALLATION FROM "
    "ZSELECTEDINSTALLATIONENTITYV2";
constexpr const char* kSelectPerformed =
    "SELECT ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZIDSTRINGQE, ZTEXTQE FROM "
    "ZPERFORMEDINSTALLATIONENTITYV2";
// Core Data may have left the client or the email NULL; either reads as empty.
constexpr const char* kInstallationRow =
    " WHERE ZSIGNATURE = ? AND COALESCE(ZCLIENT, '') = ? AND COALESCE(ZACCOUNTEMAILQE, '') = ?";
constexpr const char* kNextOpt = "Z_OPT = COALESCE(Z_OPT, 0) + 1";

using BoolField = bool SignatureAttributes::*;
using IntegerField = std::int64_t SignatureAttributes::*;
using TextField = QString SignatureAttributes::*;

struct AttributeColumn {
    const char* name;
    std::variant<BoolField, IntegerField, TextField> field;
};

// The attributes every signature entity has, then the web-mail entity's own.
const std::vector<AttributeColumn> kCommonColumns = {
    {"ZACTIVE", &SignatureAttributes::active},
    {"ZCOLORINDEX", &SignatureAttributes::colorIndex},
    {"ZFILENAMEQE", &SignatureAttributes::fileNameQe},
    {"ZFILEPATHQE", &SignatureAttributes::filePathQe},
    {"ZINSERTFORREPLIESFORWARDS", &SignatureAttributes::insertForRepliesForwards},
    {"ZINSERTFORFORWARDS", &SignatureAttributes::insertForForwards},
    {"ZKEYQE", &SignatureAttributes::keyQe},
    {"ZLASTUPDATEUNIXTIMEQZ", &SignatureAttributes::lastUpdateUnixTimeQz},
    {"ZLOCALTEXTQE", &SignatureAttributes::localTextQe},
    {"ZMAINTEXTQE", &SignatureAttributes::mainTextQe},
    {"ZNAMEQE", &SignatureAttributes::nameQe},
    {"ZPENDINGDELETION", &SignatureAttributes::pendingDeletion},
    {"ZUUIDSTRING", &SignatureAttributes::uuidString}};

const std::vector<AttributeColumn>& AttributeColumns(SignatureEntity entity) {
    static const std::vector<AttributeColumn> kWebColumns = [] {
        std::vector<AttributeColumn> columns = kCommonColumns;
        columns.push_back({"ZACCOUNTEMAILQE", &SignatureAttributes::accountEmailQe});
        columns.push_back({"ZCLIENTQE", &SignatureAttributes::clientQe});
        return columns;
    }();
    return entity == SignatureEntity::webMail ? kWebColumns : kCommonColumns;
}

const char* SignatureTable(SignatureEntity entity) {
    return entity == SignatureEntity::webMail ? kWebSignatureTable : kSignatureTable;
}

Columns AttributeColumnNames(SignatureEntity entity) {
    Columns names;
    for (const AttributeColumn& column : AttributeColumns(entity))
        names.push_back(column.name);
    return names;
}

StoreValues AttributeValues(SignatureEntity entity, const SignatureAttributes& a) {
    StoreValues values;
    for (const AttributeColumn& column : AttributeColumns(entity)) {
        std::visit(
            [&](auto field) {
                if constexpr (std::is_same_v<decltype(field), BoolField>) {
                    values.push_back(std::int64_t(a.*field));
                } else {
                    values.push_back(a.*field);
                }
            },
            column.field);
    }
    return values;
}

// The inverse of AttributeValues.
SignatureAttributes AttributesOf(SignatureEntity entity, const StoreValues& values) {
    SignatureAttributes a;
    std::size_t at = 0;
    for (const AttributeColumn& column : AttributeColumns(entity)) {
        const StoreValue& value = values[at++];
        std::visit(
            [&](auto field) {
                if constexpr (std::is_same_v<decltype(field), BoolField>) {
                    a.*field = std::get<std::int64_t>(value) != 0;
                } else if constexpr (std::is_same_v<decltype(field), IntegerField>) {
                    a.*field = std::get<std::int64_t>(value);
                } else {
                    a.*field = std::get<QString>(value);
                }
            },
            column.field);
    }
    return a;
}

// The payload of each installation row by its client and account email.
using InstallationRows = std::map<std::pair<QString, QString>, StoreValues>;

std::uint64_t HashOf(std::int64_t integer) {
    return qHash(integer, 0);
}

std::uint64_t HashOf(const QString& text) {
    return qHash(QStringView(text), 0);
}

std::uint64_t HashOf(const StoreValue& value) {
    return std::visit([](const auto& held) { return HashOf(held); }, value);
}

std::uint64_t RowKeyHash(const QString& client, const QString& accountEmail) {
    return qHashMulti(0, client, accountEmail);
}

std::uint64_t RowKeyHash(const std::pair<QString, QString>& row) {
    return RowKeyHash(row.first, row.second);
}

// The hash of a text; a record's digest hashes a text its installations share once.
using TextHash = std::function<std::uint64_t(const QString&)>;

// A table's rows as InstallationTable::rows has them, without copying them: by client and
// email, the last of two alike; its count, then each row's key and payload hashes.
template <class Row, class PayloadHashes>
void AppendRowHashes(const std::vector<Row>& rows, PayloadHashes payloadHashes,
                     std::vector<std::uint64_t>& hashes) {
    const auto key = [](const Row* row) { return std::tie(row->client, row->accountEmailQe); };
    std::vector<const Row*> order;
    for (const Row& row : rows)
        order.push_back(&row);
    // Records keep their rows sorted already.
    if (!std::is_sorted(order.begin(), order.end(),
                        [&](const Row* a, const Row* b) { return key(a) < key(b); })) {
        std::stable_sort(order.begin(), order.end(),
                         [&](const Row* a, const Row* b) { return key(a) < key(b); });
    }
    hashes.push_back(0);
    const std::size_t count = hashes.size() - 1;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + 1 < order.size() && key(order[i]) == key(order[i + 1]))
            continue;
        hashes.push_back(RowKeyHash(order[i]->client, order[i]->accountEmailQe));
        payloadHashes(*order[i], hashes);
        ++hashes[count];
    }
}

}  // namespace

struct InstallationTable {
    const char* table;
    Columns payloadColumns;
    EntityKeys StoreKeys::*keys;
    InstallationRows (*rows)(const SignatureRecord&);
    void (*fill)(SignatureRecord&, const InstallationRows&);  // the rows back into a record
    // The rows' hashes for a digest, made from the record's own rows without copying them.
    void (*hashRows)(const SignatureRecord&, const TextHash&, std::vector<std::uint64_t>&);
};

namespace {

const InstallationTable kInstallationTables[] = {
    {kSelectedInstallationTable,
     {"ZPENDINGREINSTALLATION"},
     &StoreKeys::selectedInstallation,
     [](const SignatureRecord& record) {
         InstallationRows rows;
         for (const SelectedInstallationRecord& row : record.selectedInstallations) {
             rows[{row.client, row.accountEmailQe}] = {std::int64_t(row.pendingReinstallation)};
         }
         return rows;
     },
     [](SignatureRecord& record, const InstallationRows& rows) {
         for (const auto& [row, payload] : rows) {
             record.selectedInstallations.push_back(
                 {row.first, row.second, std::get<std::int64_t>(payload[0]) != 0});
         }
     },
     [](const SignatureRecord& record, const TextHash&, std::vector<std::uint64_t>& hashes) {
         AppendRowHashes(
             record.selectedInstallations,
             [](const SelectedInstallationRecord& row, std::vector<std::uint64_t>& hashes) {
                 hashes.push_back(HashOf(std::int64_t(row.pendingReinstallation)));
             },
             hashes);
     }},
    {kPerformedInstallationTable,
     {"ZIDSTRINGQE", "ZTEXTQE"},
     &StoreKeys::performedInstallation,
     [](const SignatureRecord& record) {
         InstallationRows rows;
         for (const PerformedInstallationRecord& row : record.performedInstallations) {
             rows[{row.client, row.accountEmailQe}] = {row.idStringQe, row.textQe};
         }
         return rows;
     },
     [](SignatureRecord& record, const InstallationRows& rows) {
         for (const auto& [row, payload] : rows) {
             record.performedInstallations.push_back({row.first, row.second,
                                                      std::get<QString>(payload[0]),
                                                      std::get<QString>(payload[1])});
         }
     },
     [](const SignatureRecord& record, const TextHash& hashText,
        std::vector<std::uint64_t>& hashes) {
         AppendRowHashes(
             record.performedInstallations,
             [&](const PerformedInstallationRecord& row, std::vector<std::uint64_t>& hashes) {
                 hashes.push_back(HashOf(row.idStringQe));
                 hashes.push_back(hashText(row.textQe));
             },
             hashes);
     }},
};

const std::vector<InstallationTable>& InstallationTablesOf(SignatureEntity entity) {
    static const std::vector<InstallationTable> kNone;
    static const std::vector<InstallationTable> kDesktop(std::begin(kInstallationTables),
                                                         std::end(kInstallationTables));
    return entity == SignatureEntity::webMail ? kNone : kDesktop;
}

std::optional<QString> Run(sqlite3* database, const QString& sql, const StoreValues& values) {
    const QByteArray text = sql.toUtf8();
    StoreStatement statement(database, text.constData());
    if (!statement.ok())
        return statement.error();
    for (size_t i = 0; i < values.size(); ++i) {
        std::visit([&](const auto& value) { statement.bind(int(i) + 1, value); }, values[i]);
    }
    if (!statement.run())
        return statement.error();
    return std::nullopt;
}

// "INSERT INTO table (columns) VALUES (?, …)".
QString InsertSql(const char* table, const Columns& columns) {
    QStringList names;
    for (const char* column : columns)
        names << column;
    return QString("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, names.join(", "), QStringList(names.size(), "?").join(", "));
}

// "COLUMN = ?" for each column whose value `after` changes, with the values to bind; empty when
// nothing changed.
std::pair<QStringList, StoreValues> ChangedColumns(const Columns& columns,
                                                   const StoreValues& before,
                                                   const StoreValues& after) {
    std::pair<QStringList, StoreValues> changed;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (before[i] == after[i])
            continue;
        changed.first << QString("%1 = ?").arg(columns[i]);
        changed.second.push_back(after[i]);
    }
    return changed;
}

std::optional<QString> WriteInstallationChanges(sqlite3* database, const InstallationTable& table,
                                                EntityKeys& keys, std::int64_t signature,
                                                const InstallationRows& before,
                                                const InstallationRows& after) {
    const QString remove = QString("DELETE FROM %1%2").arg(table.table, kInstallationRow);
    const auto identity = [&](const std::pair<QString, QString>& row) {
        return StoreValues{signature, row.first, row.second};
    };
    for (const auto& [row, payload] : before) {
        if (after.count(row))
            continue;
        if (auto error = Run(database, remove, identity(row)))
            return error;
    }
    Columns insertColumns = {"Z_PK", "Z_ENT", "Z_OPT", "ZSIGNATURE", "ZCLIENT", "ZACCOUNTEMAILQE"};
    insertColumns.insert(insertColumns.end(), table.payloadColumns.begin(),
                         table.payloadColumns.end());
    const QString insert = InsertSql(table.table, insertColumns);
    for (const auto& [row, payload] : after) {
        const auto old = before.find(row);
        if (old == before.end()) {
            // Another connection may have added the same row since; this one's replaces it.
            if (auto error = Run(database, remove, identity(row)))
                return error;
            StoreValues values = {keys.next(), keys.entity, std::int64_t(1),
                                  signature,   row.first,   row.second};
            values.insert(values.end(), payload.begin(), payload.end());
            if (auto error = Run(database, insert, values))
                return error;
            continue;
        }
        auto [sets, values] = ChangedColumns(table.payloadColumns, old->second, payload);
        if (sets.isEmpty())
            continue;
        const StoreValues where = identity(row);
        values.insert(values.end(), where.begin(), where.end());
        const QString update = QString("UPDATE %1 SET %2, %3%4")
                                   .arg(table.table, sets.join(", "), kNextOpt, kInstallationRow);
        if (auto error = Run(database, update, values))
            return error;
    }
    return std::nullopt;
}

// A client's name as the one text that every row naming it shares.
QString SharedClientText(const QString& text) {
    const std::optional<ClientKind> kind = ClientKindFromStoredText(text);
    return kind ? StoredText(*kind) : text;
}

// Every record, or only the one with the given key.
std::optional<QString> ReadRecords(sqlite3* database, SignatureEntity entity,
                                   StoredRecords* records, std::optional<std::int64_t> only) {
    records->clear();
    const auto query = [&](const QString& select, const char* keyColumn) {
        QString sql = select;
        if (only)
            sql += QString(" WHERE %1 = ?").arg(keyColumn);
        return (sql + " ORDER BY Z_PK").toUtf8();
    };
    QStringList names = {"Z_PK"};
    for (const char* name : AttributeColumnNames(entity))
        names << name;
    const QByteArray signaturesSql =
        query(QString("SELECT %1 FROM %2").arg(names.join(", "), SignatureTable(entity)), "Z_PK");
    StoreStatement signatures(database, signaturesSql.constData());
    if (!signatures.ok())
        return signatures.error();
    if (only)
        signatures.bind(1, *only);
    const std::vector<AttributeColumn>& columns = AttributeColumns(entity);
    while (signatures.step()) {
        SignatureAttributes& a = (*records)[signatures.integer(0)].attributes;
        for (size_t i = 0; i < columns.size(); ++i) {
            const int at = int(i) + 1;
            std::visit(
                [&](auto field) {
                    if constexpr (std::is_same_v<decltype(field), BoolField>) {
                        a.*field = signatures.integer(at) != 0;
                    } else if constexpr (std::is_same_v<decltype(field), IntegerField>) {
                        a.*field = signatures.integer(at);
                    } else if (field == &SignatureAttributes::uuidString) {
                        a.*field = signatures.uuidText(at);
                    } else {
                        a.*field = signatures.text(at);
                    }
                },
                columns[i].field);
        }
    }
    if (!signatures.error().isEmpty())
        return signatures.error();
    if (entity == SignatureEntity::webMail)
        return std::nullopt;

    const QByteArray selectedSql = query(kSelectSelected, "ZSIGNATURE");
    StoreStatement selected(database, selectedSql.constData());
    if (!selected.ok())
        return selected.error();
    if (only)
        selected.bind(1, *only);
    while (selected.step()) {
        const auto owner = records->find(selected.integer(0));
        if (owner == records->end())
            continue;
        owner->second.selectedInstallations.push_back(
            {SharedClientText(selected.text(1)), selected.text(2), selected.integer(3) != 0});
    }
    if (!selected.error().isEmpty())
        return selected.error();

    const QByteArray performedSql = query(kSelectPerformed, "ZSIGNATURE");
    StoreStatement performed(database, performedSql.constData());
    if (!performed.ok())
        return performed.error();
    if (only)
        performed.bind(1, *only);
    while (performed.step()) {
        const auto owner = records->find(performed.integer(0));
        if (owner == records->end())
            continue;
        // An installation mostly holds its signature's own text and uuid: holding them once
        // keeps a store of many signatures small in memory.
        const SignatureAttributes& a = owner->second.attributes;
        owner->second.performedInstallations.push_back(
            {SharedClientText(performed.text(1)), performed.text(2),
             performed.sharedText(3, {&a.uuidString}),
             performed.sharedText(4, {&a.localTextQe, &a.mainTextQe})});
    }
    if (!performed.error().isEmpty())
        return performed.error();

    for (auto& [key, record] : *records)
        record.sortInstallations();
    return std::nullopt;
}

}  // namespace

RecordDigest DigestOf(SignatureEntity entity, const SignatureRecord& record) {
    // Made for every record read, so made from the fields themselves, and an installation's text
    // (mostly its signature's own, shared) is hashed once.
    std::vector<std::uint64_t> hashes;
    hashes.reserve(32);
    const QString& text = record.attributes.localTextQe;
    const std::uint64_t textHash = HashOf(text);
    const TextHash hashText = [&](const QString& other) {
        return other.constData() == text.constData() && other.size() == text.size() ? textHash
                                                                                    : HashOf(other);
    };
    for (const AttributeColumn& column : AttributeColumns(entity)) {
        std::visit(
            [&](auto field) {
                if constexpr (std::is_same_v<decltype(field), TextField>) {
                    hashes.push_back(hashText(record.attributes.*field));
                } else {
                    hashes.push_back(HashOf(std::int64_t(record.attributes.*field)));
                }
            },
            column.field);
    }
    for (const InstallationTable& table : InstallationTablesOf(entity))
        table.hashRows(record, hashText, hashes);
    // Held for every stored record: no room to grow.
    return RecordDigest{{hashes.begin(), hashes.end()}};
}

SignatureRecord BaseForChange(SignatureEntity entity, const RecordDigest& saved,
                              const SignatureRecord& current, const SignatureRecord& change) {
    const std::vector<std::uint64_t>& hashes = saved.hashes;
    std::size_t at = 0;
    const auto next = [&]() { return at < hashes.size() ? hashes[at++] : 0; };
    // Each value: the change's when its hash is the digest's (this process left it), else the
    // current one.
    const auto pick = [&](const StoreValues& changed, const StoreValues& now) {
        StoreValues picked;
        for (std::size_t i = 0; i < changed.size(); ++i)
            picked.push_back(next() == HashOf(changed[i]) ? changed[i] : now[i]);
        return picked;
    };

    SignatureRecord base;
    base.attributes = AttributesOf(entity, pick(AttributeValues(entity, change.attributes),
                                                AttributeValues(entity, current.attributes)));

    for (const InstallationTable& table : InstallationTablesOf(entity)) {
        const InstallationRows changedRows = table.rows(change);
        const InstallationRows currentRows = table.rows(current);
        InstallationRows baseRows;
        const std::uint64_t count = next();
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t key = next();
            const auto changed =
                std::find_if(changedRows.begin(), changedRows.end(),
                             [&](const auto& row) { return RowKeyHash(row.first) == key; });
            const auto now =
                std::find_if(currentRows.begin(), currentRows.end(),
                             [&](const auto& row) { return RowKeyHash(row.first) == key; });
            if (changed == changedRows.end()) {
                // Removed by this process: taken from the file, so that the write removes it.
                at += table.payloadColumns.size();
                if (now != currentRows.end())
                    baseRows[now->first] = now->second;
            } else if (now == currentRows.end()) {
                // Removed by another process meanwhile: it stays gone, as nothing is written.
                at += table.payloadColumns.size();
                baseRows[changed->first] = changed->second;
            } else {
                baseRows[changed->first] = pick(changed->second, now->second);
            }
        }
        table.fill(base, baseRows);
    }
    base.sortInstallations();
    return base;
}

const std::vector<InstallationTable>& StoreRecordWriter::installationTables() const {
    return InstallationTablesOf(_entity);
}

std::optional<QString> ReadSignatureRecords(sqlite3* database, SignatureEntity entity,
                                            StoredRecords* records) {
    return ReadRecords(database, entity, records, std::nullopt);
}

Result<StoredPresence> ReadStoredPresence(sqlite3* database, SignatureEntity entity,
                                          const QUuid& uuid) {
    const QByteArray sql = QString("SELECT ZUUIDSTRING, ZPENDINGDELETION FROM %1")
                               .arg(SignatureTable(entity))
                               .toUtf8();
    StoreStatement rows(database, sql.constData());
    if (!rows.ok())
        return Failed{rows.error()};
    while (rows.step()) {
        if (ParseUuid(rows.uuidText(0)) == uuid)
            return rows.integer(1) != 0 ? StoredPresence::pendingDeletion : StoredPresence::current;
    }
    if (!rows.error().isEmpty())
        return Failed{rows.error()};
    return StoredPresence::absent;
}

std::optional<QString> ReadSignatureRecord(sqlite3* database, SignatureEntity entity,
                                           std::int64_t primaryKey,
                                           std::optional<SignatureRecord>* record) {
    StoredRecords records;
    if (auto error = ReadRecords(database, entity, &records, primaryKey))
        return error;
    const auto found = records.find(primaryKey);
    *record = found == records.end() ? std::nullopt : std::optional(found->second);
    return std::nullopt;
}

std::optional<QString> StoreRecordWriter::insert(std::int64_t primaryKey,
                                                 const SignatureRecord& record) {
    Columns columns = AttributeColumnNames(_entity);
    columns.insert(columns.end(), {"Z_PK", "Z_ENT", "Z_OPT"});
    StoreValues values = AttributeValues(_entity, record.attributes);
    values.insert(values.end(), {primaryKey, _keys.signature.entity, std::int64_t(1)});
    if (auto error = Run(_database, InsertSql(SignatureTable(_entity), columns), values))
        return error;
    return updateInstallations(primaryKey, SignatureRecord{}, record);
}

std::optional<QString> StoreRecordWriter::update(std::int64_t primaryKey,
                                                 const SignatureRecord& base,
                                                 const SignatureRecord& record) {
    auto [sets, values] =
        ChangedColumns(AttributeColumnNames(_entity), AttributeValues(_entity, base.attributes),
                       AttributeValues(_entity, record.attributes));
    if (!sets.isEmpty()) {
        values.push_back(primaryKey);
        const QString sql = QString("UPDATE %1 SET %2, %3 WHERE Z_PK = ?")
                                .arg(SignatureTable(_entity), sets.join(", "), kNextOpt);
        if (auto error = Run(_database, sql, values))
            return error;
    }
    return updateInstallations(primaryKey, base, record);
}

std::optional<QString> StoreRecordWriter::remove(std::int64_t primaryKey) {
    for (const InstallationTable& table : installationTables()) {
        if (auto error =
                Run(_database, QString("DELETE FROM %1 WHERE ZSIGNATURE = ?").arg(table.table),
                    {primaryKey})) {
            return error;
        }
    }
    return Run(_database, QString("DELETE FROM %1 WHERE Z_PK = ?").arg(SignatureTable(_entity)),
               {primaryKey});
}

std::optional<QString> StoreRecordWriter::updateInstallations(std::int64_t primaryKey,
                                                              const SignatureRecord& base,
                                                              const SignatureRecord& record) {
    for (const InstallationTable& table : installationTables()) {
        if (auto error = WriteInstallationChanges(_database, table, _keys.*(table.keys), primaryKey,
                                                  table.rows(base), table.rows(record))) {
            return error;
        }
    }
    return std::nullopt;
}

}  // namespace quillet
