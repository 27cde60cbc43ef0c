#include "app/clients/sync/OutlookSync.h"

#include <set>
#include <thread>

#include "app/base/AppleScript.h"
#include "app/clients/accounts/DiscoverAccounts.h"
#include "app/clients/sync/ClientText.h"
#include "common/Log.h"
#include "common/Text.h"

namespace quillet {

namespace {

using Error = SyncOutlookSignaturesError;
using Kind = SyncOutlookSignaturesError::Kind;
using Run = OutlookSignatureRun;

// The prefix of the sync's log lines, made once.
const QString& SyncNameText() {
    static const QString name = SyncName("SyncOutlookSignatures");
    return name;
}
// The log lines' prefix: the sync name without its trailing "()".
const QString kPrefix = QStringLiteral("SyncOutlookSignatures(_:_:_:_:_:)");

const PerformedInstallationsInfo* PerformedEntry(const Signature& signature) {
    const auto found =
        signature.clientKindToPerformedInstallationsInfoMap.find(ClientKind::outlook);
    return found == signature.clientKindToPerformedInstallationsInfoMap.end() ? nullptr
                                                                              : &found->second;
}

// The payload a sync recorded for the signature: one and the same for all its accounts.
std::optional<PerformedInstallationPayload> InstalledPayload(const Signature& signature) {
    const PerformedInstallationsInfo* performed = PerformedEntry(signature);
    if (!performed)
        return std::nullopt;
    if (performed->allAccountsInstalled)
        return performed->allAccountsPayloadX;
    if (performed->accountEmailToPayloadMap.empty())
        return std::nullopt;
    return performed->accountEmailToPayloadMap.begin()->second;
}

bool PendingReinstallation(const Signature& signature) {
    const auto& selected =
        signature.clientKindToSelectedInstallationsInfoMap.at(ClientKind::outlook);
    if (selected.allAccountsPayloadX && selected.allAccountsPayloadX->pendingReinstallation)
        return true;
    for (const auto& [email, payload] : selected.accountEmailToPayloadMap) {
        if (payload.pendingReinstallation)
            return true;
    }
    return false;
}

// A name as Outlook's list shows it: the list script drops ";;;" from every name, and the names
// are trimmed when the list is read. Quillet's own names are compared in this form, or a name
// with an outer blank would never be found in Outlook again (nor deleted, nor replaced).
QString ListedName(const QString& name) {
    return TrimmedText(TextForClients(name).remove(";;;"));
}

QString Quoted(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names)
        quoted.append("\"" + name + "\"");
    return "[" + quoted.join(", ") + "]";
}

// An Outlook signature serves every account, so its record stays while it is in Outlook, even
// when none of the emails it was selected for is among those Outlook reports (Outlook may show
// an address in another letter case): without the record, the next sync would take Quillet's
// own signature for the person's and refuse to install it.
bool KeepRecordWhileInOutlook(Signature& signature) {
    if (PerformedEntry(signature) || !IsInstallable(signature, ClientKind::outlook))
        return false;
    const auto& selected =
        signature.clientKindToSelectedInstallationsInfoMap.at(ClientKind::outlook);
    const PerformedInstallationPayload payload{signature.nameQe,
                                               EffectiveText(signature).value_or(QString())};
    PerformedInstallationsInfo performed;
    if (selected.allAccountsSelected) {
        performed.allAccountsInstalled = true;
        performed.allAccountsPayloadX = payload;
    } else {
        for (const auto& [email, ignored] : selected.accountEmailToPayloadMap)
            performed.accountEmailToPayloadMap.emplace(email, payload);
    }
    if (!performed.allAccountsInstalled && performed.accountEmailToPayloadMap.empty())
        return false;
    signature.clientKindToPerformedInstallationsInfoMap[ClientKind::outlook] = performed;
    return true;
}

// Outlook's copy serves every account: once it is (re)installed, no account waits for it, not
// even one that Outlook does not report (the bookkeeping keeps those marks for clients whose
// signatures are per account), or the signature would be reinstalled at every sync.
void ClearPendingReinstallation(Signature& signature) {
    auto& selected = signature.clientKindToSelectedInstallationsInfoMap.at(ClientKind::outlook);
    if (selected.allAccountsPayloadX)
        selected.allAccountsPayloadX = SelectedInstallationPayload{};
    for (auto& [email, payload] : selected.accountEmailToPayloadMap)
        payload = SelectedInstallationPayload{};
}

void LogSingle(const QString& when, SignatureId id, const Signature& signature) {
    LogInfo(SyncNameText() + ": Signature " + when + " single-signature update:\n" + id.toString() +
            ":\n" + Describe(signature));
}

bool DeleteOutlookSignature(const AppleScriptRunner& runner, ClientWrites& writes,
                            const QString& name) {
    const auto output =
        writes.runChangingScript(runner, "Outlook-DeleteSignature",
                                 {{"**SIGNATURE_NAME**", OutlookScriptValue(name)}}, true);
    return output && output->startsWith("true");
}

// `save`: false when the install that follows at once saves the signature first (a reinstall),
// nothing changing in Outlook between the two, so that the store waits for the disk once.
std::optional<Error> Uninstall(const Run& run, const SyncInputs& inputs,
                               const AppleScriptRunner& runner, bool save) {
    const QString names =
        "signature \"" + run.appName + "\" (installed as \"" + run.clientName + "\")";
    LogInfo(kPrefix + "(): Uninstalling " + names + "...");
    if (run.refused) {
        LogError(kPrefix + "(): Could not uninstall " + names +
                 ", as an unknown signature with the same name comes first in Outlook.");
        return Error{Kind::duplicate, std::nullopt, std::nullopt, run.clientName};
    }
    if (!inputs.writes.signatureWillChange(runner, run.clientName) ||
        !DeleteOutlookSignature(runner, inputs.writes, run.clientName)) {
        LogError(kPrefix + "(): Could not uninstall " + names);
        return Error{Kind::uninstallation, run.appName, run.clientName, std::nullopt};
    }
    Signature& signature = *inputs.idToSignatureMap.at(run.id);
    signature.clientKindToPerformedInstallationsInfoMap.erase(ClientKind::outlook);
    if (save)
        inputs.store.saveSignatures({run.id}, inputs.idToSignatureMap);
    return std::nullopt;
}

std::optional<Error> Install(const Run& run, const SyncInputs& inputs,
                             const AppleScriptRunner& runner) {
    LogInfo(kPrefix + "(): " + (run.kind == Run::Kind::install ? "Installing" : "Reinstalling") +
            " signature \"" + run.appName + "\"...");
    if (run.refused) {
        LogError(kPrefix + "(): Could not install signature \"" + run.appName +
                 "\", as an unknown signature with the same name already exists.");
        return Error{Kind::duplicate, std::nullopt, std::nullopt, run.appName};
    }
    Signature& signature = *inputs.idToSignatureMap.at(run.id);
    const auto failed = [&run] {
        LogError(kPrefix + "(): Could not install signature \"" + run.appName + "\"");
        return Error{Kind::appleScript, std::nullopt, std::nullopt, std::nullopt};
    };
    if (!inputs.writes.signatureWillChange(runner, run.appName))
        return failed();
    // Saved ahead of the script: the signature as it is about to stand in Outlook, still waiting
    // to be reinstalled. A sync cut off after Outlook created it (a crash, a kill) leaves a name
    // that the next sync knows for Quillet's own, deletes and installs again, where it would
    // otherwise refuse it as the person's for ever.
    const Signature previous = signature;
    signature.clientKindToPerformedInstallationsInfoMap.erase(ClientKind::outlook);
    KeepRecordWhileInOutlook(signature);
    signature.markForReinstallation(ClientKind::outlook);
    inputs.store.saveSignatures({run.id}, inputs.idToSignatureMap);
    const bool created = CreateOutlookSignature(runner, inputs.writes, run.appName,
                                                EffectiveText(signature).value_or(""));
    signature = previous;
    if (!created) {
        inputs.store.saveSignatures({run.id}, inputs.idToSignatureMap);
        return failed();
    }
    // Recorded and saved at once, so that a sync stopping half-way leaves the store matching
    // Outlook.
    LogSingle("before", run.id, signature);
    UpdateInstallations(ClientKind::outlook, DiscoveryStateOf(inputs.accountsInfo), signature);
    KeepRecordWhileInOutlook(signature);
    ClearPendingReinstallation(signature);
    LogSingle("after", run.id, signature);
    inputs.store.saveSignatures({run.id}, inputs.idToSignatureMap);
    return std::nullopt;
}

// An account whose defaults the sync sees to: Quillet's signature to set there, or none when
// Quillet's signature leaves it (the person's own defaults come back).
struct DefaultsTarget {
    QString email;
    QString accountIdString;
    std::optional<OutlookDefaultNames> quillets;
};

// The accounts with a signature of Quillet's among those that will stand in Outlook, and those
// that held one of Quillet's and no longer get any. A signature that is not in Outlook (the
// person deleted it and nothing asked for it again) cannot be chosen there: its accounts are
// left as they are, rather than failing every sync.
std::vector<DefaultsTarget> PlanDefaultSignatures(const SyncInputs& inputs,
                                                  const std::set<SignatureId>& inOutlook,
                                                  const std::map<QString, ClientSettings>& kept,
                                                  const QString& none) {
    const auto assignment = AccountEmailToSignatureIdMap(
        ClientKind::outlook, inputs.accountsInfo, inputs.signatureIds, inputs.idToSignatureMap);
    bool allFormerlySet = false;
    std::set<QString> formerlySet;
    for (const auto& [id, signature] : inputs.idToSignatureMap) {
        if (const auto* performed = PerformedEntry(*signature)) {
            allFormerlySet = allFormerlySet || performed->allAccountsInstalled;
            for (const auto& [email, payload] : performed->accountEmailToPayloadMap)
                formerlySet.insert(email);
        }
    }
    const OutlookVersionKind versionKind =
        inputs.clientInfo.outlookVersionKindQ.value_or(OutlookVersionKind::v16_80OrNewer);
    std::vector<DefaultsTarget> targets;
    std::set<QString> entered;
    for (const AccountPtr& account : inputs.accountsInfo.accounts) {
        const auto outlookAccount = std::dynamic_pointer_cast<const OutlookAccount>(account);
        const QString email = account->email();
        if (!outlookAccount || entered.count(email))
            continue;
        const auto idString = OutlookAccountIdString(*outlookAccount, versionKind);
        if (!idString)
            continue;
        const auto assigned = assignment.find(email);
        if (assigned != assignment.end()) {
            const Signature& signature = *inputs.idToSignatureMap.at(assigned->second);
            if (signature.nameQe.isEmpty() || !inOutlook.count(assigned->second))
                continue;
            const QString& name = signature.nameQe;
            targets.push_back(
                {email, *idString,
                 OutlookDefaultNames{name, signature.insertForRepliesForwards ? name : none}});
        } else if (allFormerlySet || formerlySet.count(email) || kept.count(email)) {
            // Also where the person's default is still kept: a pass that gave it back but could
            // not forget it leaves it so.
            targets.push_back({email, *idString, std::nullopt});
        } else {
            continue;
        }
        entered.insert(email);
    }
    return targets;
}

// The names of Quillet's signatures in Outlook, as its pop-ups show them: those recorded there and
// those the sync installs.
std::set<QString> QuilletNames(const IdToSignatureMap& idToSignatureMap) {
    std::set<QString> names;
    for (const auto& [id, signature] : idToSignatureMap) {
        if (const auto payload = InstalledPayload(*signature))
            names.insert(ListedName(payload->idStringQe));
        if (IsInstallable(*signature, ClientKind::outlook))
            names.insert(ListedName(signature->nameQe));
    }
    return names;
}

// The settings names of Outlook's defaults as they are kept.
const QString kNewMessagesSetting = QStringLiteral("newMessages");
const QString kRepliesForwardsSetting = QStringLiteral("repliesForwards");

// The person's defaults, kept for the account, while both signatures are still in Outlook (or
// Outlook's "None"); else "None".
OutlookDefaultNames PersonsDefaults(const std::map<QString, ClientSettings>& kept,
                                    const QString& email, const QStringList& outlookNames,
                                    const QString& none) {
    const auto place = kept.find(email);
    if (place == kept.end())
        return {none, none};
    const auto setting = [&](const QString& name) -> std::optional<QString> {
        const auto found = place->second.find(name);
        if (found == place->second.end() || !found->second)
            return std::nullopt;
        if (*found->second != none && !outlookNames.contains(ListedName(*found->second)))
            return std::nullopt;
        return found->second;
    };
    const auto newMessages = setting(kNewMessagesSetting);
    const auto repliesForwards = setting(kRepliesForwardsSetting);
    if (!newMessages)
        return {none, none};
    return {*newMessages, repliesForwards.value_or(none)};
}

// The defaults the runs leave the accounts with, and what the kept settings then forget: Quillet's
// signature over what each account shows, and where Quillet's leaves an account that still shows
// it, the person's own back. An account that shows another signature than Quillet's is the
// person's choice, and stays.
struct DefaultsChanges {
    std::vector<OutlookAccountDefaults> defaults;
    ReplacedSettingsChanges forgotten;
};

// Outlook's pop-ups show names as its list does.
bool ShowSame(const OutlookDefaultNames& a, const OutlookDefaultNames& b) {
    return ListedName(a.newMessages) == ListedName(b.newMessages) &&
           ListedName(a.repliesForwards) == ListedName(b.repliesForwards);
}

DefaultsChanges PlanDefaultsChanges(const std::vector<DefaultsTarget>& targets,
                                    const std::vector<OutlookDefaultNames>& shown,
                                    const std::set<QString>& quilletNames,
                                    const std::map<QString, ClientSettings>& kept,
                                    const QStringList& outlookNames, const QString& none) {
    DefaultsChanges changes;
    for (std::size_t index = 0; index < targets.size(); ++index) {
        const DefaultsTarget& target = targets[index];
        const OutlookDefaultNames& current = shown[index];
        OutlookDefaultNames names;
        if (target.quillets) {
            names = *target.quillets;
        } else {
            changes.forgotten.forgotten.insert(target.email);
            if (!quilletNames.count(ListedName(current.newMessages)))
                continue;
            names = PersonsDefaults(kept, target.email, outlookNames, none);
        }
        if (!ShowSame(names, current))
            changes.defaults.push_back({target.accountIdString, names, current});
    }
    return changes;
}

// What the accounts that get Quillet's signature show now, where it is the person's own.
ReplacedSettingsChanges PersonsDefaultsToKeep(const std::vector<DefaultsTarget>& targets,
                                              const std::vector<OutlookDefaultNames>& shown,
                                              const std::set<QString>& quilletNames) {
    ReplacedSettingsChanges changes;
    for (std::size_t index = 0; index < targets.size(); ++index) {
        const OutlookDefaultNames& current = shown[index];
        if (!targets[index].quillets || quilletNames.count(ListedName(current.newMessages)))
            continue;
        changes.remembered[targets[index].email] =
            ClientSettings{{kNewMessagesSetting, current.newMessages},
                           {kRepliesForwardsSetting, current.repliesForwards}};
    }
    return changes;
}

// The signatures that stand in Outlook once every run has gone ahead.
std::set<SignatureId> ExpectedInOutlook(const OutlookSignaturePlan& plan) {
    std::set<SignatureId> inOutlook = plan.inOutlook;
    for (const Run& run : plan.runs) {
        if (run.refused)
            continue;
        if (run.kind == Run::Kind::uninstall)
            inOutlook.erase(run.id);
        else
            inOutlook.insert(run.id);
    }
    return inOutlook;
}

// The closing sequence; then the records of Quillet's signatures that stand in Outlook kept.
void FinishOutlookSync(const SyncInputs& inputs, const std::set<SignatureId>& inOutlook) {
    FinishSync(ClientKind::outlook, inputs, SyncNameText(), false);
    SignatureIds kept;
    for (const SignatureId id : inOutlook) {
        if (KeepRecordWhileInOutlook(*inputs.idToSignatureMap.at(id)))
            kept.push_back(id);
    }
    if (!kept.empty())
        inputs.store.saveSignatures(kept, inputs.idToSignatureMap);
}

}  // namespace

bool CreateOutlookSignature(const AppleScriptRunner& runner, ClientWrites& writes,
                            const QString& name, const QString& content) {
    const auto output =
        writes.runChangingScript(runner, "Outlook-CreateSignature",
                                 {{"**SIGNATURE_NAME**", OutlookScriptValue(name)},
                                  {"**SIGNATURE_CONTENT**", OutlookScriptValue(content)}},
                                 false);
    return output && output->startsWith("true");
}

std::optional<QStringList> ReadOutlookSignatureNames(const AppleScriptRunner& runner) {
    const auto output = runner.runAppleScript("Outlook-GetSignatures");
    if (!output)
        return std::nullopt;
    QStringList names;
    for (const QString& piece : output->split(";;;")) {
        const QString name = TrimmedText(piece);
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

std::optional<OutlookSignatureContent> ReadOutlookSignatureContent(const AppleScriptRunner& runner,
                                                                   const QString& name) {
    const auto output = runner.runAppleScript(
        "Outlook-GetSignatureContent", {{"**SIGNATURE_NAME**", OutlookScriptValue(name)}}, true);
    if (!output)
        return std::nullopt;
    if (output->startsWith("true\n"))
        return OutlookSignatureContent{true, output->mid(5)};
    if (*output == "false")
        return OutlookSignatureContent{false, {}};
    return std::nullopt;
}

bool PutBackOutlookSignature(const AppleScriptRunner& runner, ClientWrites& writes,
                             const QString& name, const std::optional<QString>& content) {
    const auto present = ReadOutlookSignatureContent(runner, name);
    if (!present || !writes.signatureWillChange(runner, name))
        return false;
    if (present->found && !DeleteOutlookSignature(runner, writes, name))
        return false;
    return !content || CreateOutlookSignature(runner, writes, name, *content);
}

OutlookSignaturePlan PlanOutlookSignatureRuns(const AccountsInfo& accountsInfo,
                                              const IdToSignatureMap& idToSignatureMap,
                                              const OutlookClientSignatures& outlook) {
    std::map<QString, int> listed;  // how many signatures bear each name
    for (const QString& name : outlook.names)
        ++listed[name];
    const auto count = [&listed](const QString& name) {
        const auto found = listed.find(name);
        return found == listed.end() ? 0 : found->second;
    };
    // Whether the first signature of the name, the one the delete script takes, is Quillet's
    // copy: it holds what Quillet wrote there.
    const auto firstIsQuillets = [&outlook](const PerformedInstallationPayload& payload) {
        const auto read = outlook.firstOfName.find(ListedName(payload.idStringQe));
        return read == outlook.firstOfName.end() ||
               (read->second.found && read->second.content == payload.textQe);
    };

    std::map<SignatureId, PerformedInstallationPayload> installed;
    std::map<QString, int> quilletCopies;  // Quillet's copies standing under each name
    OutlookSignaturePlan plan;
    for (const auto& [id, signature] : idToSignatureMap) {
        auto payload = InstalledPayload(*signature);
        if (!payload)
            continue;
        installed.emplace(id, *payload);
        const QString name = ListedName(payload->idStringQe);
        if (count(name) > 0 && firstIsQuillets(*payload)) {
            plan.inOutlook.insert(id);
            ++quilletCopies[name];
        }
    }
    // Names an install may not take: those of other signatures (the person's own, and a second
    // signature that bears the name of one of Quillet's), and those of Quillet's that stay.
    std::set<QString> taken;
    for (const auto& [name, copies] : listed) {
        if (copies > quilletCopies[name])
            taken.insert(name);
    }

    const std::set<SignatureId> installSet =
        InstallableSignatureIds(ClientKind::outlook, accountsInfo, idToSignatureMap);
    std::vector<Run> uninstalls;  // Quillet's copies to delete, in id order
    std::set<SignatureId> reinstall;
    for (const auto& [id, payload] : installed) {
        const Signature& signature = *idToSignatureMap.at(id);
        const bool present = plan.inOutlook.count(id) > 0;
        // Outlook lists the name more than once and the first copy is not Quillet's: Quillet's
        // own cannot be told apart for deletion.
        const bool hidden = !present && count(ListedName(payload.idStringQe)) > 1;
        const Run uninstall{Run::Kind::uninstall, id, signature.nameQe, payload.idStringQe, hidden};
        if (!installSet.count(id)) {
            if (present || hidden)
                uninstalls.push_back(uninstall);
            continue;
        }
        if (PendingReinstallation(signature) || payload.idStringQe != signature.nameQe ||
            payload.textQe != EffectiveText(signature).value_or(QString())) {
            reinstall.insert(id);
            // Deleting a signature that the person already removed could never succeed.
            if (present || hidden)
                uninstalls.push_back(uninstall);
        } else if (present) {
            taken.insert(ListedName(payload.idStringQe));
        }
    }

    std::vector<Run> installs;
    std::set<SignatureId> refusedIds;
    for (const SignatureId id : installSet) {
        const bool isNew = !installed.count(id);
        if (!isNew && !reinstall.count(id))
            continue;
        const QString& name = idToSignatureMap.at(id)->nameQe;
        const bool nameTaken = taken.count(ListedName(name)) > 0;
        installs.push_back(
            {isNew ? Run::Kind::install : Run::Kind::reinstall, id, name, QString(), nameTaken});
        if (nameTaken)
            refusedIds.insert(id);
        else
            taken.insert(ListedName(name));
    }

    // Every step that may go ahead, then the refusals: a copy whose replacement is refused stays
    // in Outlook, and a copy that cannot be told apart is not deleted.
    std::vector<Run> refusals;
    for (Run& run : uninstalls) {
        if (run.refused) {
            refusals.push_back(run);
            refusedIds.insert(run.id);
        }
    }
    for (const Run& run : uninstalls) {
        if (!refusedIds.count(run.id))
            plan.runs.push_back(run);
    }
    for (const Run& run : installs) {
        if (!refusedIds.count(run.id))
            plan.runs.push_back(run);
        else if (run.refused)
            refusals.push_back(run);
    }
    plan.runs.insert(plan.runs.end(), refusals.begin(), refusals.end());
    return plan;
}

namespace {

// A pass knows Outlook's accounts from the accounts cache until discovery has run, and a command
// does not run it, as listing them would start Outlook. A pass that changes Outlook scripts it
// anyway, so it lists them itself when the cache is all it has: the cache may have lost an
// account, whose person's default could then never come back, or hold one whose address changed.
std::optional<AccountsInfo> ListOutlookAccountsInPass(const SyncInputs& inputs,
                                                      const AppleScriptRunner& runner) {
    if (inputs.accountsInfo.status == AccountsInfoStatus::discoverySucceeded)
        return std::nullopt;
    auto accounts = DiscoverClientAccounts(ClientKind::outlook, inputs.clientInfo, runner,
                                           inputs.paths, [](const Accounts&) {});
    if (!accounts)
        return std::nullopt;
    return AccountsInfo{AccountsInfoStatus::discoverySucceeded, std::move(*accounts),
                        inputs.accountsInfo.cachedAccounts};
}

std::optional<SyncOutlookSignaturesError> SyncOutlook(const SyncInputs& inputs,
                                                      const OutlookSyncEnvironment& environment);

}  // namespace

std::optional<SyncOutlookSignaturesError> SyncOutlookSignatures(
    const SyncInputs& inputs, const OutlookSyncEnvironment& environment) {
    LogInfo(SyncNameText());
    const auto listed = ListOutlookAccountsInPass(inputs, environment.runner);
    return SyncOutlook(listed ? WithAccounts(inputs, *listed) : inputs, environment);
}

namespace {

std::optional<SyncOutlookSignaturesError> SyncOutlook(const SyncInputs& inputs,
                                                      const OutlookSyncEnvironment& environment) {
    LogClientSignatures(SyncNameText(), ClientKind::outlook, inputs, kOldSignaturesTitle);

    auto names = ReadOutlookSignatureNames(environment.runner);
    if (!names) {
        LogError(kPrefix + "(): Could not get initial client signature names");
        return Error{Kind::appleScript, std::nullopt, std::nullopt, std::nullopt};
    }
    OutlookClientSignatures outlook;
    outlook.names = std::move(*names);
    LogInfo(kPrefix + "(): Initial client signature names: " + Quoted(outlook.names));

    // Before anything is deleted, what Outlook's first signature of each name to delete holds:
    // the plan deletes only Quillet's own copy, and refuses where another signature comes first.
    for (const Run& run :
         PlanOutlookSignatureRuns(inputs.accountsInfo, inputs.idToSignatureMap, outlook).runs) {
        if (run.kind != Run::Kind::uninstall)
            continue;
        const auto content = ReadOutlookSignatureContent(environment.runner, run.clientName);
        if (!content) {
            LogError(kPrefix + "(): Could not read signature \"" + run.clientName + "\"");
            return Error{Kind::appleScript, std::nullopt, std::nullopt, std::nullopt};
        }
        outlook.firstOfName[ListedName(run.clientName)] = *content;
    }
    const OutlookSignaturePlan plan =
        PlanOutlookSignatureRuns(inputs.accountsInfo, inputs.idToSignatureMap, outlook);

    // What the accounts show before anything changes: the person's own defaults are kept before
    // Quillet's replace them, and come back only to an account that still shows Quillet's.
    const QString none = OutlookNoneSignatureName(environment.bundle);
    const QString& storage = inputs.clientInfo.path;
    const auto kept = inputs.replaced.read(ClientKind::outlook, storage);
    if (!kept)
        return Error{Kind::defaultSignature, std::nullopt, std::nullopt, std::nullopt};
    const auto targets = PlanDefaultSignatures(inputs, ExpectedInOutlook(plan), *kept, none);
    std::vector<OutlookDefaultNames> shown;
    if (!targets.empty()) {
        QStringList idStrings;
        for (const DefaultsTarget& target : targets)
            idStrings << target.accountIdString;
        auto read = ReadDefaultSignatures(inputs.clientInfo, idStrings, environment.runner);
        if (!read) {
            LogError(kPrefix + "(): Could not read the default signatures");
            return Error{Kind::defaultSignature, std::nullopt, std::nullopt, std::nullopt};
        }
        shown = std::move(*read);
    }
    const std::set<QString> quilletNames = QuilletNames(inputs.idToSignatureMap);
    const auto remembered = PersonsDefaultsToKeep(targets, shown, quilletNames);
    if (!remembered.empty() &&
        !KeepReplacedSettings(inputs, ClientKind::outlook, storage, remembered, SyncNameText()))
        return Error{Kind::defaultSignature, std::nullopt, std::nullopt, std::nullopt};

    // Quillet's signatures that stand in Outlook, as the runs change them.
    std::set<SignatureId> inOutlook = plan.inOutlook;
    for (std::size_t index = 0; index < plan.runs.size(); ++index) {
        const Run& run = plan.runs[index];
        const bool uninstall = run.kind == Run::Kind::uninstall;
        const bool reinstalledNext = uninstall && index + 1 < plan.runs.size() &&
                                     plan.runs[index + 1].kind == Run::Kind::reinstall &&
                                     plan.runs[index + 1].id == run.id;
        if (auto error = uninstall ? Uninstall(run, inputs, environment.runner, !reinstalledNext)
                                   : Install(run, inputs, environment.runner)) {
            return error;
        }
        if (reinstalledNext) {
            // The install saves the deletion with its own first save; one that stops before
            // that save leaves the deletion to be saved here.
            const Run& install = plan.runs[++index];
            inOutlook.erase(run.id);
            if (auto error = Install(install, inputs, environment.runner)) {
                inputs.store.saveSignatures({run.id}, inputs.idToSignatureMap);
                return error;
            }
            inOutlook.insert(install.id);
            continue;
        }
        if (uninstall)
            inOutlook.erase(run.id);
        else
            inOutlook.insert(run.id);
    }

    const auto changes =
        PlanDefaultsChanges(targets, shown, quilletNames, *kept, outlook.names, none);
    const auto set = [&] {
        return SetDefaultSignatures(inputs.clientInfo, changes.defaults, environment.runner,
                                    inputs.writes);
    };
    if (!changes.defaults.empty() && !set()) {
        LogError(kPrefix + "(): Could not set default signatures the first time, retrying again");
        std::this_thread::sleep_for(environment.retryPause);
        if (!set()) {
            LogError(kPrefix + "(): Could not set default signatures the second time");
            FinishOutlookSync(inputs, inOutlook);
            return Error{Kind::defaultSignature, std::nullopt, std::nullopt, std::nullopt};
        }
    }
    // Given back, or the person's since: nothing of it is kept any longer. Should that not be
    // written, Outlook and the record stand and the sync says so; a later one forgets it again.
    const bool forgotten =
        changes.forgotten.empty() || KeepReplacedSettings(inputs, ClientKind::outlook, storage,
                                                          changes.forgotten, SyncNameText());
    FinishOutlookSync(inputs, inOutlook);
    if (!forgotten)
        return Error{Kind::defaultSignature, std::nullopt, std::nullopt, std::nullopt};
    return std::nullopt;
}

}  // namespace

}  // namespace quillet
