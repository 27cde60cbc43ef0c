#pragma once
// Which installations are not done yet, and why.
//
// An installation is done when the client holds what the signature now says. A signature that
// can be installed in a client is done in each selected account (or in all accounts) when that
// account's performed installation carries the signature's effective text and no
// reinstallation mark; anything else it still has installed there must go. A signature on its
// way out (pending deletion, made inactive, left without text) is done in a client once no
// performed installation is left there. Texts are compared, not only marks, so that a mark lost
// to a crash or to a failed save can never make a stale client look current.
//
// What is not done is of three kinds: what a pass can do now (a detected client, and an account
// its discovery reported, or all accounts); what waits for account discovery (an account the
// client has not reported, which no sync writes or removes); and what waits for a client that
// is not detected (moved away, or its profile gone). A refresh runs a pass over the first kind;
// all three are reported (`quillet status`, the panel, the pass's problems).
//
// A change that is to reach the clients marks its installations for reinstallation in the same
// save that stores the change (MarkPendingInstallations; a new signature in the save that adds
// it), and each client sync clears the marks of what it wrote. So a pass that was postponed
// ("Later"), failed, or never ended leaves its installations pending, and a process killed
// between the change and its pass loses nothing.

#include <QStringList>
#include <map>
#include <vector>

#include "app/clients/sync/SyncPlan.h"
#include "common/Accounts.h"
#include "common/ClientKind.h"
#include "common/Signature.h"

namespace quillet {

// The clients and their accounts that pending work is judged against. Each detected client's
// discovery is read once here, not once for every signature asked about.
struct PendingScope {
    PendingScope(const std::vector<ClientKind>& detected,
                 const std::map<ClientKind, AccountsInfo>& accounts);
    const std::vector<ClientKind>& detected;  // the engine's client order
    std::map<ClientKind, DiscoveryState> discoveries;
};

// What is left to do for one signature in one client.
struct PendingWork {
    bool passCanDo = false;       // a pass over the signature does (some of) it now
    QStringList awaitedAccounts;  // accounts the client has not reported: untouched until it does
    bool clientAway = false;      // the client is not detected: all of it waits for the client
    bool any() const { return passCanDo || clientAway || !awaitedAccounts.isEmpty(); }
};
PendingWork PendingWorkIn(const Signature& signature, ClientKind kind, const PendingScope& scope);
// Whether a pass over the signature would do some of its pending work now, in a detected client.
bool PassCanDoPendingWork(const Signature& signature, const PendingScope& scope);

// The clients where the signature has something left to do: the detected ones in the engine's
// order, then those that are away in client order.
std::vector<ClientKind> PendingClients(const Signature& signature, const PendingScope& scope);

// The signatures of the list that a pass can bring further now, in list order.
SignatureIds SignaturesWithPendingInstallations(const SignatureIds& ids,
                                                const IdToSignatureMap& map,
                                                const PendingScope& scope);

// Marks every selected installation of each listed signature that can be installed in the
// client, in every client, for reinstallation. Returns the signatures whose marks changed.
SignatureIds MarkPendingInstallations(const SignatureIds& ids, const IdToSignatureMap& map);
// The same for one signature; whether its marks changed.
bool MarkPendingInstallations(Signature& signature);

}  // namespace quillet
