#pragma once
// The sync pass: takes the signatures that changed, works out which clients they touch, tells
// the person about clients that are gone, closes the clients that must not run while their files
// are written (after asking), runs the client syncs one at a time in the fixed client order, and
// turns their errors into one alert. Runs on the main thread; its waits are main-queue work.
//
// A client is written only while it is not running: after closing the clients the pass waits
// (bounded) until they have really exited, and checks again right before each client's sync.
// A client running then is not written and is reported as not updated; its installations stay
// pending for a later pass. Outlook is the exception: it is updated through its scripts while
// it runs.

#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "app/core/Core.h"
#include "app/core/PendingInstallations.h"
#include "app/core/SyncClients.h"
#include "app/core/SyncReport.h"

namespace quillet {

// The user info entry of "kSignaturesUpdatedInClientsNotification": true when the pass also
// showed its problems alert, so that no window then claims that everything was updated.
inline const QString kSyncHadProblemsKey = "HadProblems";

// The lock file in the data folder that serialises sync passes across processes.
inline const QString kSyncPassLockFileName = "SyncPass.lock";

// The client sets of a pass over the given signatures.
struct SyncClientSets {
    std::vector<ClientKind> toSync;       // touched and detected, in the engine's client order
    std::vector<ClientKind> unavailable;  // touched and not detected, in client order
};
SyncClientSets ComputeSyncClientSets(const SignatureIds& ids, const IdToSignatureMap& map,
                                     const std::vector<ClientKind>& detected);

class SyncPass : public std::enable_shared_from_this<SyncPass> {
public:
    static constexpr double kSyncDelay = 1.0;    // after closing clients, before the syncs
    static constexpr double kReopenDelay = 1.0;  // after the syncs, before re-opening
    // How often the pass looks whether closed clients have exited; it waits as long as the
    // workspace says they may take.
    static constexpr double kExitPollInterval = 0.25;

    using Done = std::function<void(WorkOutcome)>;

    // Starts a pass; done runs once, on the main thread, when it is finished or postponed.
    // The pass keeps itself alive while it waits and does nothing more once the engine is gone.
    static void Start(Core& core, const SignatureIds& ids, std::weak_ptr<bool> coreAlive,
                      const std::vector<ClientSync>& syncs, Done done);
    // A pass over the given clients rather than over signatures (a restore): nothing is marked
    // pending, and its restore point names `reason`. `afterSyncs` runs once the syncs have run,
    // under the pass's lock and before its restore point is finished (a restore puts the store
    // back there). `syncs` must live until done has run.
    static void StartOverClients(Core& core, const std::vector<ClientKind>& clients,
                                 const QString& reason, std::weak_ptr<bool> coreAlive,
                                 const std::vector<ClientSync>& syncs,
                                 std::function<void()> afterSyncs, Done done);

    SyncPass(Core& core, std::weak_ptr<bool> coreAlive, const std::vector<ClientSync>& syncs,
             Done done);

private:
    void run(const SignatureIds& ids);
    void closeClientsAndSync(const SignatureIds& ids);
    static Alert UnavailableClientsAlert(const std::vector<ClientKind>& unavailable);
    // What the pass's signatures still have to do in the client.
    std::vector<PendingWork> workLeftIn(ClientKind kind) const;
    // (proceed, re-open)
    std::pair<bool, bool> askToCloseClients(const std::vector<ClientKind>& clients);
    void waitForClosedClients(double waited);
    void syncAndFinish();
    WorkOutcome runClientSyncs(const std::vector<ClientKind>& clients);
    // Tells the person of the pass's problems, one part each; the pass's failed outcome.
    WorkOutcome tellProblems(const QStringList& parts);
    void reopenClosedClients();
    bool isRunning(ClientKind kind) const;
    void after(double seconds, std::function<void()> step);
    void finish(WorkOutcome outcome);

    Core& _core;
    std::weak_ptr<bool> _coreAlive;
    const std::vector<ClientSync>& _syncs;
    Done _done;
    SignatureIds _ids;
    std::vector<ClientKind> _clientsToSync;
    // Set when clients that are not detected keep some of the pass's work.
    std::optional<WorkOutcome> _unavailableOutcome;
    QString _reason;  // of the pass's restore point
    std::function<void()> _afterSyncs;
    std::vector<ClientKind> _closedClients;
    bool _reopen = false;
    WorkOutcome _outcome;
};

}  // namespace quillet
