#include "app/clients/sync/AppleMailLists.h"

#include <QUrl>

#include "app/clients/accounts/AppleMailAccounts.h"
#include "app/clients/sync/ClientText.h"
#include "common/Text.h"

namespace quillet {

namespace {

const QString kSignatures = QStringLiteral("Signatures");
const QString kUniqueId = QStringLiteral("SignatureUniqueId");
const QString kName = QStringLiteral("SignatureName");
const QString kIsRich = QStringLiteral("SignatureIsRich");

// The id of the Quillet signature a UUID text names.
std::optional<SignatureId> QuilletId(const AppleMailSyncInfo& info,
                                     const std::optional<QString>& uuidText) {
    if (!uuidText)
        return std::nullopt;
    const auto found = info.uuidTextToSignatureIdMap.find(uuidText->toUpper());
    if (found == info.uuidTextToSignatureIdMap.end())
        return std::nullopt;
    return found->second;
}

QString UuidTextOf(const AppleMailSyncInfo& info, SignatureId id) {
    for (const auto& [text, signatureId] : info.uuidTextToSignatureIdMap) {
        if (signatureId == id)
            return text;
    }
    return {};
}

// A Quillet signature that no account keeps leaves Apple Mail's lists altogether.
bool LeavesAppleMail(const AppleMailSyncInfo& info, SignatureId id) {
    return !info.listedSignatureIdSet.count(id);
}

// Whether an account's "Signatures" item naming Quillet's signature `id` stays.
bool KeepsAccountItem(const AppleMailSyncInfo& info, const std::optional<QString>& email,
                      SignatureId id) {
    if (LeavesAppleMail(info, id))
        return false;
    if (!email)
        return true;
    return info.knownInstallSet(*email).count(id) || !info.uninstallSet(*email).count(id);
}

void RebuildAccountSignatures(PlistNode signatures, const AppleMailSyncInfo& info,
                              const std::optional<QString>& email) {
    SignatureIdSet present;
    for (int index = signatures.size() - 1; index >= 0; --index) {
        const auto id = QuilletId(info, signatures.at(index)->asString());
        if (!id)
            continue;
        if (KeepsAccountItem(info, email, *id))
            present.insert(*id);
        else
            signatures.removeAt(index);
    }
    if (!email)
        return;
    for (const SignatureId id : info.knownInstallSet(*email)) {
        if (!present.count(id))
            signatures.append(Plist::string(UuidTextOf(info, id)));
    }
}

QString AccountUrl(const AppleMailAccount& account) {
    // Apple Mail files iCloud accounts under their protocol.
    const QString type =
        account.type().compare("iCloud", Qt::CaseInsensitive) == 0 ? "imap" : account.type();
    return type + "://" + QString(account.email()).replace("@", "%40");
}

Plist QuilletEntry(const QString& uuidText, const Signature& signature) {
    Plist entry = Plist::dictionary();
    entry.node().set(kUniqueId, Plist::string(uuidText));
    entry.node().set(kName, Plist::string(TextForClients(signature.nameQe)));
    entry.node().set(kIsRich, Plist::boolean(true));
    return entry;
}

}  // namespace

Plist NewAccountsMap(const Plist& oldAccountsMap, const AppleMailSyncInfo& info) {
    Plist map = oldAccountsMap;
    for (const QString& accountUuid : map.node().keys()) {
        auto entry = map.node().get(accountUuid);
        if (!entry || !entry->isDictionary())
            continue;
        const auto emailFound = info.accountUuidToEmailMap.find(accountUuid);
        const std::optional<QString> email = emailFound == info.accountUuidToEmailMap.end()
                                                 ? std::nullopt
                                                 : std::optional<QString>(emailFound->second);
        auto signatures = entry->get(kSignatures);
        if (!signatures && email && !info.knownInstallSet(*email).empty()) {
            entry->set(kSignatures, Plist::array());
            signatures = entry->get(kSignatures);
        }
        if (signatures && signatures->isArray())
            RebuildAccountSignatures(*signatures, info, email);
    }
    for (const auto& [email, ids] : info.knownAccountEmailTo_SignatureIdToInstallSet_Map) {
        const auto& account = info.accountEmailToAccountMap.at(email);
        if (ids.empty() || map.node().get(account->uuid()))
            continue;
        Plist entry = Plist::dictionary();
        entry.node().set(kAccountUrl, Plist::string(AccountUrl(*account)));
        Plist signatures = Plist::array();
        for (const SignatureId id : ids)
            signatures.node().append(Plist::string(UuidTextOf(info, id)));
        entry.node().set(kSignatures, std::move(signatures));
        map.node().set(account->uuid(), std::move(entry));
    }
    return map;
}

std::optional<Plist> NewAllSignaturesArray(const Plist& oldAllSignatures,
                                           const AppleMailSyncInfo& info,
                                           const IdToSignatureMap& idToSignatureMap) {
    Plist list = oldAllSignatures;
    PlistNode array = list.node();
    for (int index = 0; index < array.size(); ++index) {
        const auto entry = array.at(index);
        if (entry->isDictionary() && !entry->get(kUniqueId))
            return std::nullopt;
    }
    SignatureIdSet present;
    for (int index = array.size() - 1; index >= 0; --index) {
        auto entry = array.at(index);
        const auto id = entry->isDictionary() ? QuilletId(info, entry->dictionaryString(kUniqueId))
                                              : std::nullopt;
        if (!id)
            continue;
        if (LeavesAppleMail(info, *id)) {
            array.removeAt(index);
            continue;
        }
        present.insert(*id);
        entry->set(kName, Plist::string(TextForClients(idToSignatureMap.at(*id)->nameQe)));
        entry->set(kIsRich, Plist::boolean(true));
    }
    for (const SignatureId id : info.knownOverallSignatureIdToInstallSet) {
        if (!present.count(id))
            array.append(QuilletEntry(UuidTextOf(info, id), *idToSignatureMap.at(id)));
    }
    return list;
}

void UpdateSignaturesSelected(PlistNode signaturesSelected, const AppleMailSyncInfo& info,
                              const std::map<QString, ClientSettings>& kept,
                              const std::set<QString>& ownSignatureUuids,
                              ReplacedSettingsChanges& changes) {
    std::map<QString, std::optional<QString>> before;  // account UUID to its default
    for (const QString& accountUuid : signaturesSelected.keys())
        before[accountUuid] = signaturesSelected.dictionaryString(accountUuid);
    // The person's default of the account, kept when Quillet replaced it, while Mail has it.
    const auto keptDefault = [&](const QString& accountUuid) -> std::optional<QString> {
        const auto emailOf = [&](const std::map<QString, QString>& map) {
            const auto found = map.find(accountUuid);
            return found == map.end() ? std::nullopt : std::optional<QString>(found->second);
        };
        std::optional<QString> email = emailOf(info.accountUuidToEmailMap);
        if (!email)
            email = emailOf(info.accountUuidToUrlEmailMap);
        const auto place = email ? kept.find(*email) : kept.end();
        if (place == kept.end())
            return std::nullopt;
        const auto setting = place->second.find(kSignaturesSelectedSetting);
        if (setting == place->second.end() || !setting->second ||
            !ownSignatureUuids.count(*setting->second))
            return std::nullopt;
        return setting->second;
    };

    for (const auto& [accountUuid, value] : before) {
        const auto id = QuilletId(info, value);
        if (!id)
            continue;
        // A default follows the selection: when the account loses the signature, the one it
        // gets instead becomes its default below.
        const auto email = info.accountUuidToEmailMap.find(accountUuid);
        const bool lostByAccount = email != info.accountUuidToEmailMap.end() &&
                                   info.uninstallSet(email->second).count(*id) &&
                                   !info.knownInstallSet(email->second).count(*id);
        // A signature that leaves Mail's lists leaves its defaults too, even one that the store
        // has no record of installing.
        if (!LeavesAppleMail(info, *id) && !lostByAccount)
            continue;
        if (const auto own = keptDefault(accountUuid))
            signaturesSelected.set(accountUuid, Plist::string(*own));
        else
            signaturesSelected.remove(accountUuid);
    }
    for (const auto& [email, ids] : info.knownAccountEmailTo_SignatureIdToInstallSet_Map) {
        const QString& accountUuid = info.emailToAccountUuidMap.at(email);
        const auto current = signaturesSelected.dictionaryString(accountUuid);
        if (ids.empty() || QuilletId(info, current))
            continue;
        changes.remembered[email] = ClientSettings{{kSignaturesSelectedSetting, current}};
        signaturesSelected.set(accountUuid, Plist::string(UuidTextOf(info, *ids.begin())));
    }
    for (const auto& [email, settings] : kept) {
        const auto accountUuid = info.emailToAccountUuidMap.find(email);
        if (accountUuid == info.emailToAccountUuidMap.end() || changes.remembered.count(email))
            continue;
        const auto previous = before.find(accountUuid->second);
        if (previous == before.end() || !QuilletId(info, previous->second))
            changes.forgotten.insert(email);
    }
}

std::map<QString, QString> AccountUrlEmails(const Plist& accountsMap) {
    std::map<QString, QString> emails;
    for (const auto& [accountUuid, url] : AccountsMapUrls(accountsMap)) {
        if (!url.contains("://"))
            continue;
        // The address is percent-encoded; a server, when named, follows an unencoded "@".
        const QString address = url.section("://", 1).section('/', 0, 0).section('@', 0, 0);
        const QString email = QUrl::fromPercentEncoding(address.toUtf8());
        if (email.contains('@'))
            emails.emplace(accountUuid, email);
    }
    return emails;
}

std::optional<QByteArray> AppleMailPreferencesPointingIntoList(
    const QByteArray& restored, const std::optional<QByteArray>& current,
    const std::optional<QByteArray>& allSignatures) {
    auto preferences = Plist::parse(restored);
    const auto now = current ? Plist::parse(*current) : PlistRead(Plist::dictionary());
    const auto list = allSignatures ? Plist::parse(*allSignatures) : PlistRead(Plist::array());
    if (!preferences || !now || !list)
        return std::nullopt;
    std::set<QString> listed;
    for (int index = 0; index < list->node().size(); ++index) {
        const auto entry = list->node().at(index);
        if (const auto uuid =
                entry->isDictionary() ? entry->dictionaryString(kUniqueId) : std::nullopt)
            listed.insert(*uuid);
    }
    auto selected = preferences->node().get(kSignaturesSelectedSetting);
    if (!selected || !selected->isDictionary())
        return restored;
    const auto selectedNow = now->node().get(kSignaturesSelectedSetting);
    const auto selectedNowOf = [&](const QString& account) {
        return selectedNow && selectedNow->isDictionary() ? selectedNow->dictionaryString(account)
                                                          : std::nullopt;
    };
    bool changed = false;
    for (const QString& account : selected->keys()) {
        const auto uuid = selected->dictionaryString(account);
        if (!uuid || listed.count(*uuid) || uuid == selectedNowOf(account))
            continue;
        selected->remove(account);
        changed = true;
    }
    if (!changed)
        return restored;
    return IsBinaryPlistData(restored) ? preferences->toBinary() : preferences->toXml();
}

std::set<QString> OwnSignatureUuids(const Plist& allSignatures, const AppleMailSyncInfo& info) {
    std::set<QString> uuids;
    const PlistNode array = allSignatures.node();
    for (int index = 0; index < array.size(); ++index) {
        const auto entry = array.at(index);
        const auto uuid = entry->isDictionary() ? entry->dictionaryString(kUniqueId) : std::nullopt;
        if (uuid && !QuilletId(info, uuid))
            uuids.insert(*uuid);
    }
    return uuids;
}

}  // namespace quillet
