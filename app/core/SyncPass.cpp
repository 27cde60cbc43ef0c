#include "app/core/SyncPass.h"

#include <QStringList>
#include <algorithm>

#include "app/base/AppleScript.h"
#include "app/core/PendingInstallations.h"
#include "app/managed/ManagedSignatures.h"
#include "app/permissions/AccessibilityHelper.h"
#include "common/Localization.h"
#include "platform/FileLock.h"

namespace quillet {

namespace {

bool HasInstallations(const SelectedInstallationsInfo& info) {
    return info.allAccountsSelected || !info.accountEmailToPayloadMap.empty();
}

bool HasInstallations(const PerformedInstallationsInfo& info) {
    return info.allAccountsInstalled || !info.accountEmailToPayloadMap.empty();
}

bool Contains(const std::vector<ClientKind>& kinds, ClientKind kind) {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

QStringList DisplayNames(const std::vector<ClientKind>& kinds) {
    QStringList names;
    for (ClientKind kind : kinds)
        names << DisplayName(kind);
    return names;
}

}  // namespace

SyncClientSets ComputeSyncClientSets(const SignatureIds& ids, const IdToSignatureMap& map,
                                     const std::vector<ClientKind>& detected) {
    std::set<ClientKind> touched;
    for (SignatureId id : ids) {
        const auto found = map.find(id);
        if (found == map.end())
            continue;
        const Signature& signature = *found->second;
        // A selection without any text has nothing to write; what was installed must still go.
        const bool hasText = !signature.mainTextQe.isEmpty() || !signature.localTextQe.isEmpty();
        if (hasText) {
            for (const auto& [kind, info] : signature.clientKindToSelectedInstallationsInfoMap) {
                if (HasInstallations(info))
                    touched.insert(kind);
            }
        }
        for (const auto& [kind, info] : signature.clientKindToPerformedInstallationsInfoMap) {
            if (HasInstallations(info))
                touched.insert(kind);
        }
    }
    SyncClientSets sets;
    for (ClientKind kind : detected) {
        if (touched.contains(kind))
            sets.toSync.push_back(kind);
    }
    for (ClientKind kind : touched) {
        if (!Contains(detected, kind))
            sets.unavailable.push_back(kind);
    }
    return sets;
}

void SyncPass::Start(Core& core, const SignatureIds& ids, std::weak_ptr<bool> coreAlive,
                     const std::vector<ClientSync>& syncs, Done done) {
    const auto pass =
        std::make_shared<SyncPass>(core, std::move(coreAlive), syncs, std::move(done));
    pass->_reason = core.changeReason(ids);
    pass->run(ids);
}

void SyncPass::StartOverClients(Core& core, const std::vector<ClientKind>& clients,
                                const QString& reason, std::weak_ptr<bool> coreAlive,
                                const std::vector<ClientSync>& syncs,
                                std::function<void()> afterSyncs, Done done) {
    const auto pass =
        std::make_shared<SyncPass>(core, std::move(coreAlive), syncs, std::move(done));
    pass->_reason = reason;
    pass->_afterSyncs = std::move(afterSyncs);
    pass->_clientsToSync = clients;
    AccessibilityHelper::validate(core.permissionContext(),
                                  AccessibilityHelper::ValidationKind::signatureSync,
                                  std::set<ClientKind>(clients.begin(), clients.end()));
    pass->closeClientsAndSync({});
}

SyncPass::SyncPass(Core& core, std::weak_ptr<bool> coreAlive, const std::vector<ClientSync>& syncs,
                   Done done)
    : _core(core), _coreAlive(std::move(coreAlive)), _syncs(syncs), _done(std::move(done)) {}

void SyncPass::run(const SignatureIds& ids) {
    const SyncClientSets sets =
        ComputeSyncClientSets(ids, _core.idToSignatureMap(), _core.clientKinds());
    _clientsToSync = sets.toSync;
    _ids = ids;
    // The engine saved the change with its marks; a pass asked for otherwise marks here, before
    // any client is touched: a pass that is postponed, fails or never ends leaves what it was to
    // write pending, and the next refresh runs it again.
    const SignatureIds marked = MarkPendingInstallations(ids, _core.idToSignatureMap());
    if (!marked.empty())
        _core.saveSignatures(marked, _core.idToSignatureMap());
    AccessibilityHelper::validate(
        _core.permissionContext(), AccessibilityHelper::ValidationKind::signatureSync,
        std::set<ClientKind>(_clientsToSync.begin(), _clientsToSync.end()));
    if (!sets.unavailable.empty()) {
        const Alert alert = UnavailableClientsAlert(sets.unavailable);
        _core.saveHeldActivity();
        _core.platform().prompter.ask(alert);
        // What those clients still hold or lack is not done: the pass cannot say it succeeded.
        if (std::any_of(sets.unavailable.begin(), sets.unavailable.end(),
                        [this](ClientKind kind) { return !workLeftIn(kind).empty(); })) {
            _unavailableOutcome = WorkOutcome{false, alert.title, alert.informativeText};
        }
    }
    closeClientsAndSync(ids);
}

void SyncPass::closeClientsAndSync(const SignatureIds& ids) {
    std::vector<ClientKind> toClose;
    for (ClientKind kind : _clientsToSync) {
        if (!IsUpdatedWhileRunning(kind) && isRunning(kind))
            toClose.push_back(kind);
    }
    if (toClose.empty()) {
        finish(runClientSyncs(_clientsToSync));
        return;
    }
    // Running clients are never closed on the organisation's behalf.
    const auto [proceed, reopen] = _core.managed().postponesClosing(ids, toClose)
                                       ? std::pair{false, false}
                                       : askToCloseClients(toClose);
    if (!proceed) {
        // The changes stay in the records and the store; the next pass carries them.
        finish(WorkOutcome{true, {}, {}, true});
        return;
    }
    _reopen = reopen;
    Workspace& workspace = _core.platform().workspace;
    for (ClientKind kind : toClose) {
        const QString identifier = BundleIdentifier(kind);
        const auto running = workspace.runningBundleIdentifiers().count(identifier);
        for (qsizetype i = 0; i < running; ++i)
            _core.logInfo("Closing client: " + DisplayName(kind) + "...");
        workspace.forceTerminate(identifier);
    }
    _closedClients = toClose;
    after(kSyncDelay, [this] { waitForClosedClients(kSyncDelay); });
}

Alert SyncPass::UnavailableClientsAlert(const std::vector<ClientKind>& unavailable) {
    const QString text = unavailable.size() == 1
                             ? Localized("The following email client is no longer available: ")
                             : Localized("The following email clients are no longer available: ");
    return Alert{AlertStyle::warning,
                 Localized("Some email clients are unavailable"),
                 text + DisplayNames(unavailable).join(", ") + ".",
                 {Localized("OK")},
                 {}};
}

std::vector<PendingWork> SyncPass::workLeftIn(ClientKind kind) const {
    std::vector<PendingWork> left;
    const PendingScope scope = _core.pendingScope();
    for (SignatureId id : _ids) {
        if (const SignaturePtr signature = _core.signature(id)) {
            PendingWork work = PendingWorkIn(*signature, kind, scope);
            if (work.any())
                left.push_back(std::move(work));
        }
    }
    return left;
}

std::pair<bool, bool> SyncPass::askToCloseClients(const std::vector<ClientKind>& clients) {
    QString text =
        Localized("The following email clients need to be closed in order to update signatures:\n");
    for (ClientKind kind : clients)
        text += DisplayName(kind) + "\n";
    _core.saveHeldActivity();
    const Answer answer = _core.platform().prompter.ask(
        Alert{AlertStyle::warning,
              Localized("Some email clients need to be closed."),
              text,
              {Localized("OK"), Localized("Later")},
              Localized("Re-open the email clients after updating signatures")});
    return {answer.buttonIndex == 0, answer.checkboxOn};
}

void SyncPass::waitForClosedClients(double waited) {
    // A force-terminated client can take a moment to go; written before it has gone, it would
    // write its own files over ours on the way out.
    const bool anyRunning = std::any_of(_closedClients.begin(), _closedClients.end(),
                                        [this](ClientKind kind) { return isRunning(kind); });
    if (anyRunning && waited < _core.platform().workspace.exitWaitLimit()) {
        after(kExitPollInterval,
              [this, waited] { waitForClosedClients(waited + kExitPollInterval); });
        return;
    }
    syncAndFinish();
}

void SyncPass::syncAndFinish() {
    _outcome = runClientSyncs(_clientsToSync);
    if (!_reopen) {
        finish(_outcome);
        return;
    }
    after(kReopenDelay, [this] {
        reopenClosedClients();
        finish(_outcome);
    });
}

WorkOutcome SyncPass::runClientSyncs(const std::vector<ClientKind>& clients) {
    // Another process (a command beside the application, two commands) may be syncing the same
    // client files: each sync reads a file, changes it and writes it whole, so two at once would
    // lose one's changes. Passes take turns; the lock goes with the process if it dies.
    const FileLock lock(_core.dataFolder() + "/" + kSyncPassLockFileName, [this] {
        _core.logInfo("Sync pass: waiting for the sync pass of another process to finish...");
    });
    if (!lock.isHeld())
        _core.logWarning("Sync pass: syncing without the lock: " + lock.error());
    // The other process may have changed the signatures meanwhile; writing from what this one
    // read earlier would put back what it removed or renamed. Unread, nothing is written: the
    // installations stay pending for the next pass.
    if (auto failed = _core.reloadSignaturesChangedElsewhere()) {
        _core.logError("Sync pass: not syncing, as the signatures could not be read again: " +
                       failed->error);
        _core.recordSyncProblems({failed->error});
        return tellProblems({failed->error});
    }
    ClientSyncReports reports;
    _core.beginRestorePoint(_reason);
    for (const ClientSync& sync : _syncs) {
        if (!Contains(clients, sync.kind))
            continue;
        if (!IsUpdatedWhileRunning(sync.kind) && isRunning(sync.kind)) {
            // Still quitting, or opened again while the question was on screen.
            _core.logWarning("Not updating client " + DisplayName(sync.kind) + ": it is running");
            reports.emplace_back(sync.kind, ClientWasRunningReport());
            continue;
        }
        ClientSyncReport report = sync.run(_core.syncInputs(sync.kind));
        // Written, but an account the client has not reported was left as it was.
        QStringList awaited;
        for (const PendingWork& work :
             report.problem ? std::vector<PendingWork>() : workLeftIn(sync.kind)) {
            for (const QString& email : work.awaitedAccounts) {
                if (!awaited.contains(email))
                    awaited << email;
            }
        }
        if (!awaited.isEmpty())
            report = AccountsNotFoundReport(awaited);
        reports.emplace_back(sync.kind, std::move(report));
    }
    if (_afterSyncs)
        _afterSyncs();
    _core.endRestorePoint();
    const auto counted = std::count_if(reports.begin(), reports.end(),
                                       [](const auto& entry) { return entry.second.counted; });
    const bool problems = std::any_of(reports.begin(), reports.end(),
                                      [](const auto& entry) { return entry.second.problem; });
    WorkOutcome outcome = _unavailableOutcome.value_or(WorkOutcome{});
    const QStringList problemParts = SyncProblemParts(reports, _core.brand().appName());
    if (!reports.empty())
        _core.recordSyncProblems(problemParts);
    if (problems)
        outcome = tellProblems(problemParts);
    if (counted > 0) {
        _core.platform().notificationCenter.post(
            kSignaturesUpdatedInClientsNotification,
            {{kSyncHadProblemsKey, problems || _unavailableOutcome.has_value()}});
    }
    return outcome;
}

WorkOutcome SyncPass::tellProblems(const QStringList& parts) {
    const WorkOutcome outcome{false, Localized("There were problems updating some signatures."),
                              parts.join("\n\n")};
    _core.saveHeldActivity();
    _core.platform().prompter.ask(
        Alert{AlertStyle::critical, outcome.title, outcome.details, {Localized("OK")}, {}});
    return outcome;
}

void SyncPass::reopenClosedClients() {
    for (ClientKind kind : _closedClients) {
        if (isRunning(kind))
            continue;  // opened again by the person meanwhile
        const auto info = _core.clientKindToInfoMap().find(kind);
        if (info == _core.clientKindToInfoMap().end())
            continue;
        _core.logInfo("Re-opening client: " + DisplayName(kind) + "...");
        _core.platform().workspace.launch(info->second->path);
    }
}

bool SyncPass::isRunning(ClientKind kind) const {
    return IsApplicationRunning(_core.platform().workspace, BundleIdentifier(kind));
}

void SyncPass::after(double seconds, std::function<void()> step) {
    _core.platform().mainQueue.postAfter(seconds,
                                         [self = shared_from_this(), step = std::move(step)] {
                                             if (!self->_coreAlive.expired())
                                                 step();
                                         });
}

void SyncPass::finish(WorkOutcome outcome) {
    if (_done)
        std::exchange(_done, nullptr)(std::move(outcome));
}

}  // namespace quillet
