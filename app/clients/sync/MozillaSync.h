#pragma once
// What the Thunderbird and Postbox syncs share: the identity preferences of prefs.js, and
// reading and writing that file with the syncs' log lines.

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "app/clients/ClientInfo.h"
#include "app/clients/PrefsFile.h"
#include "app/clients/sync/SyncPlan.h"
#include "common/Accounts.h"
#include "common/Signature.h"

namespace quillet {

inline const QString kSigOnReplySetting = QStringLiteral("sig_on_reply");
inline const QString kSigOnFwdSetting = QStringLiteral("sig_on_fwd");

// The identities of the accounts, in order (accounts of another kind are skipped).
std::vector<const MozillaBasedClientAccount*> MozillaIdentities(const AccountsInfo& accountsInfo);
// "mail.identity.idN.": the beginning of every preference key of identity N.
QString IdentityGroupPrefix(const QString& identityNumber);

// The string value of one setting ("htmlSigText") of every identity in the lines, by its whole
// key, read in one pass however many identities there are.
std::map<QString, QString> IdentityStringValues(const QStringList& lines, const QString& setting);

// What a sync changes in prefs.js: preferences set, then preferences removed, each in one pass.
struct PrefsEdits {
    std::vector<PrefsLineSetting> settings;
    std::set<QString> removedKeys;

    QStringList appliedTo(const QStringList& lines) const;
};

// Calls `visit` for each account in order, with the group prefix of the identity that carries
// its address in the lines (prefs.js as it is about to be written) and the signature that the
// per-account assignment gives it (null when none). Discovery may be older than the file: when
// the identity it found now carries another address (the person replaced the account), the
// identity that carries this one is visited instead, and an account whose address no identity
// carries is not visited at all, never written into someone else's identity. Returns those
// accounts' emails, each logged as "SYNCNAME: Not writing EMAIL: no identity of PATH carries it".
using IdentityVisitor = std::function<void(const MozillaBasedClientAccount& identity,
                                           const QString& prefix, const Signature* assigned)>;
std::set<QString> VisitAssignedIdentities(ClientKind clientKind, const SyncInputs& inputs,
                                          const QStringList& lines, const QString& syncName,
                                          const IdentityVisitor& visit);

// The identity's current values of the settings (by name, below its prefix), to keep before
// Quillet replaces them.
ClientSettings IdentitySettings(const QStringList& lines, const QString& prefix,
                                const QStringList& settingNames);
// Puts kept settings back (a setting the identity did not have is removed again).
void PutBackIdentitySettings(PrefsEdits& edits, const QString& prefix,
                             const ClientSettings& settings);

// true or false, as prefs.js writes booleans.
QString PrefsBoolRawValue(bool value);
// The settings that carry a signature's reply and forward switches.
void AppendInsertionSettings(std::vector<PrefsLineSetting>& settings, const QString& prefix,
                             const Signature& signature);

// The profile folder; empty when detection gave none (reading then fails).
QString ProfileFolder(const ClientInfo& clientInfo);
// PROFILE/prefs.js.
QString PrefsFilePath(const ClientInfo& clientInfo);
QString ProfileFilePath(const ClientInfo& clientInfo, const QString& name);

// Reads prefs.js; on failure logs "SYNCNAME: Could not read prefs file PATH".
std::optional<QStringList> ReadSyncPrefsFile(const QString& syncName, const QString& path);
// Unless the file holds these lines already, logs "SYNCNAME: Writing out PATH..." and writes
// atomically; on failure logs "SYNCNAME: Could not write out PATH" and returns what failed.
std::optional<FileFailure> WriteSyncPrefsFile(const QString& syncName, const QString& path,
                                              const QStringList& lines, ClientWrites& writes);

}  // namespace quillet
