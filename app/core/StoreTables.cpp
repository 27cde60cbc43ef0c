#include "app/core/StoreTables.h"

namespace quillet {

namespace {

constexpr const char* kSelectSignatures =
    "SELECT Z_PK, ZACTIVE, ZCOLORINDEX, ZFILENAMEQE, ZFILEPATHQE, ZINSERTFORREPLIESFORWARDS, "
    "ZINSERTFORFORWARDS, ZKEYQE, ZLASTUPDATEUNIXTIMEQZ, ZLOCALTEXTQE, ZMAINTEXTQE, ZNAMEQE, "
    "ZPENDINGDELETION, ZUUIDSTRING FROM ZSIGNATUREENTITYV2 ORDER BY Z_PK";
constexpr const char* kSelectSelected =
    "SELECT ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZPENDINGREINSTALLATION FROM "
    "ZSELECTEDINSTALLATIONENTITYV2 ORDER BY Z_PK";
constexpr const char* kSelectPerformed =
    "SELECT ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZIDSTRINGQE, ZTEXTQE FROM "
    "ZPERFORMEDINSTALLATIONENTITYV2 ORDER BY Z_PK";

// The thirteen attributes bind as parameters 1 to 13 in this order in both statements.
constexpr const char* kInsertSignature =
    "INSERT INTO ZSIGNATUREENTITYV2 (ZACTIVE, ZCOLORINDEX, ZFILENAMEQE, ZFILEPATHQE, "
    "ZINSERTFORREPLIESFORWARDS, ZINSERTFORFORWARDS, ZKEYQE, ZLASTUPDATEUNIXTIMEQZ, ZLOCALTEXTQE, "
    "ZMAINTEXTQE, ZNAMEQE, ZPENDINGDELETION, ZUUIDSTRING, Z_PK, Z_ENT, Z_OPT) VALUES (?, ?, ?, ?, "
    "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1)";
constexpr const char* kUpdateSignature =
    "UPDATE ZSIGNATUREENTITYV2 SET ZACTIVE = ?1, ZCOLORINDEX = ?2, ZFILENAMEQE = ?3, "
    "ZFILEPATHQE = ?4, ZINSERTFORREPLIESFORWARDS = ?5, ZINSERTFORFORWARDS = ?6, ZKEYQE = ?7, "
    "ZLASTUPDATEUNIXTIMEQZ = ?8, ZLOCALTEXTQE = ?9, ZMAINTEXTQE = ?10, ZNAMEQE = ?11, "
    "ZPENDINGDELETION = ?12, ZUUIDSTRING = ?13, Z_OPT = COALESCE(Z_OPT, 0) + 1 WHERE Z_PK = ?14";
constexpr const char* kInsertSelected =
    "INSERT INTO ZSELECTEDINSTALLATIONENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZSIGNATURE, ZCLIENT, "
    "ZACCOUNTEMAILQE, ZPENDINGREINSTALLATION) VALUES (?, ?, 1, ?, ?, ?, ?)";
constexpr const char* kInsertPerformed =
    "INSERT INTO ZPERFORMEDINSTALLATIONENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZSIGNATURE, ZCLIENT, "
    "ZACCOUNTEMAILQE, ZIDSTRINGQE, ZTEXTQE) VALUES (?, ?, 1, ?, ?, ?, ?, ?)";
constexpr const char* kDeleteSelected =
    "DELETE FROM ZSELECTEDINSTALLATIONENTITYV2 WHERE ZSIGNATURE = ?";
constexpr const char* kDeletePerformed =
    "DELETE FROM ZPERFORMEDINSTALLATIONENTITYV2 WHERE ZSIGNATURE = ?";
constexpr const char* kDeleteSignature = "DELETE FROM ZSIGNATUREENTITYV2 WHERE Z_PK = ?";

void BindAttributes(StoreStatement& statement, const SignatureAttributes& a) {
    statement.bind(1, std::int64_t(a.active));
    statement.bind(2, a.colorIndex);
    statement.bind(3, a.fileNameQe);
    statement.bind(4, a.filePathQe);
    statement.bind(5, std::int64_t(a.insertForRepliesForwards));
    statement.bind(6, std::int64_t(a.insertForForwards));
    statement.bind(7, a.keyQe);
    statement.bind(8, a.lastUpdateUnixTimeQz);
    statement.bind(9, a.localTextQe);
    statement.bind(10, a.mainTextQe);
    statement.bind(11, a.nameQe);
    statement.bind(12, std::int64_t(a.pendingDeletion));
    statement.bind(13, a.uuidString);
}

}  // namespace

std::optional<QString> ReadSignatureRecords(sqlite3* database, StoredRecords* records) {
    records->clear();
    StoreStatement signatures(database, kSelectSignatures);
    if (!signatures.ok())
        return signatures.error();
    while (signatures.step()) {
        SignatureAttributes& a = (*records)[signatures.integer(0)].attributes;
        a.active = signatures.integer(1) != 0;
        a.colorIndex = signatures.integer(2);
        a.fileNameQe = signatures.text(3);
        a.filePathQe = signatures.text(4);
        a.insertForRepliesForwards = signatures.integer(5) != 0;
        a.insertForForwards = signatures.integer(6) != 0;
        a.keyQe = signatures.text(7);
        a.lastUpdateUnixTimeQz = signatures.integer(8);
        a.localTextQe = signatures.text(9);
        a.mainTextQe = signatures.text(10);
        a.nameQe = signatures.text(11);
        a.pendingDeletion = signatures.integer(12) != 0;
        a.uuidString = signatures.uuidText(13);
    }
    if (!signatures.error().isEmpty())
        return signatures.error();

    StoreStatement selected(database, kSelectSelected);
    if (!selected.ok())
        return selected.error();
    while (selected.step()) {
        const auto owner = records->find(selected.integer(0));
        if (owner == records->end())
            continue;
        owner->second.selectedInstallations.push_back(
            {selected.text(1), selected.text(2), selected.integer(3) != 0});
    }
    if (!selected.error().isEmpty())
        return selected.error();

    StoreStatement performed(database, kSelectPerformed);
    if (!performed.ok())
        return performed.error();
    while (performed.step()) {
        const auto owner = records->find(performed.integer(0));
        if (owner == records->end())
            continue;
        owner->second.performedInstallations.push_back(
            {performed.text(1), performed.text(2), performed.text(3), performed.text(4)});
    }
    if (!performed.error().isEmpty())
        return performed.error();

    for (auto& [key, record] : *records)
        record.sortInstallations();
    return std::nullopt;
}

struct StoreRecordWriter::Statements {
    explicit Statements(sqlite3* database)
        : insertSignature(database, kInsertSignature),
          updateSignature(database, kUpdateSignature),
          insertSelected(database, kInsertSelected),
          insertPerformed(database, kInsertPerformed),
          deleteSelected(database, kDeleteSelected),
          deletePerformed(database, kDeletePerformed),
          deleteSignature(database, kDeleteSignature) {}

    StoreStatement insertSignature;
    StoreStatement updateSignature;
    StoreStatement insertSelected;
    StoreStatement insertPerformed;
    StoreStatement deleteSelected;
    StoreStatement deletePerformed;
    StoreStatement deleteSignature;
};

StoreRecordWriter::StoreRecordWriter(sqlite3* database, StoreKeys& keys)
    : _keys(keys), _statements(std::make_unique<Statements>(database)) {}

StoreRecordWriter::~StoreRecordWriter() = default;

std::optional<QString> StoreRecordWriter::insert(std::int64_t primaryKey,
                                                 const SignatureRecord& record) {
    StoreStatement& statement = _statements->insertSignature;
    if (!statement.ok())
        return statement.error();
    BindAttributes(statement, record.attributes);
    statement.bind(14, primaryKey);
    statement.bind(15, _keys.signature.entity);
    if (!statement.run())
        return statement.error();
    return writeInstallations(primaryKey, record);
}

std::optional<QString> StoreRecordWriter::update(std::int64_t primaryKey,
                                                 const SignatureRecord& stored,
                                                 const SignatureRecord& record) {
    if (stored.attributes != record.attributes) {
        StoreStatement& statement = _statements->updateSignature;
        if (!statement.ok())
            return statement.error();
        BindAttributes(statement, record.attributes);
        statement.bind(14, primaryKey);
        if (!statement.run())
            return statement.error();
    }
    if (stored.selectedInstallations == record.selectedInstallations &&
        stored.performedInstallations == record.performedInstallations) {
        return std::nullopt;
    }
    if (auto error = removeInstallations(primaryKey))
        return error;
    return writeInstallations(primaryKey, record);
}

std::optional<QString> StoreRecordWriter::remove(std::int64_t primaryKey) {
    if (auto error = removeInstallations(primaryKey))
        return error;
    StoreStatement& statement = _statements->deleteSignature;
    if (!statement.ok())
        return statement.error();
    statement.bind(1, primaryKey);
    if (!statement.run())
        return statement.error();
    return std::nullopt;
}

std::optional<QString> StoreRecordWriter::writeInstallations(std::int64_t primaryKey,
                                                             const SignatureRecord& record) {
    StoreStatement& selected = _statements->insertSelected;
    if (!selected.ok())
        return selected.error();
    for (const SelectedInstallationRecord& row : record.selectedInstallations) {
        selected.bind(1, _keys.selectedInstallation.next());
        selected.bind(2, _keys.selectedInstallation.entity);
        selected.bind(3, primaryKey);
        selected.bind(4, row.client);
        selected.bind(5, row.accountEmailQe);
        selected.bind(6, std::int64_t(row.pendingReinstallation));
        if (!selected.run())
            return selected.error();
    }
    StoreStatement& performed = _statements->insertPerformed;
    if (!performed.ok())
        return performed.error();
    for (const PerformedInstallationRecord& row : record.performedInstallations) {
        performed.bind(1, _keys.performedInstallation.next());
        performed.bind(2, _keys.performedInstallation.entity);
        performed.bind(3, primaryKey);
        performed.bind(4, row.client);
        performed.bind(5, row.accountEmailQe);
        performed.bind(6, row.idStringQe);
        performed.bind(7, row.textQe);
        if (!performed.run())
            return performed.error();
    }
    return std::nullopt;
}

std::optional<QString> StoreRecordWriter::removeInstallations(std::int64_t primaryKey) {
    for (StoreStatement* statement :
         {&_statements->deleteSelected, &_statements->deletePerformed}) {
        if (!statement->ok())
            return statement->error();
        statement->bind(1, primaryKey);
        if (!statement->run())
            return statement->error();
    }
    return std::nullopt;
}

}  // namespace quillet
