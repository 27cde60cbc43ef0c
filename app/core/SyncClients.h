#pragma once
// The client syncs the pass can run, in the fixed order Apple Mail, Outlook, Postbox, Spark,
// Thunderbird: for each, the call with its five inputs and the translation of its error record
// into what the person is told.

#include <functional>
#include <vector>

#include "app/clients/ClientInfo.h"
#include "app/core/SyncReport.h"
#include "common/Accounts.h"
#include "common/Signature.h"

namespace quillet {

class Store;

// The five inputs of every client sync, in their order.
struct ClientSyncInputs {
    const ClientInfo& clientInfo;
    const AccountsInfo& accountsInfo;
    const SignatureIds& signatureIds;
    const IdToSignatureMap& idToSignatureMap;
    Store& storeContext;
};

struct ClientSync {
    ClientKind kind;
    std::function<ClientSyncReport(const ClientSyncInputs&)> run;
};

// The syncs of this build, in the fixed order.
const std::vector<ClientSync>& ClientSyncs();

}  // namespace quillet
