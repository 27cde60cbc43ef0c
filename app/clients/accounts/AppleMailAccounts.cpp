#include "app/clients/accounts/AppleMailAccounts.h"

#include <QHash>
#include <QSet>

#include "app/base/AppleScript.h"
#include "app/clients/accounts/DuplicateAccounts.h"
#include "app/clients/accounts/ScriptRecords.h"
#include "common/Log.h"

namespace quillet {

namespace {

std::optional<std::shared_ptr<AppleMailAccount>> ParseRecord(const QString& record) {
    const auto fields = SplitScriptFields(record);
    if (fields.size() != 5) {
        LogError("Bad part count (" + QString::number(fields.size()) +
                 ") in Apple Mail account string obtained via AppleScript: \"" + record + "\"");
        return std::nullopt;
    }
    // The fourth field is not used.
    const auto& uuid = fields[0];
    const auto& email = fields[1];
    const auto& fullName = fields[2];
    const auto& type = fields[4];
    if (!uuid) {
        LogWarning("Got an Apple Mail account without a UUID: \"" + record + "\"");
        return std::nullopt;
    }
    if (!email) {
        LogWarning("Got an Apple Mail account without an email: \"" + record + "\"");
        return std::nullopt;
    }
    if (!type) {
        LogWarning("Got an Apple Mail account without a type: \"" + record + "\"");
        return std::nullopt;
    }
    return std::make_shared<AppleMailAccount>(*email, *uuid, *type, fullName);
}

}  // namespace

std::optional<Accounts> DiscoverAppleMailAccounts(const AppleScriptRunner& runner,
                                                  const ClientInfo& info) {
    const auto output = runner.runAppleScript("AppleMail-ListAccounts-1012Plus");
    if (!output) {
        LogError("Could not list Apple Mail accounts via Apple Script");
        return std::nullopt;
    }
    const auto path = AppleMailAccountsMapPath(info);
    const auto map = path ? ReadPlistFile(*path) : PlistRead(PlistReadFailure::unreadableFile);
    const auto urls = map ? AccountsMapUrls(*map) : std::map<QString, QString>();
    Accounts accounts;
    for (const AccountPtr& account : ParseAppleMailAccounts(*output)) {
        const auto& mail = static_cast<const AppleMailAccount&>(*account);
        const auto url = urls.find(mail.uuid());
        accounts.push_back(std::make_shared<AppleMailAccount>(
            mail.email(), mail.uuid(), mail.type(), mail.fullNameQ(),
            url == urls.end() ? std::nullopt : std::optional<QString>(url->second)));
    }
    return accounts;
}

Accounts ParseAppleMailAccounts(const QString& output) {
    std::vector<std::shared_ptr<AppleMailAccount>> listed;
    for (const QString& record : SplitScriptRecords(output)) {
        if (auto account = ParseRecord(record))
            listed.push_back(std::move(*account));
    }
    LogInfo("Apple Mail accounts obtained via AppleScript:");
    for (const auto& account : listed)
        LogInfo("    " + account->description());

    QHash<QString, QSet<QString>> emailToTypes;
    for (const auto& account : listed)
        emailToTypes[account->email()].insert(account->type());

    // A mailbox set up both as the iCloud account and as an imap account shows up twice; the
    // imap one is the account the person set up to send from.
    Accounts result;
    QHash<QString, AccountPtr> emailToKept;
    for (const auto& account : listed) {
        if (account->type() == "iCloud" && emailToTypes[account->email()].contains("imap")) {
            LogWarning(DisplayName(ClientKind::appleMail) +
                       ": ignoring an iCloud account in favor of an imap account with the same "
                       "email: " +
                       account->description());
            continue;
        }
        if (const auto kept = emailToKept.constFind(account->email());
            kept != emailToKept.constEnd()) {
            LogDuplicateAccount(ClientKind::appleMail, *account, **kept);
            continue;
        }
        emailToKept.insert(account->email(), account);
        result.push_back(account);
    }
    return result;
}

std::optional<QString> AppleMailAccountsMapPath(const ClientInfo& info) {
    if (!info.appleMailDataPathQ)
        return std::nullopt;
    return *info.appleMailDataPathQ + "/Signatures/AccountsMap.plist";
}

std::map<QString, QString> AccountsMapUrls(const Plist& accountsMap) {
    std::map<QString, QString> urls;
    if (!accountsMap.isDictionary())
        return urls;
    const PlistNode map = accountsMap.node();
    for (const QString& accountUuid : map.keys()) {
        const auto entry = map.get(accountUuid);
        if (const auto url = entry && entry->isDictionary() ? entry->dictionaryString(kAccountUrl)
                                                            : std::nullopt)
            urls.emplace(accountUuid, *url);
    }
    return urls;
}

}  // namespace quillet
