#pragma once
// The organisation's signatures: keeps the signatures in line with the managed configuration,
// without asking anyone. Each entry without its signature is fetched by key and installed as
// the new-signature form would install it (client, account or all accounts, options); an entry
// whose client, account or options changed is selected again and synced; a signature whose entry
// is gone from the configuration is uninstalled. A configuration that cannot be read changes
// nothing. The engine reconciles at start and at the end of every refresh; one reconciliation
// runs at a time, and one asked for meanwhile runs after it.

#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "app/managed/ManagedConfiguration.h"
#include "app/managed/ManagedLinks.h"
#include "app/managed/ManagedSignaturesEngine.h"
#include "common/ServiceClient.h"
#include "common/Signature.h"

namespace quillet {

class ManagedSignatures {
public:
    explicit ManagedSignatures(ManagedSignaturesEngine& engine);
    ~ManagedSignatures();
    ManagedSignatures(const ManagedSignatures&) = delete;
    ManagedSignatures& operator=(const ManagedSignatures&) = delete;

    // The configuration as it stands now, read again (and what it refuses logged) on each call.
    ManagedConfiguration configuration() const;
    // The signatures that the organisation manages (those linked to an entry).
    std::set<SignatureId> managedSignatureIds() const;
    bool isManaged(SignatureId id) const;

    void reconcile();
    // Whether a pass over these signatures answers "Later" on its own instead of asking to close
    // the clients: true (and logged) when all of them are the organisation's, whom nobody may
    // answer for.
    bool postponesClosing(const SignatureIds& ids, const std::vector<ClientKind>& clients) const;
    // No reconciliation running or waiting for accounts or fetches.
    bool isIdle() const { return !_running; }

    // What the person is told when they try to change a managed signature.
    static QString managedSignatureTitle();
    static QString managedSignatureText();

private:
    struct Fetch {
        ManagedEntry entry;
        std::optional<KeyFetchResult> result;
    };

    void waitForAccounts();
    void fetchMissing();
    void apply();
    // Installs the fetched entries that no process has linked yet and writes the links; the
    // signatures changed (installed, reselected, on their way out).
    SignatureIds link();
    void finish();
    std::map<ClientKind, SelectedInstallationsInfo> desiredSelection(const ManagedEntry& entry,
                                                                     bool log) const;
    bool reselect(Signature& signature, const ManagedEntry& entry);
    std::optional<SignatureId> install(const ManagedEntry& entry, const QString& text);
    SignaturePtr signatureByUuid(const QUuid& uuid, SignatureId* id) const;
    // Whether the link stands for a signature the engine holds: one whose signature is gone no
    // longer stands for anything; one whose signature is on its way out stands only for that (an
    // entry added back gets a new signature).
    bool stands(const ManagedLink& link) const;

    ManagedSignaturesEngine& _engine;
    bool _running = false;
    bool _again = false;
    ManagedConfiguration _configuration;
    std::vector<ClientKind> _accountKinds;  // clients whose accounts the entries need
    std::vector<ManagedLink> _links;
    std::vector<ManagedLink> _linksRead;  // the file's, as this reconciliation first read them
    std::vector<Fetch> _fetches;
    int _fetchesInFlight = 0;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

}  // namespace quillet
