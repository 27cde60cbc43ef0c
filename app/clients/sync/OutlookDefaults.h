#pragma once
// Outlook's default signatures per account: how the default-signature scripts name an account,
// and the runs of a version's Main script that read and set every account's two defaults.

#include <QString>
#include <QStringList>
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

// One account's two defaults by the names Outlook's pop-ups show: the signature for new
// messages, and the one for replies and forwards (either may be Outlook's "None").
struct OutlookDefaultNames {
    QString newMessages;
    QString repliesForwards;
    bool operator==(const OutlookDefaultNames&) const = default;
};

// One account's defaults to set, and what it shows before: a restore point keeps both.
struct OutlookAccountDefaults {
    QString accountIdString;
    OutlookDefaultNames names;
    OutlookDefaultNames before;
};

// The two names as one text, a line each, as a reading line gives them and a restore point keeps
// them; and back (absent when the text is not two lines).
QString OutlookDefaultsText(const OutlookDefaultNames& names);
std::optional<OutlookDefaultNames> OutlookDefaultsFromText(const QString& text);

// The localized name of Outlook's "no signature" entry.
QString OutlookNoneSignatureName(const Bundle& bundle);

// What the accounts (by identifier, in order) show now, in one run of the version's reading Main
// script with a line per account: the names trimmed. Absent when the run failed or an account
// could not be read.
std::optional<std::vector<OutlookDefaultNames>> ReadDefaultSignatures(
    const ClientInfo& clientInfo, const QStringList& accountIdStrings,
    const AppleScriptRunner& runner);

// Builds one account line per entry (in list order) into the version's Main script and runs it
// through `writes`, each account's change announced to it first. True when the script answered
// "true": every account's defaults were set.
bool SetDefaultSignatures(const ClientInfo& clientInfo,
                          const std::vector<OutlookAccountDefaults>& accounts,
                          const AppleScriptRunner& runner, ClientWrites& writes);

}  // namespace quillet
