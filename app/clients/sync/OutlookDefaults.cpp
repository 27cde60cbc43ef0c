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
};

DefaultScripts ScriptsFor(OutlookVersionKind kind) {
    switch (kind) {
        case OutlookVersionKind::v16_80OrNewer:
            return {"Outlook-SetDefaultSignatures16-Main-B",
                    "Outlook-SetDefaultSignatures16-Account"};
        case OutlookVersionKind::v16_41To79:
        case OutlookVersionKind::v16_Pre41:
            return {"Outlook-SetDefaultSignatures16-Main-A",
                    "Outlook-SetDefaultSignatures16-Account"};
        case OutlookVersionKind::v15:
            return {"Outlook-SetDefaultSignatures15-Main",
                    "Outlook-SetDefaultSignatures15-Account"};
        case OutlookVersionKind::v14OrOlder:
            break;
    }
    return {"Outlook-SetDefaultSignatures14-Main", "Outlook-SetDefaultSignatures14-Account"};
}

}  // namespace

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

bool SetDefaultSignatures(const ClientInfo& clientInfo,
                          const std::vector<OutlookAccountDefaults>& accounts,
                          const OutlookSyncEnvironment& environment, ClientWrites& writes) {
    const DefaultScripts scripts =
        ScriptsFor(clientInfo.outlookVersionKindQ.value_or(OutlookVersionKind::v16_80OrNewer));
    const QString none = OutlookScriptValue(OutlookNoneSignatureName(environment.bundle));
    QString accountLines;
    for (const auto& account : accounts) {
        const QString name = OutlookScriptValue(account.signatureName);
        const auto fragment = environment.runner.appleScriptText(
            scripts.account,
            {{"**ACCOUNT_ID_STRING**", OutlookScriptValue(account.accountIdString)},
             {"**SIGNATURE_NAME**", name},
             {"**REPLIES_FORWARDS_SIGNATURE_NAME**",
              account.insertForRepliesForwards ? name : none}});
        // A missing fragment script is a broken installation: the defaults were not set.
        if (!fragment)
            return false;
        accountLines += *fragment;
    }
    const auto output = writes.runChangingScript(environment.runner, scripts.main,
                                                 {{"**ACCOUNTS**", accountLines}}, false);
    return output && output->startsWith("true");
}

}  // namespace quillet
