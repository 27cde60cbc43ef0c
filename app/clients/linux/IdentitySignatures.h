#pragma once
// The rule the syncs of Evolution, KMail and Geary share. Each identity of these clients carries
// at most one signature, as a few settings of the identity (Evolution's SignatureUid, KMail's
// inline signature keys, Geary's use_signature and signature). The sync gives each identity the
// signature that the per-account assignment gives it; before Quillet's signature replaces the
// person's own settings, they are kept (ReplacedSettings), and when Quillet's signature leaves
// an identity that still carries it, what the person had is put back. An identity that carries
// the person's own signature and none of Quillet's is never written.

#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "app/clients/sync/ReplacedSettings.h"
#include "app/clients/sync/SyncPlan.h"
#include "common/Accounts.h"

namespace quillet {

// What a client tells the shared rule about its identities.
struct IdentitySignatureClient {
    // The identity's signature settings as they are now (a setting absent: the identity has
    // none). Absent when no identity of the client carries the account's address now (discovery
    // is older than the client's storage): that account is not written.
    std::function<std::optional<ClientSettings>(const LinuxClientAccount& identity)>
        currentSettings;
    // Whether those settings are Quillet's signature.
    std::function<bool(const LinuxClientAccount& identity, const ClientSettings& current)>
        holdsQuillets;
    // The settings that make the identity carry this signature.
    std::function<ClientSettings(const Signature& signature)> settingsFor;
};

// One identity to write: each setting set to its value, or removed when the value is absent.
struct IdentityChange {
    const LinuxClientAccount* identity;
    ClientSettings settings;
};

struct IdentitySignaturePlan {
    std::vector<IdentityChange> changes;  // in the order of the accounts
    ReplacedSettingsChanges replaced;     // by account email
    std::set<QString> unwrittenEmails;    // accounts that no identity carries now
};

// The identities of the accounts, in order (accounts of another kind are skipped).
std::vector<const LinuxClientAccount*> LinuxClientIdentities(const AccountsInfo& accountsInfo);

// The changes for every identity of the inputs' accounts, from what was kept of the person's
// settings in this storage (by account email). Writes nothing.
IdentitySignaturePlan PlanIdentitySignatures(ClientKind clientKind, const SyncInputs& inputs,
                                             const std::map<QString, ClientSettings>& kept,
                                             const IdentitySignatureClient& client);

// The closing sequence for the Linux clients: accounts the sync could not write count as not
// reported by discovery, so that their selections stay pending and nothing is recorded for them.
void FinishIdentitySync(ClientKind clientKind, const SyncInputs& inputs, const QString& syncName,
                        const std::set<QString>& unwrittenEmails);

// Logs "SYNCNAME: Not writing EMAIL: no identity of STORAGE carries it" for each.
void LogUnwrittenEmails(const QString& syncName, const QString& storage,
                        const std::set<QString>& unwrittenEmails);

// Whether a signature's recorded installation into the account wrote exactly this text: how the
// clients that hold the text itself recognise Quillet's.
bool IsInstalledText(ClientKind clientKind, const IdToSignatureMap& map, const QString& email,
                     const QString& text);

}  // namespace quillet
