#include "tests/support/SyncTestSupport.h"

#include <QUuid>

namespace quillet {

void RecordingSignatureSaver::saveSignatures(const SignatureIds& ids, const IdToSignatureMap& map) {
    savedIds.push_back(ids);
    QStringList descriptions;
    for (const SignatureId id : ids)
        descriptions.append(Describe(*map.at(id)));
    savedDescriptions.push_back(descriptions);
}

Signature& TestSignatures::add(const QString& mainText, const QString& name) {
    const int number = static_cast<int>(_ids.size()) + 1;
    auto signature = std::make_shared<Signature>();
    signature->active = true;
    signature->mainTextQe = mainText;
    signature->nameQe = name.isEmpty() ? QString("Signature %1").arg(number) : name;
    signature->uuidX = QUuid(TestUuidText(number));
    _ids.push_back(SignatureId{number});
    _map.emplace(SignatureId{number}, signature);
    return *signature;
}

QString TestUuidText(int number) {
    return QString("00000000-0000-0000-0000-%1").arg(number, 12, 10, QChar('0'));
}

void SelectAccounts(Signature& signature, ClientKind kind, const QStringList& emails,
                    bool pendingReinstallation) {
    SelectedInstallationsInfo info;
    for (const QString& email : emails)
        info.accountEmailToPayloadMap[email] = SelectedInstallationPayload{pendingReinstallation};
    signature.clientKindToSelectedInstallationsInfoMap[kind] = info;
}

void SelectAllAccounts(Signature& signature, ClientKind kind, bool pendingReinstallation) {
    SelectedInstallationsInfo info;
    info.allAccountsSelected = true;
    info.allAccountsPayloadX = SelectedInstallationPayload{pendingReinstallation};
    signature.clientKindToSelectedInstallationsInfoMap[kind] = info;
}

void RecordInstalled(Signature& signature, ClientKind kind, const QString& email,
                     const QString& idString, const QString& text) {
    PerformedInstallationsInfo& info = signature.clientKindToPerformedInstallationsInfoMap[kind];
    const PerformedInstallationPayload payload{idString, text};
    if (email.isEmpty()) {
        info.allAccountsInstalled = true;
        info.allAccountsPayloadX = payload;
    } else {
        info.accountEmailToPayloadMap[email] = payload;
    }
}

AccountsInfo MozillaAccountsInfo(const QStringList& emails, AccountsInfoStatus status) {
    AccountsInfo info;
    info.status = status;
    for (qsizetype i = 0; i < emails.size(); ++i) {
        info.accounts.push_back(std::make_shared<MozillaBasedClientAccount>(
            emails[i], QString::number(i + 1), std::nullopt));
    }
    return info;
}

AccountsInfo SparkAccountsInfo(const QStringList& emails, AccountsInfoStatus status) {
    AccountsInfo info;
    info.status = status;
    for (const QString& email : emails)
        info.accounts.push_back(std::make_shared<SparkAccount>(email, std::nullopt, std::nullopt));
    return info;
}

QStringList SyncWorld::descriptions() const {
    QStringList list;
    for (const SignatureId id : signatures.ids())
        list.append(Describe(*signatures.map().at(id)));
    return list;
}

}  // namespace quillet
