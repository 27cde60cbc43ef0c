#include "app/managed/ManagedSignatures.h"

#include <algorithm>

#include "common/InsertOptions.h"
#include "common/Localization.h"
#include "common/Log.h"
#include "common/Text.h"
#include "platform/FileLock.h"

namespace quillet {

namespace {

const QString kLogPrefix = "Managed signatures: ";
constexpr double kAccountsPollInterval = 0.1;
// Installing and linking takes another process well under a second, unless it waits for the
// person (a failed save's alert).
constexpr double kLinkingWaitLimit = 5;

QString EntryName(const ManagedEntry& entry) {
    return "ManagedSignatures[" + QString::number(entry.index) + "] (" + entry.key + ")";
}

// The accounts a client is known to have: the discovered ones, else the cached ones.
const Accounts& KnownAccounts(const AccountsInfo& info) {
    return info.accounts.empty() ? info.cachedAccounts : info.accounts;
}

std::optional<QString> KnownEmail(const AccountsInfo& info, const QString& email) {
    for (const auto& account : KnownAccounts(info)) {
        if (account->email().compare(email, Qt::CaseInsensitive) == 0)
            return account->email();
    }
    return std::nullopt;
}

// Whether an entry needs the client's accounts to say what to select.
bool NeedsAccounts(const ManagedEntry& entry, ClientKind kind) {
    return !entry.account.isEmpty() || !AcceptsAllAccountsSelection(kind);
}

std::set<QString> Emails(const SelectedInstallationsInfo& info) {
    std::set<QString> emails;
    for (const auto& [email, payload] : info.accountEmailToPayloadMap)
        emails.insert(email);
    return emails;
}

bool SameSelection(const std::map<ClientKind, SelectedInstallationsInfo>& a,
                   const std::map<ClientKind, SelectedInstallationsInfo>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.first == y.first && x.second.allAccountsSelected == y.second.allAccountsSelected &&
               Emails(x.second) == Emails(y.second);
    });
}

std::vector<ClientKind> Kinds(const std::map<ClientKind, SelectedInstallationsInfo>& selection) {
    std::vector<ClientKind> kinds;
    for (const auto& [kind, info] : selection)
        kinds.push_back(kind);
    return kinds;
}

}  // namespace

ManagedSignatures::ManagedSignatures(ManagedSignaturesEngine& engine) : _engine(engine) {}

ManagedSignatures::~ManagedSignatures() {
    *_alive = false;
}

ManagedConfiguration ManagedSignatures::configuration() const {
    return ReadManagedConfiguration(
        _engine.platform().paths, _engine.platform().layout,
        _engine.platform().bundle.infoString("CFBundleIdentifier").value_or(QString()));
}

std::set<SignatureId> ManagedSignatures::managedSignatureIds() const {
    std::set<SignatureId> ids;
    for (const ManagedLink& link : LoadManagedLinks(_engine.dataFolder())) {
        SignatureId id;
        if (signatureByUuid(link.signatureUuid, &id))
            ids.insert(id);
    }
    return ids;
}

bool ManagedSignatures::isManaged(SignatureId id) const {
    return managedSignatureIds().contains(id);
}

QString ManagedSignatures::managedSignatureTitle() {
    return Localized("This signature is managed by your organisation.");
}

QString ManagedSignatures::managedSignatureText() {
    return Localized(
        "Your organisation installs, updates and removes it through its device management.");
}

void ManagedSignatures::reconcile() {
    if (_running) {
        _again = true;
        return;
    }
    _running = true;
    _again = false;
    _configuration = configuration();
    if (_configuration.state == ManagedConfiguration::State::unreadable) {
        finish();
        return;
    }
    // Accounts a client has not yet been asked for in this run are discovered first, as the
    // form has them discovered before the person picks one.
    _accountKinds.clear();
    std::vector<ClientKind> toDiscover;
    for (const ManagedEntry& entry : _configuration.entries) {
        for (ClientKind kind : _engine.clientKinds()) {
            if ((entry.client && *entry.client != kind) || !NeedsAccounts(entry, kind))
                continue;
            if (std::find(_accountKinds.begin(), _accountKinds.end(), kind) != _accountKinds.end())
                continue;
            _accountKinds.push_back(kind);
            if (_engine.clientKindToAccountsInfoMap().at(kind).status ==
                AccountsInfoStatus::loadedFromCacheOrEmpty)
                toDiscover.push_back(kind);
        }
    }
    if (!toDiscover.empty())
        _engine.rediscoverAccounts(toDiscover);
    waitForAccounts();
}

void ManagedSignatures::waitForAccounts() {
    const bool discovering =
        std::any_of(_accountKinds.begin(), _accountKinds.end(), [this](ClientKind kind) {
            return _engine.clientKindToAccountsInfoMap().at(kind).status ==
                   AccountsInfoStatus::discovering;
        });
    if (!discovering) {
        fetchMissing();
        return;
    }
    _engine.platform().mainQueue.postAfter(kAccountsPollInterval,
                                           [this, alive = std::weak_ptr<bool>(_alive)] {
                                               if (!alive.expired())
                                                   waitForAccounts();
                                           });
}

void ManagedSignatures::fetchMissing() {
    _links.clear();
    _linksRead = LoadManagedLinks(_engine.dataFolder());
    for (const ManagedLink& link : _linksRead) {
        if (stands(link))
            _links.push_back(link);
    }
    _fetches.clear();
    for (const ManagedEntry& entry : _configuration.entries) {
        const bool linked = std::any_of(_links.begin(), _links.end(), [&entry](const auto& link) {
            return !link.removed && link.key == entry.key && link.ordinal == entry.ordinal;
        });
        if (!linked && !desiredSelection(entry, true).empty())
            _fetches.push_back(Fetch{entry, std::nullopt});
    }
    if (_fetches.empty()) {
        apply();
        return;
    }
    _fetchesInFlight = static_cast<int>(_fetches.size());
    for (size_t index = 0; index < _fetches.size(); ++index) {
        _engine.serviceClient().FetchSignatureByKey(
            _fetches[index].entry.key,
            [this, index, alive = std::weak_ptr<bool>(_alive)](const KeyFetchResult& result) {
                if (alive.expired())
                    return;
                _fetches[index].result = result;
                if (--_fetchesInFlight == 0)
                    apply();
            });
    }
}

void ManagedSignatures::apply() {
    SignatureIds changed;
    {
        // Another process (the application beside a command) may be reconciling the same
        // entries. Each would install an entry that neither had linked when it looked, and the
        // last to write the links would keep one of the two: the other signature would pass for
        // the person's own, never updated nor removed. Linking takes turns, against the links and
        // the store as they are now. A process that another keeps waiting (its save failed, and
        // its alert waits for the person) leaves its own to the next refresh.
        const FileLock linking(
            ManagedLinksPath(_engine.dataFolder()) + ".lock",
            [] { LogInfo(kLogPrefix + "waiting while another process installs them..."); },
            kLinkingWaitLimit);
        if (linking.isHeld()) {
            changed = link();
        } else {
            LogWarning(kLogPrefix + "not reconciled: " + linking.error() +
                       "; tried again at the next refresh");
        }
    }
    if (!changed.empty()) {
        _engine.saveAndSyncSignatures(changed);
    }
    finish();
}

SignatureIds ManagedSignatures::link() {
    const std::vector<ManagedLink> linksNow = LoadManagedLinks(_engine.dataFolder());
    const auto linkedMeanwhile = [this](const ManagedLink& link) {
        return std::find(_linksRead.begin(), _linksRead.end(), link) == _linksRead.end();
    };
    // A link stands for a signature this engine holds, or one that another process added since
    // this one read them. One that cannot be told stands: an entry is not installed twice, nor a
    // link dropped, on a failed reading.
    const auto standsNow = [this](const ManagedLink& link) {
        if (stands(link))
            return true;
        const auto presence = _engine.storedPresence(link.signatureUuid);
        if (!presence) {
            LogWarning(kLogPrefix + "could not read the store: " + presence.error());
            return true;
        }
        return *presence == StoredPresence::current ||
               (link.removed && *presence == StoredPresence::pendingDeletion);
    };
    SignatureIds changed;
    std::vector<ManagedLink> kept;
    for (const ManagedLink& link : _links) {
        SignatureId id;
        const SignaturePtr signature = signatureByUuid(link.signatureUuid, &id);
        if (!signature)
            continue;  // gone while the keys were fetched
        if (link.removed) {
            kept.push_back(link);
            continue;
        }
        const auto entry = std::find_if(
            _configuration.entries.begin(), _configuration.entries.end(),
            [&link](const auto& e) { return e.key == link.key && e.ordinal == link.ordinal; });
        if (entry == _configuration.entries.end()) {
            LogInfo(kLogPrefix + "the entry of " + link.key +
                    " was removed from the configuration; uninstalling " + Describe(*signature));
            signature->pendingDeletion = true;
            changed.push_back(id);
            ManagedLink removed = link;
            removed.removed = true;
            kept.push_back(removed);
            continue;
        }
        kept.push_back(link);
        if (reselect(*signature, *entry)) {
            LogInfo(kLogPrefix + EntryName(*entry) + " changed; selecting " + Describe(*signature) +
                    " again");
            changed.push_back(id);
        }
    }
    for (const Fetch& fetch : _fetches) {
        const KeyFetchResult& result = *fetch.result;
        const bool installedElsewhere =
            std::any_of(linksNow.begin(), linksNow.end(), [&](const ManagedLink& link) {
                return !link.removed && link.key == fetch.entry.key &&
                       link.ordinal == fetch.entry.ordinal &&
                       (linkedMeanwhile(link) || standsNow(link));
            });
        if (installedElsewhere) {
            LogInfo(kLogPrefix + EntryName(fetch.entry) +
                    " was installed by another process meanwhile");
        } else if (result.error) {
            LogWarning(kLogPrefix + "could not fetch " + EntryName(fetch.entry) + ": " +
                       result.errorTitle.value_or(QString()) + "; tried again at the next refresh");
        } else if (!result.text) {
            LogError(kLogPrefix + EntryName(fetch.entry) +
                     ": the key is not known to the signature service");
        } else if (const auto id = install(fetch.entry, *result.text)) {
            kept.push_back(
                ManagedLink{fetch.entry.key, fetch.entry.ordinal, _engine.signature(*id)->uuid()});
            changed.push_back(*id);
        }
    }
    // What another process linked meanwhile stays linked, whether or not this one holds its
    // signature yet.
    for (const ManagedLink& link : linksNow) {
        const bool known = std::any_of(kept.begin(), kept.end(), [&link](const ManagedLink& k) {
            return k.signatureUuid == link.signatureUuid;
        });
        if (!known && (linkedMeanwhile(link) || standsNow(link)))
            kept.push_back(link);
    }
    if (kept != linksNow)
        SaveManagedLinks(_engine.dataFolder(), kept);
    return changed;
}

void ManagedSignatures::finish() {
    _fetches.clear();
    if (!std::exchange(_again, false)) {
        _running = false;
        _engine.reconciliationFinished();
        return;
    }
    // Still running (the engine is not idle) until the reconciliation asked for meanwhile runs.
    _engine.platform().mainQueue.post([this, alive = std::weak_ptr<bool>(_alive)] {
        if (alive.expired())
            return;
        _running = false;
        reconcile();
    });
}

std::map<ClientKind, SelectedInstallationsInfo> ManagedSignatures::desiredSelection(
    const ManagedEntry& entry, bool log) const {
    std::map<ClientKind, SelectedInstallationsInfo> selection;
    for (ClientKind kind : _engine.clientKinds()) {
        if (entry.client && *entry.client != kind)
            continue;
        const AccountsInfo& accounts = _engine.clientKindToAccountsInfoMap().at(kind);
        SelectedInstallationsInfo info;
        if (!entry.account.isEmpty()) {
            const auto email = KnownEmail(accounts, entry.account);
            if (!email)
                continue;
            info.accountEmailToPayloadMap[*email] = SelectedInstallationPayload{};
        } else if (AcceptsAllAccountsSelection(kind)) {
            info.allAccountsSelected = true;
            info.allAccountsPayloadX = SelectedInstallationPayload{};
        } else {
            // A client whose selection cannot say "all accounts" gets every account it has.
            for (const auto& account : KnownAccounts(accounts))
                info.accountEmailToPayloadMap[account->email()] = SelectedInstallationPayload{};
            if (info.accountEmailToPayloadMap.empty())
                continue;
        }
        selection[kind] = info;
    }
    if (selection.empty() && log) {
        LogWarning(kLogPrefix + EntryName(entry) + ": no detected client" +
                   (entry.account.isEmpty() ? QString(" can take it")
                                            : " has the account " + entry.account) +
                   " yet; tried again at the next refresh");
    }
    return selection;
}

bool ManagedSignatures::reselect(Signature& signature, const ManagedEntry& entry) {
    auto desired = desiredSelection(entry, false);
    bool changed = false;
    auto& selected = signature.clientKindToSelectedInstallationsInfoMap;
    if (!SameSelection(selected, desired)) {
        // What stays selected keeps its marks (a reinstallation still owed).
        for (auto& [kind, info] : desired) {
            const auto before = selected.find(kind);
            if (before == selected.end())
                continue;
            if (info.allAccountsSelected && before->second.allAccountsPayloadX)
                info.allAccountsPayloadX = before->second.allAccountsPayloadX;
            for (auto& [email, payload] : info.accountEmailToPayloadMap) {
                const auto kept = before->second.accountEmailToPayloadMap.find(email);
                if (kept != before->second.accountEmailToPayloadMap.end())
                    payload = kept->second;
            }
        }
        selected = std::move(desired);
        changed = true;
    }
    Signature options;
    SetInsertOptions(options, Kinds(selected), entry.insertForReplies, entry.insertForForwards);
    if (options.insertForRepliesForwards != signature.insertForRepliesForwards ||
        options.insertForForwards != signature.insertForForwards) {
        signature.insertForRepliesForwards = options.insertForRepliesForwards;
        signature.insertForForwards = options.insertForForwards;
        // The text did not change, so only a reinstallation writes the new options.
        signature.markForReinstallation();
        changed = true;
    }
    return changed;
}

std::optional<SignatureId> ManagedSignatures::install(const ManagedEntry& entry,
                                                      const QString& text) {
    const auto selection = desiredSelection(entry, true);
    if (selection.empty())
        return std::nullopt;  // the accounts went away while the key was fetched
    const std::int64_t colorIndex = _engine.newSignatureColorIndex();
    const std::int64_t now = static_cast<std::int64_t>(_engine.platform().mainQueue.now());
    const SignatureId id = _engine.addSignature([&](Signature& signature) {
        signature.clientKindToSelectedInstallationsInfoMap = selection;
        signature.colorIndex = colorIndex;
        SetInsertOptions(signature, Kinds(selection), entry.insertForReplies,
                         entry.insertForForwards);
        signature.keyQe = entry.key;
        // Trimmed as a refresh trims it, so that the next refresh finds it unchanged.
        signature.mainTextQe = TrimmedText(text);
        signature.lastUpdateUnixTimeQz = now;
    });
    LogInfo(kLogPrefix + "installing " + EntryName(entry) + " as " +
            Describe(*_engine.signature(id)));
    return id;
}

SignaturePtr ManagedSignatures::signatureByUuid(const QUuid& uuid, SignatureId* id) const {
    for (SignatureId candidate : _engine.signatureIds()) {
        const SignaturePtr signature = _engine.signature(candidate);
        if (signature && signature->uuidX == uuid) {
            *id = candidate;
            return signature;
        }
    }
    return nullptr;
}

bool ManagedSignatures::stands(const ManagedLink& link) const {
    SignatureId id;
    const SignaturePtr signature = signatureByUuid(link.signatureUuid, &id);
    return signature && (link.removed || !signature->pendingDeletion);
}

bool ManagedSignatures::postponesClosing(const SignatureIds& ids,
                                         const std::vector<ClientKind>& clients) const {
    const std::set<SignatureId> managed = managedSignatureIds();
    if (ids.empty() || !std::all_of(ids.begin(), ids.end(),
                                    [&managed](SignatureId id) { return managed.contains(id); }))
        return false;
    QStringList names;
    for (ClientKind kind : clients)
        names << DisplayName(kind);
    LogInfo(kLogPrefix + "not closing " + names.join(", ") +
            " for the organisation's signatures; they wait for the next refresh or wake");
    return true;
}

}  // namespace quillet
