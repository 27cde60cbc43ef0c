#pragma once
// The in-memory signature records that every subsystem shares: the signature, where the user
// wants it (selected installations) and where it is now (performed installations).

#include <QString>
#include <QStringList>
#include <QUuid>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "common/ClientKind.h"
#include "common/SignatureFields.h"
#include "common/SignatureId.h"
#include "common/Text.h"

namespace quillet {

struct SelectedInstallationPayload {
    bool pendingReinstallation = false;  // write again at the next sync even if unchanged
    bool operator==(const SelectedInstallationPayload&) const = default;
};

struct SelectedInstallationsInfo {
    bool allAccountsSelected = false;
    std::optional<SelectedInstallationPayload> allAccountsPayloadX;  // present iff all selected
    std::map<QString, SelectedInstallationPayload> accountEmailToPayloadMap;
    bool operator==(const SelectedInstallationsInfo&) const = default;
};

struct PerformedInstallationPayload {
    QString idStringQe;  // the identifier under which the client holds the signature
    QString textQe;      // the exact text written into the client
    bool operator==(const PerformedInstallationPayload&) const = default;
};

struct PerformedInstallationsInfo {
    bool allAccountsInstalled = false;
    std::optional<PerformedInstallationPayload> allAccountsPayloadX;
    std::map<QString, PerformedInstallationPayload> accountEmailToPayloadMap;
    bool operator==(const PerformedInstallationsInfo&) const = default;
};

// What the store holds of a signature as its file is now: another process may have added it,
// removed it or marked it for removal since this one read the signatures.
enum class StoredPresence { absent, current, pendingDeletion };

struct Signature : SignatureFields {
    std::optional<QUuid> uuidX;
    std::map<ClientKind, SelectedInstallationsInfo> clientKindToSelectedInstallationsInfoMap;
    std::map<ClientKind, PerformedInstallationsInfo> clientKindToPerformedInstallationsInfoMap;

    // All of it, not only the fields every record has.
    bool operator==(const Signature&) const = default;

    // The uuid; reading it absent is a programming error.
    const QUuid& uuid() const;
    // Marks every selected payload for reinstallation (the all-accounts payload of a client
    // whose all accounts are selected, else every account's payload), of every client or of one.
    void markForReinstallation();
    void markForReinstallation(ClientKind kind);
};

using SignaturePtr = std::shared_ptr<Signature>;
using IdToSignatureMap = std::map<SignatureId, SignaturePtr>;

struct SignatureUpdate {
    QString newMainTextQe;
};

// One-line descriptions that log lines embed.
QString Describe(const SelectedInstallationPayload& payload);
QString Describe(const SelectedInstallationsInfo& info);
QString Describe(const PerformedInstallationPayload& payload);
QString Describe(const PerformedInstallationsInfo& info);
QString Describe(const Signature& signature);

}  // namespace quillet
