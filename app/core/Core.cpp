#include "app/core/Core.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "app/clients/Detection.h"
#include "app/clients/DetectionReport.h"
#include "app/clients/LinuxDetection.h"
#include "app/clients/accounts/DiscoverAccounts.h"
#include "app/core/NewSignature.h"
#include "app/core/SyncPass.h"
#include "app/core/SyncPreview.h"
#include "app/managed/ManagedSignatures.h"
#include "app/permissions/AccessibilityHelper.h"
#include "app/restore/RestorePointStore.h"
#include "app/restore/RestorePoints.h"
#include "app/store/Store.h"
#include "common/Localization.h"
#include "common/Log.h"
#include "common/Text.h"
#include "platform/FileAccess.h"
#include "platform/FreedMemory.h"

namespace quillet {

namespace {

Core* gShared = nullptr;

}  // namespace

Core* Core::shared() {
    return gShared;
}

Core::Core(const Platform& platform, Options options, Brand brand)
    : _platform(platform),
      _options(std::move(options)),
      _brand(std::move(brand)),
      _scriptRunner(platform.paths, platform.bundle),
      _outlookMode(platform.paths),
      _refreshCycle(
          platform.mainQueue,
          [this] {
              ++_refreshesInProgress;
              _syncPassesAtRefreshStart = _syncPassesStarted;
              // A refresh over signatures that cannot be read would find nothing to update and
              // pass for a success.
              if (auto failed = holdSignatures()) {
                  refreshCompleted(false, {}, {}, Localized("Could not read the signatures"),
                                   failed->error);
                  return;
              }
              _serviceClient->RequestUpdatedSignatures(_signatureIds, _idToSignatureMap, *this);
          },
          // A preview's passes read the clients as they are, not as its earlier passes would
          // have left them: a refresh started after the change being previewed would plan over
          // that change from files that still hold the old state. `refresh --dry-run` previews
          // a refresh on its own.
          [this] { return !_options.preview; }) {
    const QUrl serviceUrl =
        _options.serviceUrl.isEmpty() ? ServiceClient::DefaultBaseUrl() : _options.serviceUrl;
    _serviceClient = std::make_unique<ServiceClient>(serviceUrl, _platform.mainQueue);
    _clientSyncs = ClientSyncs(ClientSyncEnvironment{_scriptRunner, _platform.bundle});
    _syncPassRunner = [this](const SignatureIds& ids, std::function<void(WorkOutcome)> done) {
        SyncPass::Start(*this, ids, _alive, _clientSyncs, std::move(done));
    };
}

Core::~Core() {
    *_alive = false;
    saveHeldActivity();
    if (gShared == this)
        gShared = nullptr;
    InstallProcessLogger(nullptr);
    InstallLocalizationBundle(nullptr);
}

Result<std::unique_ptr<Core>> Core::create(const Platform& platform, Options options) {
    auto brand = Brand::load(platform.bundle, Brand::Deliverable::desktopApp);
    if (!brand)
        return Failed{brand.error()};
    std::unique_ptr<Core> core(new Core(platform, std::move(options), std::move(*brand)));
    // Registered before the creation steps, so that code they call reaches it.
    gShared = core.get();
    if (auto failed = core->runCreationSteps())
        return *failed;
    return core;
}

std::optional<Failed> Core::runCreationSteps() {
    InstallLocalizationBundle(&_platform.bundle);
    // Before the log's folder: where Quillet makes ~/Library itself (a Linux desktop), it is
    // made owner-only.
    _dataFolder = _options.dataFolder.isEmpty()
                      ? _platform.paths.applicationSupport() + "/" + _brand->supportFolder()
                      : _options.dataFolder;
    MakeOwnerOnlyFolder(_dataFolder);  // a failure shows when the store is opened
    _loggerX = std::make_unique<Logger>(_platform.paths.logs() + "/" + _brand->supportFolder(),
                                        _brand->versionLine(), _options.console);
    InstallProcessLogger(_loggerX.get());

    // The organisation's choice of service wins over the person's.
    _managedX = std::make_unique<ManagedSignatures>(*this);
    if (const auto url = _managedX->configuration().serviceUrl) {
        logInfo("Core: using the signature service of the managed configuration, " +
                url->toString());
        _serviceClient = std::make_unique<ServiceClient>(*url, _platform.mainQueue);
    }

    _storeX = Store::OpenStoreChain(_dataFolder, _platform.paths.documents(),
                                    [this](const QString& title, const QString& details) {
                                        _failedSaves.push_back(WorkOutcome{false, title, details});
                                        showCriticalAlert(title, details);
                                    });
    if (!_storeX) {
        return Failed{"Could not open the signature store in " + _dataFolder +
                      " (see the log for details)."};
    }
    _storeChangesX = std::make_unique<StoreChangeJournal>();
    _storeX->setSaveObserver(
        [journal = _storeChangesX.get()](std::int64_t key, const auto& before, const auto& after) {
            journal->recordSaved(key, before, after);
        });
    if (_options.detectClients)
        detectClients();
    loadCachedAccounts();
    // Without them, what the engine would do is done over none: a listing that says there are
    // none, the organisation's signatures fetched and added again.
    return loadSignatures();
}

void Core::detectClients() {
    if (_platform.layout == SystemLayout::linuxDesktop) {
        _clientKindToInfoMap = FindLinuxClients(_platform.paths);
        _clientKinds = AvailableClientKinds(_clientKindToInfoMap);
        LogAvailableClients(_clientKindToInfoMap, _clientKinds);
    } else {
        _clientKindToInfoMap = FindInstalledClients(_platform.paths, _outlookMode);
        _clientKinds = AvailableClientKinds(_clientKindToInfoMap);
        LogDetectedClients(_clientKindToInfoMap, _clientKinds, _platform.paths, _outlookMode,
                           *_brand);
    }
    for (ClientKind kind : _clientKinds)
        _clientKindToAccountsInfoMap[kind] = AccountsInfo{};
}

std::optional<Failed> Core::loadSignatures() {
    if (auto failed = readSignatures())
        return failed;
    LogInfoListing("Loaded " + QString::number(_signatureIds.size()) + " signature(s):",
                   _signatureIds.size(), [this](size_t index) {
                       return "    " + Describe(*_idToSignatureMap.at(_signatureIds[index]));
                   });
    return std::nullopt;
}

std::optional<Failed> Core::reloadSignatures() {
    if (_storeX->hasChanges())
        return std::nullopt;  // this process's unsaved changes stay; the next save tries them again
    return readSignatures();
}

std::optional<Failed> Core::readSignatures() {
    auto loaded = _storeX->LoadSignatures();
    if (!loaded)
        return Failed{loaded.error()};  // what the engine holds stays, rather than nothing
    std::tie(_signatureIds, _idToSignatureMap) = std::move(*loaded);
    _qVisibleSignatureIdsQ.reset();
    _storeX->takeRecordsRemovedElsewhere({});  // the lists are as the store holds them now
    return std::nullopt;
}

std::optional<Failed> Core::reloadSignaturesChangedElsewhere() {
    const bool changedElsewhere = _storeX->changedElsewhereSinceRead();
    const bool removing =
        std::any_of(_idToSignatureMap.begin(), _idToSignatureMap.end(),
                    [](const auto& entry) { return entry.second->pendingDeletion; });
    if (!changedElsewhere && !removing)
        return std::nullopt;
    // Kept unread, the copies held here would go into the clients over what the other process
    // changed since: a signature it removed would be written back, and nothing would remove it
    // again. Saved first, this process's changes are merged with the other's, or dropped for a
    // signature the other removed.
    if (changedElsewhere && _storeX->hasChanges() && !_storeX->SaveManagedObjectContext()) {
        return Failed{"Could not save the changes to the signatures in " + _storeX->path() +
                      " (see the log for details)."};
    }
    return reloadSignatures();
}

std::optional<Failed> Core::holdSignatures() {
    if (!_signaturesLetGo)
        return std::nullopt;
    // Merged with any change the store still holds for a save to try again.
    auto failed = readSignatures();
    _signaturesLetGo = failed.has_value();
    return failed;
}

void Core::letSignaturesGoWhenIdle() {
    if (!_options.letSignaturesGoWhenIdle || _letGoPosted)
        return;
    // On a later turn, once the work that ends here has returned: it may still read them.
    _letGoPosted = true;
    _platform.mainQueue.post([this, alive = std::weak_ptr<bool>(_alive)] {
        if (alive.expired())
            return;
        _letGoPosted = false;
        if (!_started || _signaturesLetGo || !isIdle() || !_storeX->letRecordsGo())
            return;
        _signaturesLetGo = true;
        _signatureIds.clear();
        _idToSignatureMap.clear();
        _qVisibleSignatureIdsQ.reset();
        ReturnFreedMemoryToSystem();
        logDebug("Core: idle; the signatures are read again at the next refresh");
    });
}

void Core::start() {
    _started = true;
    startAccountDiscovery();
    _managedX->reconcile();
    refreshFromServer();
}

SignaturePtr Core::signature(SignatureId id) const {
    const auto found = _idToSignatureMap.find(id);
    return found == _idToSignatureMap.end() ? nullptr : found->second;
}

Result<StoredPresence> Core::storedPresence(const QUuid& uuid) const {
    return _storeX->storedPresence(uuid);
}

SignatureIds Core::visibleSignatureIds() {
    if (!_qVisibleSignatureIdsQ) {
        SignatureIds visible;
        for (SignatureId id : _signatureIds) {
            if (!_idToSignatureMap.at(id)->pendingDeletion)
                visible.push_back(id);
        }
        _qVisibleSignatureIdsQ = std::move(visible);
    }
    return *_qVisibleSignatureIdsQ;
}

SignatureId Core::addSignature() {
    return addSignature([](Signature&) {});
}

SignatureId Core::addSignature(const std::function<void(Signature&)>& fill) {
    auto signature = std::make_shared<Signature>();
    signature->active = true;
    signature->uuidX = QUuid::createUuid();
    signature->nameQe = Localized("Signature Name ") + QString::number(_signatureIds.size() + 1);
    // Filled before its one save: a process that dies here leaves the whole signature or none.
    // What it is to be installed in is marked in that save too, so that the save asking for
    // its pass has nothing left to store (one wait for the disk instead of two).
    fill(*signature);
    MarkPendingInstallations(*signature);
    const SignatureId id = _storeX->AddSignatureRecord(*signature);
    _signatureIds.push_back(id);
    _idToSignatureMap[id] = signature;
    _qVisibleSignatureIdsQ.reset();
    refreshFromServerIfPossible();
    return id;
}

std::int64_t Core::newSignatureColorIndex() {
    return NewSignatureColorIndex(visibleSignatureIds().size());
}

void Core::saveSignature(SignatureId id, bool sync, bool defer) {
    // The change and the marks of the pass that is to write it go to the store together.
    if (sync)
        MarkPendingInstallations({id}, _idToSignatureMap);
    const bool removing = _idToSignatureMap.at(id)->pendingDeletion;
    _storeX->SaveSignatures({id}, _idToSignatureMap);
    _qVisibleSignatureIdsQ.reset();
    if (forgetSignaturesRemovedElsewhere().contains(id)) {
        // Removed meanwhile by another process: what the person wanted here was not kept, unless
        // it was the removal itself.
        if (!removing)
            reportSignatureRemovedElsewhere();
        return;
    }
    refreshFromServerIfPossible();
    if (!sync)
        return;
    if (defer) {
        ++_deferredSyncs;
        _platform.mainQueue.post([this, id, alive = std::weak_ptr<bool>(_alive)] {
            if (alive.expired())
                return;
            --_deferredSyncs;
            syncSignatures({id});
        });
    } else {
        syncSignatures({id});
    }
}

void Core::reinstallSignature(SignatureId id) {
    const SignaturePtr signature = _idToSignatureMap.at(id);
    if (!signature->isServiceBased()) {
        reinstallFileSignature(id);
        return;
    }
    const QString key = signature->keyQe;
    logInfo("Core: fetching signature " + key + " before reinstalling it");
    ++_keyFetchesInProgress;
    _serviceClient->FetchSignatureByKey(
        key, [this, id, key, alive = std::weak_ptr<bool>(_alive)](const KeyFetchResult& result) {
            if (alive.expired())
                return;
            --_keyFetchesInProgress;
            const SignaturePtr signature = this->signature(id);
            if (!signature)
                return;  // removed while the fetch ran
            if (result.error) {
                const QString title = result.errorTitle.value_or(QString());
                const QString details = result.errorDetails.value_or(QString());
                _reinstallSourceOutcomes.push_back(WorkOutcome{false, title, details});
                showCriticalAlert(title, details);
            } else if (result.text) {
                const QString text = TrimmedText(*result.text);
                if (text != signature->mainTextQe) {
                    signature->mainTextQe = text;
                    signature->lastUpdateUnixTimeQz =
                        static_cast<std::int64_t>(_platform.mainQueue.now());
                    logInfo("Core: signature " + key + " changed on the server");
                }
            } else {
                logWarning("Core: signature " + key +
                           " not found on the server; reinstalling the stored copy");
            }
            signature->markForReinstallation();
            noteReinstallationAsked(*signature);
            saveSignature(id, true, false);
        });
}

void Core::reinstallFileSignature(SignatureId id) {
    Signature& signature = *_idToSignatureMap.at(id);
    // The file is read again as the form reads it: the person may have edited it.
    const auto read = ReadSignatureFile(signature.filePathQe);
    if (const auto* refusal = std::get_if<NewSignatureRefusal>(&read)) {
        const Alert alert = RefusalAlert(*refusal);
        _reinstallSourceOutcomes.push_back(WorkOutcome{false, alert.title, alert.informativeText});
        _platform.prompter.ask(alert);
        return;
    }
    const QString& text = std::get<QString>(read);
    if (text != signature.localTextQe) {
        signature.localTextQe = text;
        logInfo("Core: the file of signature \"" + signature.nameQe + "\" changed");
    }
    signature.markForReinstallation();
    noteReinstallationAsked(signature);
    saveSignature(id, true, false);
}

void Core::noteReinstallationAsked(const Signature& signature) {
    if (signature.uuidX)
        _storeChangesX->noteReinstallationAsked(CanonicalUuidText(*signature.uuidX));
}

void Core::syncSignatures(const SignatureIds& ids) {
    // A pass asked for while another runs waits for it: the clients' files must not be written
    // by two passes at once.
    _queuedSyncPasses.push_back(ids);
    if (!_syncPassRunning)
        runNextSyncPass();
}

void Core::saveAndSyncSignatures(const SignatureIds& ids) {
    // The change and the marks of the pass that is to write it go to the store together.
    MarkPendingInstallations(ids, _idToSignatureMap);
    saveSignatures(ids, _idToSignatureMap);
    syncSignatures(ids);
}

void Core::runNextSyncPass() {
    if (_queuedSyncPasses.empty())
        return;
    const SignatureIds ids = _queuedSyncPasses.front();
    _queuedSyncPasses.pop_front();
    _syncPassRunning = true;
    ++_syncPassesStarted;
    _syncPassRunner(ids, [this, alive = std::weak_ptr<bool>(_alive)](WorkOutcome outcome) {
        if (alive.expired())
            return;
        _syncOutcomes.push_back(std::move(outcome));
        _syncPassRunning = false;
        if (_refreshesInProgress == 0)
            saveHeldActivity();  // a refresh's, when the pass kept no record of its own
        forgetSignaturesRemovedElsewhere();
        _platform.notificationCenter.post(kSyncPassFinishedNotification);
        if (!_queuedSyncPasses.empty()) {
            _platform.mainQueue.post([this, alive] {
                if (!alive.expired() && !_syncPassRunning)
                    runNextSyncPass();
            });
        } else {
            letSignaturesGoWhenIdle();
        }
    });
}

void Core::refreshFromServer() {
    _refreshCycle.refresh();
}

void Core::refreshFromServerIfPossible() {
    _refreshCycle.refreshIfPossible();
}

void Core::setRequestingUpdatedSignatures(bool requesting) {
    _refreshCycle.setRequesting(requesting);
}

std::pair<SignatureIds, SignatureIds> Core::applySignatureUpdates(
    const SignatureUpdates& updates, const std::optional<ActiveFlags>& activeFlags,
    std::int64_t updateTime, const QString& label) {
    SignatureIds updated, modifiedOnly, changed;
    for (SignatureId id : _signatureIds) {
        switch (ApplySignatureUpdate(*_idToSignatureMap.at(id), updates, activeFlags, updateTime)) {
            case SignatureUpdateEffect::updated:
                updated.push_back(id);
                changed.push_back(id);
                break;
            case SignatureUpdateEffect::modifiedOnly:
                modifiedOnly.push_back(id);
                changed.push_back(id);
                break;
            case SignatureUpdateEffect::none:
                break;
        }
    }
    logInfo("Updating " + QString::number(updated.size()) + " signature(s) via " + label + "...");
    // The new texts and the marks of the pass that writes them are saved together: a process
    // that dies before that pass leaves them pending, never stored as if written.
    MarkPendingInstallations(updated, _idToSignatureMap);
    _storeX->SaveSignatures(changed, _idToSignatureMap);
    _qVisibleSignatureIdsQ.reset();
    // A signature another process removed meanwhile stays removed; it is not updated.
    const std::set<SignatureId> removed = forgetSignaturesRemovedElsewhere();
    std::erase_if(updated, [&removed](SignatureId id) { return removed.contains(id); });
    std::erase_if(modifiedOnly, [&removed](SignatureId id) { return removed.contains(id); });
    return {updated, modifiedOnly};
}

void Core::refreshCompleted(bool success, const SignatureIds& updated,
                            const SignatureIds& modifiedOnly,
                            const std::optional<QString>& errorTitle,
                            const std::optional<QString>& errorDetails) {
    if (_refreshesInProgress > 0)
        --_refreshesInProgress;
    recordRefresh(success);
    if (success) {
        _refreshOutcomes.push_back(WorkOutcome{});
        if (!updated.empty() || !modifiedOnly.empty()) {
            _platform.notificationCenter.post(
                kSignaturesUpdatedFromServerNotification,
                {{kUpdatedSignatureIdsKey, updated}, {kModifiedOnlySignatureIdsKey, modifiedOnly}});
        }
    } else {
        const QString title = errorTitle.value_or(QString());
        const QString details = errorDetails.value_or(QString());
        _refreshOutcomes.push_back(WorkOutcome{false, title, details});
        if (_options.mainWindowIsVisibleAndKey())
            showCriticalAlert(title, details);
    }
    _refreshCycle.scheduleNext(success);
    // The pass goes on the next turn: a refresh that ended at once (no key to ask the service
    // for) must not run ahead of the pass that the change which started it is about to ask for.
    ++_refreshPassesPosted;
    _platform.mainQueue.post([this, alive = std::weak_ptr<bool>(_alive),
                              updated = success ? updated : SignatureIds{},
                              passesAtStart = _syncPassesAtRefreshStart] {
        if (alive.expired())
            return;
        --_refreshPassesPosted;
        syncAfterRefresh(updated, passesAtStart);
    });
}

void Core::syncAfterRefresh(const SignatureIds& updated, std::int64_t passesAtStart) {
    if (_signaturesLetGo) {
        // The refresh could not read them: no pass, and no organisation's entry matched against
        // signatures the engine does not hold (it would fetch and add them again).
        saveHeldActivity();
        letSignaturesGoWhenIdle();
        return;
    }
    // Installations a postponed, failed or interrupted pass left behind go with this pass. A pass
    // that asked the person while this refresh was in flight has their answer already, and one
    // that is about to run (a deferred pass) carries its own.
    SignatureIds ids;
    const SignatureIds pending =
        _syncPassesStarted == passesAtStart && _deferredSyncs == 0
            ? SignaturesWithPendingInstallations(_signatureIds, _idToSignatureMap, pendingScope())
            : SignatureIds{};
    for (SignatureId id : _signatureIds) {
        if (std::find(updated.begin(), updated.end(), id) != updated.end() ||
            std::find(pending.begin(), pending.end(), id) != pending.end())
            ids.push_back(id);
    }
    if (ids.empty())
        saveHeldActivity();
    else
        syncSignatures(ids);
    _managedX->reconcile();
    letSignaturesGoWhenIdle();
}

bool Core::isNewOutlookDetected() const {
    // Outlook never runs on a Linux desktop: there is nothing to point anyone elsewhere for.
    if (_platform.layout == SystemLayout::linuxDesktop)
        return false;
    return IsNewOutlookDetected(_outlookMode, _clientKindToInfoMap);
}

void Core::showNewOutlookNoticeIfNeeded() {
    if (_newOutlookNoticeShown)
        return;
    _newOutlookNoticeShown = true;
    ShowNewOutlookNotice(_platform.prompter, _platform.workspace, *_brand);
}

void Core::showCriticalAlert(const QString& title, const QString& details) {
    saveHeldActivity();
    _platform.prompter.ask(Alert{AlertStyle::critical, title, details, {Localized("OK")}, {}});
}

SyncInputs Core::syncInputs(ClientKind kind) {
    return SyncInputs{*_clientKindToInfoMap.at(kind),
                      _clientKindToAccountsInfoMap.at(kind),
                      _signatureIds,
                      _idToSignatureMap,
                      *this,
                      _platform.paths,
                      _options.preview ? _options.preview->writesFor(kind)
                      : _passRecorderX ? _passRecorderX->writesFor(kind)
                                       : DirectClientWrites(),
                      ReplacedSettings(ReplacedSettingsPath(_dataFolder))};
}

RestorePoints Core::restorePoints() const {
    return _options.restorePointsFolder.isEmpty() ? RestorePoints::InSupportFolder(_dataFolder)
                                                  : RestorePoints(_options.restorePointsFolder);
}

QString Core::changeReason(const SignatureIds& ids) const {
    if (!_options.changeReason.isEmpty())
        return _options.changeReason;
    std::set<QString> uuids;
    bool allManaged = !ids.empty();
    for (SignatureId id : ids) {
        if (const SignaturePtr signature = this->signature(id); signature && signature->uuidX)
            uuids.insert(CanonicalUuidText(*signature->uuidX));
        allManaged = allManaged && _managedX->isManaged(id);
    }
    return InferChangeReason(_storeChangesX->changes(), uuids, allManaged,
                             _storeChangesX->reinstallationAsked(uuids));
}

void Core::beginRestorePoint(const QString& reason) {
    if (_options.preview)
        return;
    _passRecorderX = std::make_unique<RestorePointRecorder>(
        restorePoints(), reason, [this] { return _storeChangesX->changes(); });
}

void Core::endRestorePoint() {
    if (_passRecorderX) {
        if (const auto id = _passRecorderX->finish(_restorePointsInUse))
            logInfo("Restore points: kept " + *id + " with the changes of this pass");
    }
    _passRecorderX.reset();
    _storeChangesX->clear();
}

void Core::pruneRestorePoints() {
    if (!_options.preview)
        restorePoints().prune(QDateTime::currentDateTimeUtc(), _restorePointsInUse);
}

void Core::saveSignatures(const SignatureIds& ids, const IdToSignatureMap& map) {
    _storeX->SaveSignatures(ids, map);
    _qVisibleSignatureIdsQ.reset();
}

std::set<SignatureId> Core::forgetSignaturesRemovedElsewhere() {
    const SignatureIds removed = _storeX->takeRecordsRemovedElsewhere(_signatureIds);
    for (SignatureId id : removed) {
        logInfo("Core: signature " + id.toString() + " was removed by another process");
        std::erase(_signatureIds, id);
        _idToSignatureMap.erase(id);
    }
    if (!removed.empty())
        _qVisibleSignatureIdsQ.reset();
    return {removed.begin(), removed.end()};
}

void Core::reportSignatureRemovedElsewhere() {
    const Alert alert{
        AlertStyle::warning,
        Localized("The signature was removed"),
        Localized("It was removed in another window or by another command while you changed it; "
                  "your change was not kept."),
        {Localized("OK")},
        {}};
    // The pass the change asked for does not run: its outcome is this.
    _syncOutcomes.push_back(WorkOutcome{false, alert.title, alert.informativeText});
    _platform.prompter.ask(alert);
}

QString Core::activityRecordPath() const {
    return _dataFolder + "/" + kActivityRecordFileName;
}

ActivityRecord Core::activityRecord() const {
    ActivityRecord record = LoadActivityRecord(activityRecordPath());
    addHeldActivity(record);
    return record;
}

void Core::addHeldActivity(ActivityRecord& record) const {
    if (_heldRefresh)
        record.lastRefresh = _heldRefresh;
    if (_heldSyncProblems) {
        record.lastSyncTime = _heldSyncProblems->first;
        record.problems = _heldSyncProblems->second;
    }
}

// Waiting for the disk twice for one command's record buys nothing: a process killed before the
// write leaves the record as it was, as a power loss may anyway.
void Core::recordRefresh(bool success) {
    _heldRefresh = RefreshRecord{static_cast<std::int64_t>(_platform.mainQueue.now()), success};
}

void Core::recordSyncProblems(const QStringList& problems) {
    _heldSyncProblems.emplace(static_cast<std::int64_t>(_platform.mainQueue.now()), problems);
    if (_refreshesInProgress == 0)
        saveHeldActivity();
}

void Core::saveHeldActivity() {
    if (!_heldRefresh && !_heldSyncProblems)
        return;
    UpdateActivityRecord(activityRecordPath(),
                         [this](ActivityRecord& record) { addHeldActivity(record); });
    _heldRefresh.reset();
    _heldSyncProblems.reset();
}

bool Core::isIdle() const {
    return _refreshesInProgress == 0 && _refreshPassesPosted == 0 && _keyFetchesInProgress == 0 &&
           _deferredSyncs == 0 && _discoveriesInProgress == 0 && !_syncPassRunning &&
           _queuedSyncPasses.empty() && !_letGoPosted && (!_managedX || _managedX->isIdle());
}

}  // namespace quillet
