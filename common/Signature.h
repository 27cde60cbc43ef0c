#pragma once
// The in-memory signature records that every subsystem shares: the signature, where the user
// wants it (selected installations) and where it is now (performed installations).

#include <QString>
#include <QUuid>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "common/ClientKind.h"
#include "common/SignatureId.h"

namespace quillet {

struct SelectedInstallationPayload {
    bool pendingReinstallation = false;  // write again at the next sync even if unchanged
};

struct SelectedInstallationsInfo {
    bool allAccountsSelected = false;
    std::optional<SelectedInstallationPayload> allAccountsPayloadX;  // present iff all selected
    std::map<QString, SelectedInstallationPayload> accountEmailToPayloadMap;
};

struct PerformedInstallationPayload {
    QString idStringQe;  // the identifier under which the client holds the signature
    QString textQe;      // the exact text written into the client
};

struct PerformedInstallationsInfo {
    bool allAccountsInstalled = false;
    std::optional<PerformedInstallationPayload> allAccountsPayloadX;
    std::map<QString, PerformedInstallationPayload> accountEmailToPayloadMap;
};

struct Signature {
    bool active = false;
    std::int64_t colorIndex = 0;
    QString fileNameQe;
    QString filePathQe;
    bool insertForRepliesForwards = false;
    bool insertForForwards = false;
    QString keyQe;
    std::int64_t lastUpdateUnixTimeQz = 0;
    QString localTextQe;
    QString mainTextQe;
    QString nameQe;
    bool pendingDeletion = false;
    std::optional<QUuid> uuidX;
    std::map<ClientKind, SelectedInstallationsInfo> clientKindToSelectedInstallationsInfoMap;
    std::map<ClientKind, PerformedInstallationsInfo> clientKindToPerformedInstallationsInfoMap;

    bool isServiceBased() const { return !keyQe.isEmpty(); }
    // The uuid; reading it absent is a programming error.
    const QUuid& uuid() const;
    // Marks every selected payload for reinstallation (the all-accounts payload of a client
    // whose all accounts are selected, else every account's payload).
    void markForReinstallation();
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
