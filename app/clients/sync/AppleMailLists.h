#pragma once
// Apple Mail's three signature lists rebuilt in memory: the accounts map ("AccountsMap.plist"),
// the all-signatures list ("AllSignatures.plist", also its iCloud copy) and the default
// selection ("SignaturesSelected" in Mail's preferences). Only Quillet's entries (recognised by
// their UUIDs) change; every other entry, and every element of an unexpected shape, is kept as
// it was.

#include <map>
#include <optional>
#include <set>

#include "app/clients/sync/AppleMailSyncInfo.h"
#include "app/clients/sync/ReplacedSettings.h"
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

// Account UUID to the email that the entry's "AccountURL" names ("imap://ann%40example.com" or
// with a server after the address), for the entries that have one.
std::map<QString, QString> AccountUrlEmails(const Plist& accountsMap);

inline const QString kAllSignaturesFileName = QStringLiteral("AllSignatures.plist");

// The name under which an account's default signature is kept when Quillet replaces it.
inline const QString kSignaturesSelectedSetting = QStringLiteral("SignaturesSelected");

// Updates the "SignaturesSelected" dictionary (account UUID to signature UUID): a known account
// with installs whose default is not one of Quillet's gets its first installed signature, and
// what it had is added to `changes` (by email) to be kept. Defaults naming a signature that leaves
// Apple Mail, or that the account loses, go back to the account's kept default when that is
// still one of the list's own signatures (`ownSignatureUuids`), else are removed. Kept defaults
// of known accounts whose default is no longer Quillet's are forgotten.
void UpdateSignaturesSelected(PlistNode signaturesSelected, const AppleMailSyncInfo& info,
                              const std::map<QString, ClientSettings>& kept,
                              const std::set<QString>& ownSignatureUuids,
                              ReplacedSettingsChanges& changes);

// Mail's preferences as a restore is about to put them back (restored), where an account's
// default that the restore changes to a signature the all-signatures list no longer has (the
// person deleted it since) is removed, as a sync removes it. A default left as it is now
// (current) stays as the person has it. The list is the one the restore leaves (absent: no
// file). Absent when the preferences or the list cannot be read as such.
std::optional<QByteArray> AppleMailPreferencesPointingIntoList(
    const QByteArray& restored, const std::optional<QByteArray>& current,
    const std::optional<QByteArray>& allSignatures);

// The UUIDs of the entries of an all-signatures list that are not Quillet's.
std::set<QString> OwnSignatureUuids(const Plist& allSignatures, const AppleMailSyncInfo& info);

}  // namespace quillet
