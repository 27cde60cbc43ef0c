#pragma once
// Apple Mail's three signature lists rebuilt in memory: the accounts map ("AccountsMap.plist"),
// the all-signatures list ("AllSignatures.plist", also its iCloud copy) and the default
// selection ("SignaturesSelected" in Mail's preferences). Only Quillet's entries (recognised by
// their UUIDs) change; every other entry, and every element of an unexpected shape, is kept as
// it was.

#include <optional>

#include "app/clients/sync/AppleMailSyncInfo.h"
#include "platform/Plist.h"

namespace quillet {

// The new accounts map from the old one (a dictionary: account UUID to { "AccountURL",
// "Signatures" }). Accounts that discovery reported lose the signatures uninstalled for them
// and gain those newly installed (in id order); other accounts only lose signatures that leave
// Apple Mail. Known accounts with installs but no entry get one.
Plist NewAccountsMap(const Plist& oldAccountsMap, const AppleMailSyncInfo& info);

// The new all-signatures list from an old one (an array): Quillet's entries of signatures that
// leave Apple Mail are dropped, the others get the current name, and missing entries of
// signatures installed for known accounts are appended. Absent when an element is a dictionary
// without "SignatureUniqueId": the list is not understood, and nothing may be written from it.
std::optional<Plist> NewAllSignaturesArray(const Plist& oldAllSignatures,
                                           const AppleMailSyncInfo& info,
                                           const IdToSignatureMap& idToSignatureMap);

// Updates the "SignaturesSelected" dictionary (account UUID to signature UUID): defaults naming
// a signature that leaves Apple Mail, or that the account loses, are removed; a known account
// with installs whose default is not one of Quillet's gets its first installed signature.
void UpdateSignaturesSelected(PlistNode signaturesSelected, const AppleMailSyncInfo& info);

}  // namespace quillet
