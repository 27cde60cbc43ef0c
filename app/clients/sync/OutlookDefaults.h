#pragma once
// Outlook's default signatures per account: how the default-signature scripts name an account,
// and the one run of a version's Main script that sets every account's two defaults.

#include <QString>
#include <chrono>
#include <optional>
#include <vector>

#include "app/clients/ClientInfo.h"
#include "app/clients/sync/ClientWrites.h"
#include "common/Accounts.h"

namespace quillet {

class AppleScriptRunner;
class Bundle;

// What the Outlook sync needs beyond the five sync inputs.
struct OutlookSyncEnvironment {
    const AppleScriptRunner& runner;
    const Bundle& bundle;  // its "Main" table gives the text of Outlook's "None"
    std::chrono::milliseconds retryPause{2000};  // before the defaults are tried a second time
};

// A value (a name, HTML, an account identifier) as the Outlook scripts take it inside a string
// literal: as clients can carry it (TextForClients), escaped.
QString OutlookScriptValue(const QString& text);

// The text by which Outlook's interface shows the account in this version; absent when the
// account has none (a version 14 account without a user name).
std::optional<QString> OutlookAccountIdString(const OutlookAccount& account,
                                              OutlookVersionKind versionKind);

// One account's defaults: the signature for new messages, and whether replies and forwards get
// it too (else "None").
struct OutlookAccountDefaults {
    QString accountIdString;
    QString signatureName;
    bool insertForRepliesForwards = false;
};

// The localized name of Outlook's "no signature" entry.
QString OutlookNoneSignatureName(const Bundle& bundle);

// Builds one account line per entry (in list order) into the version's Main script and runs it.
// True when the script answered "true": every account's defaults were set.
bool SetDefaultSignatures(const ClientInfo& clientInfo,
                          const std::vector<OutlookAccountDefaults>& accounts,
                          const OutlookSyncEnvironment& environment, ClientWrites& writes);

}  // namespace quillet
