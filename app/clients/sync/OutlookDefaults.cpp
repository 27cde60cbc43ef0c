#include "app/clients/sync/OutlookDefaults.h"

#include "app/base/AppleScript.h"
#include "app/clients/sync/ClientText.h"
#include "common/Text.h"
#include "platform/Bundle.h"

namespace quillet {

namespace {

struct DefaultScripts {
    QString main;
    QString account;
    QString read;  // the Main script that reads what the accounts show
};

DefaultScripts ScriptsFor(const ClientInfo& clientInfo) {
    const OutlookVersionKind kind =
        clientInfo.outlookVersionKindQ.value_or(OutlookVersionKind::v16_80OrNewer);
    switch (kind) {
        case OutlookVersionKind::v16_80OrNewer:
            return {"Outlook-SetDefaultSignatures16-Main-B",
                    "Outlook-SetDefaultSignatures16-Account",
                    "Outlook-ReadDefaultSignatures16-Main-B"};
        case OutlookVersionKind::v16_41To79:
        case OutlookVersionKind::v16_Pre41:
            return {"Outlook-SetDefaultSignatures16-Main-A",
                    "Outlook-SetDefaultSignatures16-Account",
                    "Outlook-ReadDefaultSignatures16-Main-A"};
        case OutlookVersionKind::v15:
            return {"Outlook-SetDefaultSignatures15-Main", "Outlook-SetDefaultSignatures15-Account",
                    "Outlook-ReadDefaultSignatures15-Main"};
        case OutlookVersionKind::v14OrOlder:
            break;
    }
    return {"Outlook-SetDefaultSignatures14-Main", "Outlook-SetDefaultSignatures14-Account",
            "Outlook-ReadDefaultSignatures14-Main"};
}

}  // namespace

QString OutlookDefaultsText(const OutlookDefaultNames& names) {
    return names.newMessages + '\n' + names.repliesForwards;
}

std::optional<OutlookDefaultNames> OutlookDefaultsFromText(const QString& text) {
    const QStringList names = text.split('\n');
    if (names.size() != 2)
        return std::nullopt;
    return OutlookDefaultNames{TrimmedText(names[0]), TrimmedText(names[1])};
}

QString OutlookScriptValue(const QString& text) {
    return EscapeForAppleScript(TextForClients(text));
}

std::optional<QString> OutlookAccountIdString(const OutlookAccount& account,
                                              OutlookVersionKind versionKind) {
    const QString fullName = account.fullNameQ().value_or(QString());
    const QString userName = account.userNameQ().value_or(QString());
    switch (versionKind) {
        case OutlookVersionKind::v16_80OrNewer:
            if (fullName.isEmpty() || fullName == userName)
                return TrimmedText(userName);
            return TrimmedText(fullName + " (" + userName + ")");
        case OutlookVersionKind::v16_41To79:
            if (fullName == userName)
                return TrimmedText(userName);
            return TrimmedText(fullName + " (" + userName + ")");
        case OutlookVersionKind::v16_Pre41:
        case OutlookVersionKind::v15:
            return TrimmedText(userName + " (" + fullName + ")");
        case OutlookVersionKind::v14OrOlder:
            break;
    }
    // Outlook 2011 shows the user name exactly as it is stored.
    return account.userNameQ();
}

QString OutlookNoneSignatureName(const Bundle& bundle) {
    return bundle.localized("None");
}

std::optional<std::vector<OutlookDefaultNames>> ReadDefaultSignatures(
    const ClientInfo& clientInfo, const QStringList& accountIdStrings,
    const AppleScriptRunner& runner) {
    QString accountLines;
    for (const QString& idString : accountIdStrings) {
        const auto line =
            runner.appleScriptText("Outlook-ReadDefaultSignatures-Account",
                                   {{"**ACCOUNT_ID_STRING**", OutlookScriptValue(idString)}});
        if (!line)
            return std::nullopt;
        accountLines += *line;
    }
    const auto output =
        runner.runAppleScript(ScriptsFor(clientInfo).read, {{"**ACCOUNTS**", accountLines}});
    if (!output)
        return std::nullopt;
    const QStringList lines = output->split('\n');
    if (lines.first() != "true" || lines.size() != 2 * accountIdStrings.size() + 1)
        return std::nullopt;
    std::vector<OutlookDefaultNames> read;
    for (qsizetype index = 1; index < lines.size(); index += 2)
        read.push_back({TrimmedText(lines[index]), TrimmedText(lines[index + 1])});
    return read;
}

bool SetDefaultSignatures(const ClientInfo& clientInfo,
                          const std::vector<OutlookAccountDefaults>& accounts,
                          const AppleScriptRunner& runner, ClientWrites& writes) {
    const DefaultScripts scripts = ScriptsFor(clientInfo);
    QString accountLines;
    for (const auto& account : accounts) {
        const auto fragment = runner.appleScriptText(
            scripts.account,
            {{"**ACCOUNT_ID_STRING**", OutlookScriptValue(account.accountIdString)},
             {"**SIGNATURE_NAME**", OutlookScriptValue(account.names.newMessages)},
             {"**REPLIES_FORWARDS_SIGNATURE_NAME**",
              OutlookScriptValue(account.names.repliesForwards)}});
        // A missing fragment script is a broken installation: the defaults were not set.
        if (!fragment)
            return false;
        accountLines += *fragment;
    }
    for (const auto& account : accounts) {
        if (!writes.defaultSignaturesWillChange(account.accountIdString,
                                                OutlookDefaultsText(account.before),
                                                OutlookDefaultsText(account.names)))
            return false;
    }
    const auto output =
        writes.runChangingScript(runner, scripts.main, {{"**ACCOUNTS**", accountLines}}, false);
    return output && output->startsWith("true");
}

}  // namespace quillet
