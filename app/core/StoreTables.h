#pragma once
// Reading and writing signature records in the "DataV2" tables. Writers run inside the caller's
// transaction; every failure is SQLite's description.

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "app/core/StoreRecord.h"
#include "app/core/StoreSchema.h"
#include "app/core/StoreSql.h"

struct sqlite3;

namespace quillet {

using StoredRecords = std::map<std::int64_t, SignatureRecord>;  // by Z_PK, in store order

// Every signature row with its installation rows. Columns Core Data left NULL read as empty;
// installation rows whose signature is missing are left out.
std::optional<QString> ReadSignatureRecords(sqlite3* database, StoredRecords* records);

// Writes records within one transaction, reusing its prepared statements.
class StoreRecordWriter {
public:
    StoreRecordWriter(sqlite3* database, StoreKeys& keys);
    ~StoreRecordWriter();
    StoreRecordWriter(const StoreRecordWriter&) = delete;
    StoreRecordWriter& operator=(const StoreRecordWriter&) = delete;

    std::optional<QString> insert(std::int64_t primaryKey, const SignatureRecord& record);
    // Writes only the parts of the record that differ from what the file holds.
    std::optional<QString> update(std::int64_t primaryKey, const SignatureRecord& stored,
                                  const SignatureRecord& record);
    // The installation rows go first, as the relationships cascade.
    std::optional<QString> remove(std::int64_t primaryKey);

private:
    std::optional<QString> writeInstallations(std::int64_t primaryKey,
                                              const SignatureRecord& record);
    std::optional<QString> removeInstallations(std::int64_t primaryKey);

    struct Statements;
    StoreKeys& _keys;
    std::unique_ptr<Statements> _statements;
};

}  // namespace quillet
