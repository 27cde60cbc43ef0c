#pragma once
// The accounts of Thunderbird and Postbox: the identities in the default profile's prefs.js.

#include <QStringList>
#include <optional>

#include "common/Accounts.h"
#include "common/ClientKind.h"

namespace quillet {

struct ClientInfo;

// One account per identity with an address, in identity-number order taken as text ("10" before
// "2"), one per email. Absent when prefs.js cannot be read or the client has no profile.
std::optional<Accounts> DiscoverMozillaBasedClientAccounts(ClientKind kind,
                                                           const ClientInfo& clientInfo);
// The same accounts from the lines of a prefs.js already read; identities without an address
// are logged and skipped.
Accounts ParseMozillaBasedClientAccounts(ClientKind kind, const QStringList& prefsLines);

}  // namespace quillet
