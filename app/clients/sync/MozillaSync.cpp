#include "app/clients/sync/MozillaSync.h"

#include <map>

#include "app/clients/PrefsFile.h"
#include "common/Log.h"

namespace quillet {

namespace {

const QString kIdentityKeyStart = QStringLiteral("mail.identity.id");
const QString kUserEmailEnd = QStringLiteral(".useremail");

}  // namespace

std::vector<const MozillaBasedClientAccount*> MozillaIdentities(const AccountsInfo& accountsInfo) {
    std::vector<const MozillaBasedClientAccount*> identities;
    for (const AccountPtr& account : accountsInfo.accounts) {
        if (const auto* identity = dynamic_cast<const MozillaBasedClientAccount*>(account.get()))
            identities.push_back(identity);
    }
    return identities;
}

QString IdentityGroupPrefix(const QString& identityNumber) {
    return kIdentityKeyStart + identityNumber + ".";
}

std::map<QString, QString> IdentityStringValues(const QStringList& lines, const QString& setting) {
    const QString keyEnd = "." + setting;
    std::map<QString, QString> values;
    for (const QString& line : lines) {
        if (!line.contains(keyEnd))
            continue;  // cheap test before the parse
        const auto parsed = ParsePrefsLine(line);
        if (!parsed || !parsed->key.startsWith(kIdentityKeyStart) || !parsed->key.endsWith(keyEnd))
            continue;
        // A later line overrides an earlier one, even when its value is not a string.
        if (auto text = PrefsStringOfRawValue(parsed->rawValue))
            values[parsed->key] = std::move(*text);
        else
            values.erase(parsed->key);
    }
    return values;
}

QStringList PrefsEdits::appliedTo(const QStringList& lines) const {
    return RemovePrefsLines(SetPrefsLines(lines, settings), removedKeys);
}

namespace {

// The address each identity number carries in the lines, read as discovery reads it (the text
// between the quotation marks, as written); a later line overrides an earlier one. Ordered as
// discovery orders identities (by number as text).
std::map<QString, QString> IdentityEmails(const QStringList& lines) {
    std::map<QString, QString> emails;
    for (const QString& line : lines) {
        if (!line.contains(kUserEmailEnd))
            continue;  // cheap test before the parse
        const auto parsed = ParsePrefsLine(line);
        if (!parsed || !parsed->key.startsWith(kIdentityKeyStart) ||
            !parsed->key.endsWith(kUserEmailEnd))
            continue;
        const QString number =
            parsed->key.mid(kIdentityKeyStart.size(),
                            parsed->key.size() - kIdentityKeyStart.size() - kUserEmailEnd.size());
        QString value = parsed->rawValue;
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        if (!number.isEmpty() && !number.contains('.'))
            emails[number] = value;
    }
    return emails;
}

// The identity number that carries the account's address: the one discovery found when it still
// does, else the first that does.
std::optional<QString> IdentityCarrying(const std::map<QString, QString>& emails,
                                        const MozillaBasedClientAccount& account) {
    const auto found = emails.find(account.idString());
    if (found != emails.end() && found->second == account.email())
        return account.idString();
    for (const auto& [number, email] : emails) {
        if (email == account.email())
            return number;
    }
    return std::nullopt;
}

}  // namespace

std::set<QString> VisitAssignedIdentities(ClientKind clientKind, const SyncInputs& inputs,
                                          const QStringList& lines, const QString& syncName,
                                          const IdentityVisitor& visit) {
    const auto assignment = AccountEmailToSignatureIdMap(
        clientKind, inputs.accountsInfo, inputs.signatureIds, inputs.idToSignatureMap);
    const auto emails = IdentityEmails(lines);
    std::set<QString> unwritten;
    for (const MozillaBasedClientAccount* account : MozillaIdentities(inputs.accountsInfo)) {
        const auto number = IdentityCarrying(emails, *account);
        if (!number) {
            LogWarning(syncName + ": Not writing " + account->email() + ": no identity of " +
                       PrefsFilePath(inputs.clientInfo) + " carries it");
            unwritten.insert(account->email());
            continue;
        }
        if (*number != account->idString()) {
            LogInfo(syncName + ": Identity " + account->idString() + " no longer carries " +
                    account->email() + ", identity " + *number + " does");
        }
        const auto assigned = assignment.find(account->email());
        const Signature* signature = assigned == assignment.end()
                                         ? nullptr
                                         : inputs.idToSignatureMap.at(assigned->second).get();
        visit(*account, IdentityGroupPrefix(*number), signature);
    }
    return unwritten;
}

ClientSettings IdentitySettings(const QStringList& lines, const QString& prefix,
                                const QStringList& settingNames) {
    ClientSettings settings;
    for (const QString& name : settingNames)
        settings[name] = GetPrefsRawValue(lines, prefix + name);
    return settings;
}

void PutBackIdentitySettings(PrefsEdits& edits, const QString& prefix,
                             const ClientSettings& settings) {
    for (const auto& [name, rawValue] : settings) {
        if (rawValue)
            edits.settings.push_back({prefix + name, *rawValue, prefix});
        else
            edits.removedKeys.insert(prefix + name);
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

QString ProfileFolder(const ClientInfo& clientInfo) {
    return clientInfo.mozillaBasedClientProfilePathQ.value_or(QString());
}

QString ProfileFilePath(const ClientInfo& clientInfo, const QString& name) {
    return ProfileFolder(clientInfo) + "/" + name;
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

std::optional<FileFailure> WriteSyncPrefsFile(const QString& syncName, const QString& path,
                                              const QStringList& lines, ClientWrites& writes) {
    const QByteArray contents = PrefsFileContents(lines);
    if (FileHolds(path, contents))
        return std::nullopt;
    LogInfo(syncName + ": Writing out " + path + "...");
    auto failure = writes.writeFile(path, contents);
    if (failure)
        LogError(syncName + ": Could not write out " + path);
    return failure;
}

}  // namespace quillet
