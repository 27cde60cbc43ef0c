#pragma once
// Carrying signatures forward from the "DataV1" layout (table ZSIGNATUREMODEL): reading its
// records and turning each into a "DataV2" record with its installations.

#include <QString>
#include <optional>
#include <vector>

#include "app/store/StoreRecord.h"
#include "common/ClientKind.h"

struct sqlite3;

namespace quillet {

// One "DataV1" record; every text trimmed, empty when absent.
struct LegacySignatureRecord {
    QString key;
    QString textCustom;
    QString text;
    QString name;
    QString uuid;
    QString client;
    QString account;
};

// Every record in the store's order; a column the file lacks reads as empty. Returns SQLite's
// description on failure.
std::optional<QString> ReadLegacySignatureRecords(sqlite3* database,
                                                  std::vector<LegacySignatureRecord>* records);

// The client named by an old client name's prefix ("Mac Mail …", "Microsoft Outlook …", …).
std::optional<ClientKind> LegacyClientKind(const QString& clientName);
// The email of an old account text ("Name - a@b.c"); empty for "All" and for a text whose
// last part holds no "@".
QString LegacyAccountEmail(const QString& accountText);

// The new record: active, colour not yet assigned, the old uuid when it parses (else a new
// one), one selected installation for a known client and, where the client holds it per
// account or for all accounts, the performed installation.
SignatureRecord MigratedRecord(const LegacySignatureRecord& legacy);

}  // namespace quillet
