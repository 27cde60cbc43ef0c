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

// The description items of the fields that every signature record (the desktop's and the
// web-mail extension's) has, from its file to its name, each only when it is set.
template <class Record>
QStringList DescribeSourceFields(const Record& s) {
    QStringList items;
    if (!s.fileNameQe.isEmpty())
        items << "file name: " + s.fileNameQe;
    if (!s.filePathQe.isEmpty())
        items << "file path: " + s.filePathQe;
    if (!s.keyQe.isEmpty())
        items << "key: " + s.keyQe;
    if (!s.localTextQe.isEmpty())
        items << "local text: length " + QString::number(CharacterCount(s.localTextQe));
    if (s.lastUpdateUnixTimeQz != 0)
        items << "last update Unix time: " + QString::number(s.lastUpdateUnixTimeQz);
    if (!s.mainTextQe.isEmpty())
        items << "main text: length " + QString::number(CharacterCount(s.mainTextQe));
    if (!s.nameQe.isEmpty())
        items << "name: " + s.nameQe;
    return items;
}

}  // namespace quillet
