#include "app/clients/accounts/OutlookAccounts.h"

#include "app/base/AppleScript.h"
#include "app/clients/ClientInfo.h"
#include "app/clients/accounts/DuplicateAccounts.h"
#include "app/clients/accounts/ScriptRecords.h"
#include "common/Log.h"

namespace quillet {

namespace {

void LogWithoutEmail(const QString& record) {
    LogWarning("Got an Outlook account without an email: \"" + record + "\"");
}

Accounts LogAndRemoveDuplicates(const QString& tag, const Accounts& accounts) {
    LogInfo("Outlook accounts obtained via AppleScript (" + tag + "):");
    for (const AccountPtr& account : accounts)
        LogInfo("    " + account->description());
    return RemoveDuplicateAccounts(ClientKind::outlook, accounts);
}

}  // namespace

Accounts ParseOutlookAccountsA(const QString& output, const QString& tag) {
    Accounts accounts;
    for (const QString& record : SplitScriptRecords(output)) {
        const auto fields = SplitScriptFields(record);
        if (fields.size() != 3) {
            LogError("Bad part count (" + QString::number(fields.size()) +
                     ") in Outlook account string obtained via AppleScript (" + tag + "): \"" +
                     record + "\"");
            continue;
        }
        if (!fields[2]) {
            LogWithoutEmail(record);
            continue;
        }
        accounts.push_back(std::make_shared<OutlookAccount>(*fields[2], fields[1], fields[0]));
    }
    return LogAndRemoveDuplicates(tag, accounts);
}

namespace {

// "Full Name (email)" or a bare email. The last " (" separates them, so a name may carry
// parentheses of its own.
std::optional<AccountPtr> ParseB(const QString& record) {
    if (!record.endsWith(')')) {
        if (!record.contains('@')) {
            LogWithoutEmail(record);
            return std::nullopt;
        }
        return std::make_shared<OutlookAccount>(record, std::nullopt, record);
    }
    const QString inner = record.chopped(1);
    const qsizetype separator = inner.lastIndexOf(" (");
    if (separator < 0) {
        LogError("Can't parse Outlook account string obtained via AppleScript (B): \"" + record +
                 "\"");
        return std::nullopt;
    }
    const QString name = inner.left(separator).trimmed();
    const QString email = inner.mid(separator + 2).trimmed();
    if (email.isEmpty()) {
        LogWithoutEmail(record);
        return std::nullopt;
    }
    return std::make_shared<OutlookAccount>(
        email, name.isEmpty() ? std::nullopt : std::optional<QString>(name), email);
}

}  // namespace

Accounts ParseOutlookAccountsB(const QString& output) {
    Accounts accounts;
    for (const QString& record : SplitScriptRecords(output)) {
        if (auto account = ParseB(record))
            accounts.push_back(std::move(*account));
    }
    return LogAndRemoveDuplicates("B", accounts);
}

std::optional<Accounts> DiscoverOutlookAccountsA(const AppleScriptRunner& runner,
                                                 const ClientInfo& clientInfo,
                                                 const PublishPartialAccountsFn& publishPartial) {
    const auto mainOutput = runner.runAppleScript("Outlook-ListAccounts-A-Main");
    if (!mainOutput) {
        LogError("Could not list Outlook accounts (A-Main) via Apple Script");
        return std::nullopt;
    }
    Accounts accounts = ParseOutlookAccountsA(*mainOutput, "A-Main");
    if (publishPartial)
        publishPartial(accounts);

    // Outlook 14 has no Gmail accounts of its own.
    const auto versionKind = clientInfo.outlookVersionKindQ;
    const bool listsGmail = versionKind && (*versionKind == OutlookVersionKind::v16_41To79 ||
                                            *versionKind == OutlookVersionKind::v16_Pre41 ||
                                            *versionKind == OutlookVersionKind::v15);
    if (!listsGmail)
        return accounts;
    const auto gmailOutput = runner.runAppleScript("Outlook-ListAccounts-A-Gmail");
    if (!gmailOutput) {
        LogWarning("Could not list Outlook accounts (A-Gmail) via Apple Script");
        return accounts;
    }
    const Accounts gmail = ParseOutlookAccountsA(*gmailOutput, "A-Gmail");
    accounts.insert(accounts.end(), gmail.begin(), gmail.end());
    return RemoveDuplicateAccounts(ClientKind::outlook, accounts);
}

std::optional<Accounts> DiscoverOutlookAccountsB(const AppleScriptRunner& runner,
                                                 const PublishPartialAccountsFn& publishPartial) {
    const auto output = runner.runAppleScript("Outlook-ListAccounts-B");
    if (!output) {
        LogError("Could not list Outlook accounts (B) via Apple Script");
        return std::nullopt;
    }
    const Accounts accounts = ParseOutlookAccountsB(*output);
    if (publishPartial)
        publishPartial(accounts);
    return accounts;
}

}  // namespace quillet
