#pragma once
// The engine: one object that owns the logger, the store, the detected clients and their
// accounts, and every live signature. It starts everything in a fixed order, keeps service
// signatures current (at start, 2 hours after a success, 5 minutes after a failure, on demand)
// and hands every change to the sync pass. All of it runs on the main thread.

#include <QString>
#include <QUrl>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "app/base/AppleScript.h"
#include "app/clients/ClientInfo.h"
#include "app/clients/OutlookMode.h"
#include "app/clients/sync/SyncPlan.h"
#include "app/core/ActivityRecord.h"
#include "app/core/PendingInstallations.h"
#include "app/core/SyncClients.h"
#include "app/managed/ManagedSignaturesEngine.h"
#include "app/permissions/AccessibilityHelper.h"
#include "common/Accounts.h"
#include "common/Brand.h"
#include "common/EngineRules.h"
#include "common/Log.h"
#include "common/Logger.h"
#include "common/RefreshCycle.h"
#include "common/ServiceClient.h"
#include "common/Signature.h"
#include "platform/Platform.h"

namespace quillet {

class AccountDiscovery;
class ManagedSignatures;
class RestorePointRecorder;
class RestorePoints;
class Store;
class StoreChangeJournal;
class SyncPreview;

inline const QString kAccountsInfoUpdatedNotification = "kAccountsInfoUpdatedNotification";
inline const QString kSignaturesUpdatedInClientsNotification =
    "kSignaturesUpdatedInClientsNotification";
// Posted when a sync pass ends, however it ended (written, postponed, failed): what is installed
// and what is pending may have changed.
inline const QString kSyncPassFinishedNotification = "kSyncPassFinishedNotification";

// How a refresh or a sync pass ended: success, or what the user would be told. A pass the
// person postponed ("Later") is no failure.
struct WorkOutcome {
    bool success = true;
    QString title;
    QString details;
    bool postponed = false;
};

// The sync pass over a list of signatures; calls done once, on the main thread, when finished.
using SyncPassRunner =
    std::function<void(const SignatureIds& ids, std::function<void(WorkOutcome)> done)>;

class Core final : public UpdatedSignaturesReceiver,
                   public SignatureSaver,
                   public ManagedSignaturesEngine {
public:
    struct Options {
        QUrl serviceUrl;                           // empty: the default service
        ConsoleSink console = SystemLogConsole();  // where the logger's echo goes
        std::function<bool()> mainWindowIsVisibleAndKey = [] { return false; };
        QString dataFolder;              // empty: the brand's folder in Application Support
        SyncPreview* preview = nullptr;  // set: the client syncs' writes go there instead
        // What the restore points of this engine's passes name as their cause: the command;
        // empty: "refresh" (the application's passes, `quillet run`).
        QString changeReason;
        // Where the restore points are; empty: "Restore Points" in the data folder.
        QString restorePointsFolder;
        // False for a process that only reads the store (a listing): it looks for no client, so
        // it starts no tool to ask a client's mode, and offers no client.
        bool detectClients = true;
        // For a process that waits in the background with no window (`quillet run`): once the
        // engine has started and no work is left (the organisation's entries reconciled too) and
        // the store has taken every change, it lets go of its signatures, and the next refresh
        // reads them again first; when that fails, the refresh fails and nothing that needs them
        // runs. Only refreshes may bring such an engine work: it holds nothing meanwhile.
        bool letSignaturesGoWhenIdle = false;
    };

    // Runs the creation steps in their fixed order. Fails when the engine cannot run (the brand
    // keys are incomplete, the store cannot be opened), saying why.
    static Result<std::unique_ptr<Core>> create(const Platform& platform, Options options);
    // The engine registered during creation (null when none lives).
    static Core* shared();
    ~Core() override;

    void start();
    // Reads the signatures again, as another process (a command beside the application) may have
    // changed them since; kept as they are while this process has changes the store has not
    // taken yet, and when the store cannot be read (the failure says why).
    std::optional<Failed> reloadSignatures();
    // The same, only when another process may have written the store since this one read it, or
    // a removal waits for a reading to finish it: reading ten thousand signatures takes longer
    // than a pass takes to write one. Changes a failed save left are saved first when another
    // process wrote the store: the copies held here must not be written into the clients over
    // its changes. Fails when they still cannot be saved, or the store cannot be read.
    std::optional<Failed> reloadSignaturesChangedElsewhere();
    void startAccountDiscovery();
    void rediscoverAccounts(const std::vector<ClientKind>& kinds) override;
    void SetDiscoveredAccounts(ClientKind kind, const std::optional<Accounts>& accounts,
                               bool partial);

    const ClientInfoMap& clientKindToInfoMap() const { return _clientKindToInfoMap; }
    const std::vector<ClientKind>& clientKinds() const override { return _clientKinds; }
    const std::map<ClientKind, AccountsInfo>& clientKindToAccountsInfoMap() const override {
        return _clientKindToAccountsInfoMap;
    }
    const SignatureIds& signatureIds() const override { return _signatureIds; }
    const IdToSignatureMap& idToSignatureMap() const { return _idToSignatureMap; }
    SignaturePtr signature(SignatureId id) const override;  // null for an unknown id
    Result<StoredPresence> storedPresence(const QUuid& uuid) const override;
    SignatureIds visibleSignatureIds();

    SignatureId addSignature();
    // A new signature filled by `fill` before its first save, so that the store never holds it
    // half made.
    SignatureId addSignature(const std::function<void(Signature&)>& fill) override;
    std::int64_t newSignatureColorIndex() override;
    void saveSignature(SignatureId id, bool sync, bool defer);
    void reinstallSignature(SignatureId id);
    void syncSignatures(const SignatureIds& ids);
    void saveAndSyncSignatures(const SignatureIds& ids) override;
    void reconciliationFinished() override { letSignaturesGoWhenIdle(); }

    void refreshFromServer();
    void refreshFromServerIfPossible();
    void setRequestingUpdatedSignatures(bool requesting) override;
    std::pair<SignatureIds, SignatureIds> applySignatureUpdates(
        const SignatureUpdates& updates, const std::optional<ActiveFlags>& activeFlags,
        std::int64_t updateTime, const QString& label) override;
    void refreshCompleted(bool success, const SignatureIds& updated,
                          const SignatureIds& modifiedOnly,
                          const std::optional<QString>& errorTitle,
                          const std::optional<QString>& errorDetails) override;

    bool isNewOutlookDetected() const;
    void showNewOutlookNoticeIfNeeded();
    void showCriticalAlert(const QString& title, const QString& details);

    // The engine's logger is the process's: these and the free Log functions write the same.
    void logError(const QString& message) { LogError(message); }
    void logWarning(const QString& message) { LogWarning(message); }
    void logInfo(const QString& message) { LogInfo(message); }
    void logDebug(const QString& message) { LogDebug(message); }

    // For the command line and tests: nothing the engine set going is still running or queued
    // (a refresh in flight, a key fetch, a sync pass, a deferred pass, account discovery).
    // Scheduled refreshes do not count.
    bool isIdle() const;
    // The outcomes of the refreshes and sync passes that finished, oldest first.
    const std::vector<WorkOutcome>& refreshOutcomes() const { return _refreshOutcomes; }
    const std::vector<WorkOutcome>& syncOutcomes() const { return _syncOutcomes; }
    // The outcomes of what reinstalling reads first: the key's fetch of a service-based
    // signature, the file of a file-based one.
    const std::vector<WorkOutcome>& reinstallSourceOutcomes() const {
        return _reinstallSourceOutcomes;
    }
    // The saves of the store that failed ("Could not save signatures"), oldest first.
    const std::vector<WorkOutcome>& failedSaves() const { return _failedSaves; }
    // The sync pass runs the client syncs; a test that only looks at what was asked for hands in
    // its own runner.
    void setSyncPassRunner(SyncPassRunner runner) { _syncPassRunner = std::move(runner); }
    // The inputs of a detected client's sync; the engine saves what the sync changed.
    SyncInputs syncInputs(ClientKind kind);
    void saveSignatures(const SignatureIds& ids, const IdToSignatureMap& map) override;

    // Restore points. A pass keeps what it changes through the recorder begun here (none under a
    // preview), with the signature records that the store's saves changed since the previous
    // pass ended (or the engine was created): the changes the pass carries.
    RestorePoints restorePoints() const;
    void beginRestorePoint(const QString& reason);
    void endRestorePoint();
    // What a pass over these signatures is named by: the command's name when one is set, else
    // what their records' changes show ("install", "rename", …, "refresh").
    QString changeReason(const SignatureIds& ids) const;
    // Points that a restore is reading and undoing: no pass prunes them meanwhile.
    void setRestorePointsInUse(std::set<QString> ids) { _restorePointsInUse = std::move(ids); }
    void pruneRestorePoints();
    // Expires when the engine goes: work posted on its behalf checks it first.
    std::weak_ptr<bool> lifetime() const { return _alive; }

    // What a pass could still write: the detected clients and the accounts they reported.
    PendingScope pendingScope() const { return {_clientKinds, _clientKindToAccountsInfoMap}; }
    // The last refresh and the last pass's problems, as kept in the support folder (also by
    // other processes of this user).
    ActivityRecord activityRecord() const;
    // Keeps the problems of a pass that wrote the clients (empty: it wrote them cleanly).
    void recordSyncProblems(const QStringList& problems);
    // Writes what the activity record has not been given yet: a refresh's outcome waits for
    // the pass that follows it, a pass's for the refresh in flight, so that one command waits
    // for the disk once. Before the person is asked anything, it is written at once.
    void saveHeldActivity();

    const Brand& brand() const { return *_brand; }
    const Platform& platform() const override { return _platform; }
    const AppleScriptRunner& scriptRunner() const { return _scriptRunner; }
    ServiceClient& serviceClient() override { return *_serviceClient; }
    Store& store() { return *_storeX; }
    const QString& dataFolder() const override { return _dataFolder; }
    // The organisation's signatures (device management).
    ManagedSignatures& managed() { return *_managedX; }
    const OutlookModeProbe& outlookMode() const { return _outlookMode; }
    // What the permission checks need of the detected clients, for validate.
    PermissionContext permissionContext() const;
    // Where validate shows missing permissions (the application's assistant); null: an alert.
    void setPermissionsPresenter(PermissionsPresenter* presenter) {
        _permissionsPresenter = presenter;
    }

private:
    Core(const Platform& platform, Options options, Brand brand);
    std::optional<Failed> runCreationSteps();
    // The creation's reading of the signatures; a store that cannot be read fails the creation.
    std::optional<Failed> loadSignatures();
    void detectClients();
    void loadCachedAccounts();
    void validateAccountDiscovery(const std::vector<ClientKind>& kinds);
    void startDiscovery(const std::vector<ClientKind>& kinds);
    void runNextSyncPass();
    void recordRefresh(bool success);
    // Reads the signatures, kept as they are when the store cannot be read (the failure says why).
    std::optional<Failed> readSignatures();
    // Lets the signatures go (Options::letSignaturesGoWhenIdle) on a later turn, if the engine has
    // started and is idle then.
    void letSignaturesGoWhenIdle();
    // Reads the signatures again when the engine let them go while idle; a failure leaves them
    // let go, and the work that needs them does not run.
    std::optional<Failed> holdSignatures();
    // The pass after a refresh: the updated signatures and what is left pending.
    void syncAfterRefresh(const SignatureIds& updated, std::int64_t passesAtStart);
    // Reads the file again (refused as the form refuses it) and reinstalls what it holds.
    void reinstallFileSignature(SignatureId id);
    void noteReinstallationAsked(const Signature& signature);
    // Drops from the lists the signatures whose records another process deleted while this one
    // held changes to them (their removal stands); returns them.
    std::set<SignatureId> forgetSignaturesRemovedElsewhere();
    // Tells the person that their change of a signature another process removed was dropped.
    void reportSignatureRemovedElsewhere();
    QString activityRecordPath() const;
    // Puts into the record what it has not been given yet (saveHeldActivity).
    void addHeldActivity(ActivityRecord& record) const;

    Platform _platform;
    Options _options;
    std::optional<Brand> _brand;
    AppleScriptRunner _scriptRunner;
    OutlookModeProbe _outlookMode;
    std::unique_ptr<ServiceClient> _serviceClient;
    std::vector<ClientSync> _clientSyncs;
    QString _dataFolder;

    std::unique_ptr<Logger> _loggerX;
    std::unique_ptr<Store> _storeX;
    std::unique_ptr<ManagedSignatures> _managedX;
    std::unique_ptr<StoreChangeJournal> _storeChangesX;
    std::unique_ptr<RestorePointRecorder> _passRecorderX;
    std::set<QString> _restorePointsInUse;
    ClientInfoMap _clientKindToInfoMap;
    std::vector<ClientKind> _clientKinds;
    std::map<ClientKind, AccountsInfo> _clientKindToAccountsInfoMap;
    SignatureIds _signatureIds;
    IdToSignatureMap _idToSignatureMap;
    std::optional<SignatureIds> _qVisibleSignatureIdsQ;
    bool _signaturesLetGo = false;  // while idle; the next refresh reads them again
    bool _letGoPosted = false;      // the engine is idle once it has let them go
    bool _started = false;          // only a started engine lets them go: start() needs them
    RefreshCycle _refreshCycle;
    bool _newOutlookNoticeShown = false;
    PermissionsPresenter* _permissionsPresenter = nullptr;

    // Work in progress, for isIdle().
    int _refreshesInProgress = 0;
    int _refreshPassesPosted = 0;
    int _keyFetchesInProgress = 0;
    int _deferredSyncs = 0;
    int _discoveriesInProgress = 0;
    bool _syncPassRunning = false;
    // Passes started, and their count when the refresh in flight started: a refresh runs the
    // pending installations again only when no pass has asked the person since it began.
    std::int64_t _syncPassesStarted = 0;
    std::int64_t _syncPassesAtRefreshStart = 0;
    std::deque<SignatureIds> _queuedSyncPasses;
    // Not yet in the activity record (saveHeldActivity).
    std::optional<RefreshRecord> _heldRefresh;
    std::optional<std::pair<std::int64_t, QStringList>> _heldSyncProblems;  // time, problems
    SyncPassRunner _syncPassRunner;
    std::vector<WorkOutcome> _refreshOutcomes;
    std::vector<WorkOutcome> _syncOutcomes;
    std::vector<WorkOutcome> _reinstallSourceOutcomes;
    std::vector<WorkOutcome> _failedSaves;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);  // guards posted work
    // Last, so that running discoveries stop before anything they use goes away.
    std::vector<std::unique_ptr<AccountDiscovery>> _discoveries;
};

}  // namespace quillet
