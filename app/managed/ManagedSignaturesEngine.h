#pragma once
// What the organisation's signatures ask of the engine that keeps them: its clients and their
// accounts, its signatures, adding one as the form adds it, and a pass that writes what changed.
// The engine implements it, so that managed signatures sit below the engine and know nothing else
// of it.

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "common/Accounts.h"
#include "common/ClientKind.h"
#include "common/Result.h"
#include "common/ServiceClient.h"
#include "common/Signature.h"
#include "platform/Platform.h"

namespace quillet {

class ManagedSignaturesEngine {
public:
    virtual ~ManagedSignaturesEngine() = default;

    virtual const Platform& platform() const = 0;
    // The support folder, where the links to the entries are kept beside the store.
    virtual const QString& dataFolder() const = 0;
    virtual ServiceClient& serviceClient() = 0;

    // The detected clients, in the engine's order, and what is known of their accounts.
    virtual const std::vector<ClientKind>& clientKinds() const = 0;
    virtual const std::map<ClientKind, AccountsInfo>& clientKindToAccountsInfoMap() const = 0;
    virtual void rediscoverAccounts(const std::vector<ClientKind>& kinds) = 0;

    virtual const SignatureIds& signatureIds() const = 0;
    // What the store holds now of the signature with this uuid: another process may have added
    // it since this engine read the signatures. Fails (saying why) when it cannot be read.
    virtual Result<StoredPresence> storedPresence(const QUuid& uuid) const = 0;
    virtual SignaturePtr signature(SignatureId id) const = 0;  // null for an unknown id
    // A new signature filled by `fill` before its first save.
    virtual SignatureId addSignature(const std::function<void(Signature&)>& fill) = 0;
    // The colour the form gives a signature added now.
    virtual std::int64_t newSignatureColorIndex() = 0;
    // Saves the changed signatures together with the marks of the pass that is to write them,
    // then runs that pass.
    virtual void saveAndSyncSignatures(const SignatureIds& ids) = 0;
    // Told when a reconciliation has ended, the last of the work it set going.
    virtual void reconciliationFinished() = 0;
};

}  // namespace quillet
