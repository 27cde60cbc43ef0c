#pragma once
// Which installations still wait for a pass to write them.
//
// A pass marks the selected installations it is about to write for reinstallation and saves
// that before it touches any client; each client sync clears the marks of what it wrote. So a
// pass that was postponed ("Later"), failed, or never ended leaves its installations marked,
// and the engine runs a pass over them again at the next refresh. A signature that must leave a
// client (pending deletion, or made inactive) is pending there while that client still holds it.
//
// Only what a pass could write counts: detected clients, and per-account selections only for
// the accounts the client's discovery reported.

#include <map>
#include <vector>

#include "common/Accounts.h"
#include "common/ClientKind.h"
#include "common/Signature.h"

namespace quillet {

struct PendingScope {
    const std::vector<ClientKind>& detected;  // the engine's client order
    const std::map<ClientKind, AccountsInfo>& accounts;
};

// The clients, in the engine's order, where the signature has something left to write.
std::vector<ClientKind> PendingClients(const Signature& signature, const PendingScope& scope);

// The signatures of the list with something left to write, in list order.
SignatureIds SignaturesWithPendingInstallations(const SignatureIds& ids,
                                                const IdToSignatureMap& map,
                                                const PendingScope& scope);

// Marks, for each listed signature that can be installed in each given client, the selected
// installations a sync of that client writes. Returns the signatures whose marks changed.
SignatureIds MarkPendingInstallations(const SignatureIds& ids, const IdToSignatureMap& map,
                                      const std::vector<ClientKind>& clients,
                                      const std::map<ClientKind, AccountsInfo>& accounts);

}  // namespace quillet
