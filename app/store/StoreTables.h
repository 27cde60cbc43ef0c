#pragma once
// Reading and writing signature records in the tables of a model's signature entity. Writers run
// inside the caller's transaction; every failure is SQLite's description.

#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "app/store/StoreRecord.h"
#include "app/store/StoreSchema.h"
#include "app/store/StoreSql.h"
#include "common/Result.h"

struct sqlite3;

namespace quillet {

using StoredRecords = std::map<std::int64_t, SignatureRecord>;  // by Z_PK, in store order

// Every signature row with its installation rows. Columns Core Data left NULL read as empty;
// installation rows whose signature is missing are left out.
std::optional<QString> ReadSignatureRecords(sqlite3* database, SignatureEntity entity,
                                            StoredRecords* records);
// What the file holds of the signature with this uuid (stored as text or as Core Data's raw
// bytes).
Result<StoredPresence> ReadStoredPresence(sqlite3* database, SignatureEntity entity,
                                          const QUuid& uuid);
// The one row with its installations; *record is absent when the file has no such row.
std::optional<QString> ReadSignatureRecord(sqlite3* database, SignatureEntity entity,
                                           std::int64_t primaryKey,
                                           std::optional<SignatureRecord>* record);

// What a save needs to know of a record as this process last read or wrote it, in a fraction of
// its size: a 64-bit hash of each attribute, and of each installation row's client and email and
// of each of its payload columns. Records whose digests are equal are taken as equal.
struct RecordDigest {
    std::vector<std::uint64_t> hashes;  // the attributes', then each table's rows (a count first)
    bool operator==(const RecordDigest&) const = default;
};
RecordDigest DigestOf(SignatureEntity entity, const SignatureRecord& record);
// The record to write `change` against, so that only what this process changed since the digest
// is written over `current`, what the file holds now: an attribute or row payload that this
// process left as it was comes from `change` (nothing to write), one it changed from `current`
// (written where it differs). A row the process removed is taken from `current`, and so goes
// with the write; one that another process removed meanwhile stays removed.
SignatureRecord BaseForChange(SignatureEntity entity, const RecordDigest& saved,
                              const SignatureRecord& current, const SignatureRecord& change);

// Writes records within the caller's transaction, taking installation keys from `keys`.
// Installation rows are known by their client and account email; the web-mail entity has none.
struct InstallationTable;

class StoreRecordWriter {
public:
    StoreRecordWriter(sqlite3* database, SignatureEntity entity, StoreKeys& keys)
        : _database(database), _entity(entity), _keys(keys) {}

    std::optional<QString> insert(std::int64_t primaryKey, const SignatureRecord& record);
    // Writes only what `record` changes from `base`, this connection's own copy of the row:
    // attributes and installation rows that another connection changed since are left as they
    // are, unless this one changed them too.
    std::optional<QString> update(std::int64_t primaryKey, const SignatureRecord& base,
                                  const SignatureRecord& record);
    // The installation rows go first, as the relationships cascade.
    std::optional<QString> remove(std::int64_t primaryKey);

private:
    std::optional<QString> updateInstallations(std::int64_t primaryKey, const SignatureRecord& base,
                                               const SignatureRecord& record);

    const std::vector<InstallationTable>& installationTables() const;

    sqlite3* _database;
    SignatureEntity _entity;
    StoreKeys& _keys;
};

}  // namespace quillet
