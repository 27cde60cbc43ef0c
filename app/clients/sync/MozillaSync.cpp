#include "app/clients/sync/MozillaSync.h"

#include "app/clients/PrefsFile.h"
#include "common/Log.h"

namespace quillet {

std::vector<const MozillaBasedClientAccount*> MozillaIdentities(const AccountsInfo& accountsInfo) {
    std::vector<const MozillaBasedClientAccount*> identities;
    for (const AccountPtr& account : accountsInfo.accounts) {
        if (const auto* identity = dynamic_cast<const MozillaBasedClientAccount*>(account.get()))
            identities.push_back(identity);
    }
    return identities;
}

QString IdentityGroupPrefix(const MozillaBasedClientAccount& identity) {
    return "mail.identity.id" + identity.idString() + ".";
}

std::map<QString, QString> IdentityStringValues(const AccountsInfo& accountsInfo,
                                                const QStringList& lines, const QString& setting) {
    std::set<QString> keys;
    for (const MozillaBasedClientAccount* identity : MozillaIdentities(accountsInfo))
        keys.insert(IdentityGroupPrefix(*identity) + setting);
    return GetPrefsStringValues(lines, keys);
}

QStringList PrefsEdits::appliedTo(const QStringList& lines) const {
    return RemovePrefsLines(SetPrefsLines(lines, settings), removedKeys);
}

void VisitAssignedIdentities(ClientKind clientKind, const SyncInputs& inputs,
                             const IdentityVisitor& visit) {
    const auto assignment = AccountEmailToSignatureIdMap(
        clientKind, inputs.accountsInfo, inputs.signatureIds, inputs.idToSignatureMap);
    for (const MozillaBasedClientAccount* identity : MozillaIdentities(inputs.accountsInfo)) {
        const auto assigned = assignment.find(identity->email());
        const Signature* signature = assigned == assignment.end()
                                         ? nullptr
                                         : inputs.idToSignatureMap.at(assigned->second).get();
        visit(*identity, IdentityGroupPrefix(*identity), signature);
    }
}

QString PrefsBoolRawValue(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

void AppendInsertionSettings(std::vector<PrefsLineSetting>& settings, const QString& prefix,
                             const Signature& signature) {
    settings.push_back(PrefsLineSetting{prefix + kSigOnReplySetting,
                                        PrefsBoolRawValue(signature.insertForRepliesForwards),
                                        prefix});
    settings.push_back(PrefsLineSetting{prefix + kSigOnFwdSetting,
                                        PrefsBoolRawValue(signature.insertForForwards), prefix});
}

QString ProfileFilePath(const ClientInfo& clientInfo, const QString& name) {
    return clientInfo.mozillaBasedClientProfilePathQ.value_or(QString()) + "/" + name;
}

QString PrefsFilePath(const ClientInfo& clientInfo) {
    return ProfileFilePath(clientInfo, QStringLiteral("prefs.js"));
}

std::optional<QStringList> ReadSyncPrefsFile(const QString& syncName, const QString& path) {
    auto lines = ReadPrefsFileLines(path);
    if (!lines)
        LogError(syncName + ": Could not read prefs file " + path);
    return lines;
}

bool WriteSyncPrefsFile(const QString& syncName, const QString& path, const QStringList& lines,
                        ClientWrites& writes) {
    const QByteArray contents = PrefsFileContents(lines);
    if (FileHolds(path, contents))
        return true;
    LogInfo(syncName + ": Writing out " + path + "...");
    if (!writes.writeFile(path, contents))
        return true;
    LogError(syncName + ": Could not write out " + path);
    return false;
}

}  // namespace quillet
