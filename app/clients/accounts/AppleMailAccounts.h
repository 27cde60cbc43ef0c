#pragma once
// Apple Mail's accounts, listed by the "AppleMail-ListAccounts-1012Plus" script.

#include <QString>
#include <map>
#include <optional>

#include "app/clients/ClientInfo.h"
#include "common/Accounts.h"
#include "platform/Plist.h"

namespace quillet {

class AppleScriptRunner;

// The accounts, one per email; an iCloud account gives way to an imap account of the same
// email. Each carries the "AccountURL" its entry in Mail's accounts map has now. Absent when
// the script failed; malformed records are logged and skipped.
std::optional<Accounts> DiscoverAppleMailAccounts(const AppleScriptRunner& runner,
                                                  const ClientInfo& info);
// The same accounts from the script's output.
Accounts ParseAppleMailAccounts(const QString& output);

// Mail's accounts map ("AccountsMap.plist") in its newest MailData folder; absent when there is
// no such folder.
std::optional<QString> AppleMailAccountsMapPath(const ClientInfo& info);
// The key of an accounts-map entry that names the account's server and login.
inline const QString kAccountUrl = QStringLiteral("AccountURL");
// Account UUID to the "AccountURL" of its entry in an accounts map, for the entries that have one.
std::map<QString, QString> AccountsMapUrls(const Plist& accountsMap);

}  // namespace quillet
