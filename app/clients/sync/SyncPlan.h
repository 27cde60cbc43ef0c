#pragma once
// What the five client syncs have in common.
//
// How a client sync uses it: SyncXxxSignatures(const SyncInputs&) logs SyncName("SyncXxx...")
// alone, reads the client's storage, and works out the client's new state from the inputs with
// IsInstallable / InstallableSignatureIds (which signatures belong in the client),
// AccountEmailToSignatureIdMap (which signature is each account's default), EffectiveText (the
// text to write) and UuidTextToSignatureIdMap (which entries of the client are Quillet's). Only
// once the client's storage holds the new state does it call FinishSync, which turns the
// selected installations into performed ones (UpdateInstallations), lists the signatures whose
// installations that changed, before and after, and saves them through the SignatureSaver.
// A sync that stops with an error before that point leaves every installation as it was, so
// that the next sync tries again, and returns its own error record
// (std::optional<SyncXxxSignaturesError>: absent on success).

#include <QString>
#include <map>
#include <optional>
#include <set>

#include "app/clients/ClientInfo.h"
#include "app/clients/sync/ClientWrites.h"
#include "app/clients/sync/ReplacedSettings.h"
#include "common/Accounts.h"
#include "common/ClientKind.h"
#include "common/Signature.h"
#include "common/SignatureId.h"

namespace quillet {

class Paths;

// Where a sync saves the signatures whose installations it changed: the engine's store.
class SignatureSaver {
public:
    virtual ~SignatureSaver() = default;
    // Writes the listed signatures from the map and saves (also when the list is empty). A
    // failure is the saver's to report; the sync does not look at it.
    virtual void saveSignatures(const SignatureIds& ids, const IdToSignatureMap& map) = 0;
};

// The inputs of every client sync. `signatureIds` and `idToSignatureMap` hold the same
// signatures (every signature of the store, in the engine's order); a sync changes the live
// records of the map and nothing else of the inputs.
struct SyncInputs {
    const ClientInfo& clientInfo;
    const AccountsInfo& accountsInfo;
    const SignatureIds& signatureIds;
    const IdToSignatureMap& idToSignatureMap;
    SignatureSaver& store;
    const Paths& paths;  // roots every path a sync builds (the user's Library folder and so on)
    ClientWrites& writes = DirectClientWrites();  // where the client's changes go
    // Where the person's settings that Quillet's signatures replace are kept; by default nowhere.
    ReplacedSettings replaced = {};
};

// The same inputs with other accounts: those a sync found it could write (or listed itself).
inline SyncInputs WithAccounts(const SyncInputs& inputs, const AccountsInfo& accountsInfo) {
    return SyncInputs{inputs.clientInfo, accountsInfo, inputs.signatureIds, inputs.idToSignatureMap,
                      inputs.store,      inputs.paths, inputs.writes,       inputs.replaced};
}

// "SyncThunderbirdSignatures" -> "SyncThunderbirdSignatures(_:_:_:_:_:)()", the prefix of every
// log line of that sync.
QString SyncName(const QString& operation);

// mainTextQe when not empty, else localTextQe, as clients can carry it (TextForClients); nothing
// when that is empty. What every sync writes and records.
std::optional<QString> EffectiveText(const Signature& signature);

// Not pending deletion, active, selected for the client, and with an effective text.
bool IsInstallable(const Signature& signature, ClientKind clientKind);

// The installable signatures whose selection for the client is for all accounts or names at
// least one account: those the client's storage must hold. Once discovery has succeeded, only
// accounts it reported count: a signature that waits for an address no account carries leaves
// the client's list (the store keeps no installation of it there) and comes back with the
// address. While discovery fails, every selected address counts.
std::set<SignatureId> InstallableSignatureIds(ClientKind clientKind,
                                              const AccountsInfo& accountsInfo,
                                              const IdToSignatureMap& idToSignatureMap);

// Every signature's uuid in canonical text (upper case) to its id: how a sync recognises
// Quillet's entries in a client's storage.
std::map<QString, SignatureId> UuidTextToSignatureIdMap(const IdToSignatureMap& idToSignatureMap);

// The per-account assignment for clients with one default signature per account: for each
// account in order, the first signature of the id list that is installable and selected for that
// account by email. Selections for all accounts never enter it.
std::map<QString, SignatureId> AccountEmailToSignatureIdMap(
    ClientKind clientKind, const AccountsInfo& accountsInfo, const SignatureIds& signatureIds,
    const IdToSignatureMap& idToSignatureMap);

// Whether a client's default-signature pointer from the account `email` to Quillet's signature,
// which the assignment no longer gives that account, goes back to the client's own default.
// It does when the signature leaves the client (`staysInClient` false), or when Quillet bound
// the account (the signature's performed installations for the client name it) and the
// signature is no longer selected for it. A signature that the person picked in the client
// stays picked.
bool ReleasesAccountDefault(ClientKind clientKind, const Signature& signature, bool staysInClient,
                            const QString& email);

inline const QString kOldSignaturesTitle = QStringLiteral("Old idToSignatureMap signatures");
inline const QString kNewSignaturesTitle = QStringLiteral("New idToSignatureMap signatures");

// At level Info, as one entry: "NAME: TITLE (N signature(s)):" with NAME the sync name without
// its trailing "()" and N the size of the map, then for each id of the list its text, ":\n",
// and the signature's description (a long listing is cut short, see LogInfoListing).
void LogSignatures(const QString& syncName, const SignatureIds& signatureIds,
                   const IdToSignatureMap& idToSignatureMap, const QString& title);
// The same listing of the signatures that concern the client: selected or installed there.
void LogClientSignatures(const QString& syncName, ClientKind clientKind, const SyncInputs& inputs,
                         const QString& title);

// How far account discovery is trusted: the emails of its accounts whatever the status, and
// whether it succeeded.
struct DiscoveryState {
    bool discoverySucceeded = false;
    std::set<QString> knownEmails;
};
DiscoveryState DiscoveryStateOf(const AccountsInfo& accountsInfo);

// The bookkeeping of a finished sync for one signature and one client: the selected
// installations become the performed ones, reinstallation marks are cleared for accounts that
// discovery reported, and the performed entries of accounts that a failed discovery did not
// report are carried over.
void UpdateInstallations(ClientKind clientKind, const DiscoveryState& discovery,
                         Signature& signature);

// Keeps the settings a plan is about to replace (and forgets those it found gone) before the
// client is written. False when they could not be kept, logged as
// "SYNCNAME: Could not keep the replaced signature settings: WHAT": the client must then not be
// written, or the person's own settings would be lost.
bool KeepReplacedSettings(const SyncInputs& inputs, ClientKind clientKind, const QString& storage,
                          const ReplacedSettingsChanges& changes, const QString& syncName);

// The closing sequence once the client's storage holds the new state: UpdateInstallations for
// every signature, then the signatures whose installations for the client it changed listed
// as they were (when asked) and as they are, and saved.
// `unwrittenEmails`: accounts the sync left alone although discovery reported them (their
// identity in the client no longer carries their address); they count as not reported, and
// their selected installations stay pending.
void FinishSync(ClientKind clientKind, const SyncInputs& inputs, const QString& syncName,
                bool logOldSignatures, const std::set<QString>& unwrittenEmails = {});

}  // namespace quillet
