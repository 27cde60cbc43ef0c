#include "app/store/StoreMigration.h"

#include <QStringList>
#include <QUuid>
#include <utility>

#include "app/store/StoreSchema.h"
#include "app/store/StoreSql.h"
#include "common/Text.h"

namespace quillet {

namespace {

const char* const kLegacyColumns[] = {"ZKEY",  "ZTEXTCUSTOM", "ZTEXT",   "ZNAME",
                                      "ZUUID", "ZCLIENT",     "ZACCOUNT"};

}  // namespace

std::optional<QString> ReadLegacySignatureRecords(sqlite3* database,
                                                  std::vector<LegacySignatureRecord>* records) {
    records->clear();
    const std::optional<QStringList> existing = TableColumns(database, kLegacySignatureTable);
    if (!existing)
        return StoreErrorText(database);
    QStringList selected;
    for (const char* column : kLegacyColumns) {
        selected << (existing->contains(column) ? QString(column) : QString("NULL"));
    }
    const QString order = existing->contains("Z_PK") ? " ORDER BY Z_PK" : "";
    const QByteArray sql = QString("SELECT %1 FROM %2%3")
                               .arg(selected.join(", "), kLegacySignatureTable, order)
                               .toUtf8();
    StoreStatement statement(database, sql.constData());
    if (!statement.ok())
        return statement.error();
    while (statement.step()) {
        records->push_back({TrimmedText(statement.text(0)), TrimmedText(statement.text(1)),
                            TrimmedText(statement.text(2)), TrimmedText(statement.text(3)),
                            TrimmedText(statement.uuidText(4)), TrimmedText(statement.text(5)),
                            TrimmedText(statement.text(6))});
    }
    if (!statement.error().isEmpty())
        return statement.error();
    return std::nullopt;
}

std::optional<ClientKind> LegacyClientKind(const QString& clientName) {
    static const std::pair<const char*, ClientKind> kPrefixes[] = {
        {"Mac Mail", ClientKind::appleMail},      {"Microsoft Outlook", ClientKind::outlook},
        {"Postbox", ClientKind::postbox},         {"Spark", ClientKind::spark},
        {"Thunderbird", ClientKind::thunderbird},
    };
    for (const auto& [prefix, kind] : kPrefixes) {
        if (clientName.startsWith(QLatin1String(prefix)))
            return kind;
    }
    return std::nullopt;
}

QString LegacyAccountEmail(const QString& accountText) {
    if (accountText == "All")
        return {};
    const qsizetype separator = accountText.lastIndexOf(" - ");
    const QString part = TrimmedText(separator < 0 ? accountText : accountText.mid(separator + 3));
    return part.contains('@') ? part : QString();
}

SignatureRecord MigratedRecord(const LegacySignatureRecord& legacy) {
    SignatureRecord record;
    SignatureAttributes& a = record.attributes;
    // Written active like every new signature: an inactive one would be removed from its client
    // by the first sync, and a file-based one would never become active again.
    a.active = true;
    a.colorIndex = -1;
    a.keyQe = legacy.key;
    a.localTextQe = legacy.textCustom;
    a.mainTextQe = legacy.text;
    a.nameQe = legacy.name;
    a.pendingDeletion = false;
    const std::optional<QUuid> uuid = ParseUuid(legacy.uuid);
    a.uuidString = CanonicalUuidText(uuid ? *uuid : QUuid::createUuid());

    const std::optional<ClientKind> kind = LegacyClientKind(legacy.client);
    if (!kind)
        return record;
    const QString email = LegacyAccountEmail(legacy.account);
    record.selectedInstallations.push_back({StoredText(*kind), email, false});
    if (!email.isEmpty() || AcceptsAllAccountsSelection(*kind)) {
        QString idString;
        switch (*kind) {
            case ClientKind::appleMail:
            case ClientKind::postbox:
            case ClientKind::spark:
                idString = a.uuidString;
                break;
            case ClientKind::outlook:
                idString = a.nameQe;
                break;
            case ClientKind::thunderbird:
            case ClientKind::evolution:
            case ClientKind::kmail:
            case ClientKind::geary:
                break;
        }
        const QString text = legacy.text.isEmpty() ? legacy.textCustom : legacy.text;
        record.performedInstallations.push_back({StoredText(*kind), email, idString, text});
    }
    return record;
}

}  // namespace quillet
