#include "app/clients/accounts/AccountsCache.h"

#include <QDir>

#include "common/Log.h"
#include "platform/FileLock.h"
#include "platform/Plist.h"

namespace quillet {

namespace {

const QString kCachedAccountsFileName = QStringLiteral("CachedAccounts.plist");

void SetOptional(PlistNode dictionary, const QString& key, const std::optional<QString>& value) {
    if (value)
        dictionary.set(key, Plist::string(*value));
}

std::optional<Plist> AccountDictionary(ClientKind kind, const Account& account) {
    Plist dictionary = Plist::dictionary();
    PlistNode node = dictionary.node();
    node.set("email", Plist::string(account.email()));
    switch (kind) {
        case ClientKind::appleMail: {
            const auto* appleMail = dynamic_cast<const AppleMailAccount*>(&account);
            if (!appleMail)
                return std::nullopt;
            node.set("uuid", Plist::string(appleMail->uuid()));
            node.set("type", Plist::string(appleMail->type()));
            SetOptional(node, "fullName", appleMail->fullNameQ());
            SetOptional(node, "accountURL", appleMail->accountUrlQ());
            break;
        }
        case ClientKind::outlook: {
            const auto* outlook = dynamic_cast<const OutlookAccount*>(&account);
            if (!outlook)
                return std::nullopt;
            SetOptional(node, "fullName", outlook->fullNameQ());
            SetOptional(node, "userName", outlook->userNameQ());
            break;
        }
        case ClientKind::postbox:
        case ClientKind::thunderbird: {
            const auto* mozilla = dynamic_cast<const MozillaBasedClientAccount*>(&account);
            if (!mozilla)
                return std::nullopt;
            node.set("idString", Plist::string(mozilla->idString()));
            SetOptional(node, "fullName", mozilla->fullNameQ());
            break;
        }
        case ClientKind::spark: {
            const auto* spark = dynamic_cast<const SparkAccount*>(&account);
            if (!spark)
                return std::nullopt;
            SetOptional(node, "accountTitle", spark->accountTitleQ());
            SetOptional(node, "ownerFullName", spark->ownerFullNameQ());
            break;
        }
        case ClientKind::evolution:
        case ClientKind::kmail:
        case ClientKind::geary: {
            const auto* identity = dynamic_cast<const LinuxClientAccount*>(&account);
            if (!identity)
                return std::nullopt;
            node.set("idString", Plist::string(identity->idString()));
            SetOptional(node, "fullName", identity->fullNameQ());
            break;
        }
    }
    return dictionary;
}

std::optional<AccountPtr> AccountFromDictionary(ClientKind kind, const PlistNode& node) {
    if (!node.isDictionary())
        return std::nullopt;
    const auto email = node.dictionaryString("email");
    const auto fullName = node.dictionaryString("fullName");
    if (!email)
        return std::nullopt;
    switch (kind) {
        case ClientKind::appleMail: {
            const auto uuid = node.dictionaryString("uuid");
            const auto type = node.dictionaryString("type");
            if (!uuid || !type)
                return std::nullopt;
            return std::make_shared<AppleMailAccount>(*email, *uuid, *type, fullName,
                                                      node.dictionaryString("accountURL"));
        }
        case ClientKind::outlook:
            return std::make_shared<OutlookAccount>(*email, fullName,
                                                    node.dictionaryString("userName"));
        case ClientKind::postbox:
        case ClientKind::thunderbird: {
            const auto idString = node.dictionaryString("idString");
            if (!idString)
                return std::nullopt;
            return std::make_shared<MozillaBasedClientAccount>(*email, *idString, fullName);
        }
        case ClientKind::spark:
            return std::make_shared<SparkAccount>(*email, node.dictionaryString("accountTitle"),
                                                  node.dictionaryString("ownerFullName"));
        case ClientKind::evolution:
        case ClientKind::kmail:
        case ClientKind::geary: {
            const auto idString = node.dictionaryString("idString");
            if (!idString)
                return std::nullopt;
            return std::make_shared<LinuxClientAccount>(*email, *idString, fullName);
        }
    }
    return std::nullopt;
}

}  // namespace

QString CachedAccountsPath(const QString& applicationSupportFolder) {
    return applicationSupportFolder + "/" + kCachedAccountsFileName;
}

std::map<ClientKind, Accounts> LoadCachedAccounts(const QString& applicationSupportFolder) {
    const auto plist = ReadPlistFile(CachedAccountsPath(applicationSupportFolder));
    return CachedAccountsFromPlist(plist ? *plist : Plist::dictionary());
}

std::map<ClientKind, Accounts> CachedAccountsFromPlist(const Plist& plist) {
    std::map<ClientKind, Accounts> cached;
    for (const ClientKind kind : kAllClientKinds)
        cached[kind] = {};
    if (!plist.isDictionary())
        return cached;
    for (const ClientKind kind : kAllClientKinds) {
        const auto array = plist.node().get(StoredText(kind));
        if (!array || !array->isArray())
            continue;
        for (int i = 0; i < array->size(); ++i) {
            if (auto account = AccountFromDictionary(kind, *array->at(i))) {
                cached[kind].push_back(std::move(*account));
            }
        }
    }
    return cached;
}

void SaveCachedAccounts(const QString& applicationSupportFolder,
                        const std::map<ClientKind, AccountsInfo>& infos) {
    MakeOwnerOnlyFolder(applicationSupportFolder);
    // Another process (a command beside the application) may be saving its own discoveries:
    // the file is read, merged and written by one process at a time.
    const FileLock lock(CachedAccountsPath(applicationSupportFolder) + ".lock", {});
    // Clients that are not detected now (a moved profile folder, a new-Outlook toggle) keep
    // their entries as they stand, so that one start without them does not forget them. So do
    // clients this process has not discovered: the file may hold what another process found
    // since this one read it. Only where it holds nothing do this process's cached lists go in.
    auto previous = ReadPlistFile(CachedAccountsPath(applicationSupportFolder));
    const bool hadFile = previous && previous->isDictionary();
    Plist root = hadFile ? std::move(*previous) : Plist::dictionary();
    const QByteArray before = root.toXml();
    for (const auto& [kind, info] : infos) {
        const bool discovered = info.status == AccountsInfoStatus::discoverySucceeded;
        if (!discovered && root.node().get(StoredText(kind)))
            continue;
        const bool loaded = info.status == AccountsInfoStatus::loadedFromCacheOrEmpty;
        const Accounts& accounts = discovered || loaded ? info.accounts : info.cachedAccounts;
        Plist array = Plist::array();
        for (const AccountPtr& account : accounts) {
            if (auto dictionary = AccountDictionary(kind, *account)) {
                array.node().append(std::move(*dictionary));
            }
        }
        // Set in place: a key removed and added again would move to the end, and the file
        // would be written at every command although nothing in it changed.
        if (array.node().size() > 0)
            root.node().set(StoredText(kind), std::move(array));
        else
            root.node().remove(StoredText(kind));
    }
    // Every command reads the accounts in the clients' files again: most find them unchanged.
    if (hadFile && root.toXml() == before)
        return;
    WritePlistFile(CachedAccountsPath(applicationSupportFolder), root, false,
                   FileAccess::ownerOnly());
}

void LogLoadedCachedAccounts(const std::map<ClientKind, Accounts>& cached) {
    std::size_t total = 0;
    for (const auto& [kind, accounts] : cached)
        total += accounts.size();
    if (total == 0)
        return;
    LogInfo("Loaded " + QString::number(total) + " account(s) from cache:");
    for (const auto& [kind, accounts] : cached) {
        for (const AccountPtr& account : accounts) {
            LogInfo("    " + DisplayName(kind) + ": " + account->description());
        }
    }
}

}  // namespace quillet
