#pragma once
// The accounts cache "CachedAccounts.plist": the last successfully discovered accounts of every
// client, so that the person and the syncs have accounts before discovery has finished. A failed
// or unfinished discovery never replaces the last good list in the file.

#include <QString>
#include <map>

#include "common/Accounts.h"
#include "common/ClientKind.h"
#include "platform/Plist.h"

namespace quillet {

QString CachedAccountsPath(const QString& applicationSupportFolder);

// Every client kind, with an empty list when the file is missing or unreadable or has nothing
// usable for it; elements missing a required string are skipped.
std::map<ClientKind, Accounts> LoadCachedAccounts(const QString& applicationSupportFolder);
// The same from the file's property list, already read.
std::map<ClientKind, Accounts> CachedAccountsFromPlist(const Plist& plist);
// Writes the lists (the discovered ones, or the cached ones while discovery is unfinished or
// failed) as an XML property list, atomically; a failure leaves the previous file. The entries of
// clients not in the map stay as the file has them, and so do those of clients this process has
// not discovered: another process may have written them since this one read the file.
// Processes take turns through a lock file beside it.
void SaveCachedAccounts(const QString& applicationSupportFolder,
                        const std::map<ClientKind, AccountsInfo>& infos);
// "Loaded N account(s) from cache:" and one line per account; nothing when there is none.
void LogLoadedCachedAccounts(const std::map<ClientKind, Accounts>& cached);

}  // namespace quillet
