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
QString IdentityGroupPrefix(const MozillaBasedClientAccount& identity);

// The string value of one setting ("htmlSigText") of every identity, by its whole key, read in
// one pass over the lines however many identities there are.
std::map<QString, QString> IdentityStringValues(const AccountsInfo& accountsInfo,
                                                const QStringList& lines, const QString& setting);

// What a sync changes in prefs.js: preferences set, then preferences removed, each in one pass.
struct PrefsEdits {
    std::vector<PrefsLineSetting> settings;
    std::set<QString> removedKeys;

    QStringList appliedTo(const QStringList& lines) const;
};

// Calls `visit` for each identity of the accounts in order, with its group prefix and the
// signature that the per-account assignment gives it (null when none).
using IdentityVisitor = std::function<void(const MozillaBasedClientAccount& identity,
                                           const QString& prefix, const Signature* assigned)>;
void VisitAssignedIdentities(ClientKind clientKind, const SyncInputs& inputs,
                             const IdentityVisitor& visit);

// true or false, as prefs.js writes booleans.
QString PrefsBoolRawValue(bool value);
// The settings that carry a signature's reply and forward switches.
void AppendInsertionSettings(std::vector<PrefsLineSetting>& settings, const QString& prefix,
                             const Signature& signature);

// PROFILE/prefs.js; the empty profile path when detection gave none (reading then fails).
QString PrefsFilePath(const ClientInfo& clientInfo);
QString ProfileFilePath(const ClientInfo& clientInfo, const QString& name);

// Reads prefs.js; on failure logs "SYNCNAME: Could not read prefs file PATH".
std::optional<QStringList> ReadSyncPrefsFile(const QString& syncName, const QString& path);
// Unless the file holds these lines already, logs "SYNCNAME: Writing out PATH..." and writes
// atomically; on failure logs "SYNCNAME: Could not write out PATH" and returns false.
bool WriteSyncPrefsFile(const QString& syncName, const QString& path, const QStringList& lines,
                        ClientWrites& writes);

}  // namespace quillet
