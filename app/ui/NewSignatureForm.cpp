#include "app/ui/NewSignatureForm.h"

#include "app/clients/DetectionReport.h"
#include "app/core/Core.h"
#include "app/core/NewSignature.h"
#include "common/Localization.h"
#include "common/Text.h"

namespace quillet {

NewSignatureForm::NewSignatureForm(Core& core, Callbacks callbacks)
    : _core(core), _callbacks(std::move(callbacks)) {
    _observerToken = _core.platform().notificationCenter.addObserver(
        kAccountsInfoUpdatedNotification, [this](const QString&, const UserInfo&) {
            if (_engaged)
                notify();
        });
}

NewSignatureForm::~NewSignatureForm() {
    _core.platform().notificationCenter.removeObserver(_observerToken);
}

void NewSignatureForm::engage(std::int64_t colorIndex) {
    _engaged = true;
    ++_lastEngagementId;
    _engagementIdQ = _lastEngagementId;
    resetChoices();
    _signatureColorIndex = colorIndex;
    notify();
}

void NewSignatureForm::disengage() {
    _engaged = false;
    _engagementIdQ.reset();
    _attemptInstallOnKeyRequestEnd = false;
}

void NewSignatureForm::resetChoices() {
    _clientKindQ.reset();
    _accountEmailQe.clear();
    _keyOrFileMode = KeyOrFileMode::key;
    _keyQe.clear();
    _keyMainTextState = KeyMainTextState::keyEmpty;
    _keyAccessory = KeyAccessory::none;
    _keyMainTextQ.reset();
    _keyUnixTimeQ.reset();
    _filePathQ.reset();
    _attemptInstallOnKeyRequestEnd = false;
    _insertForReplies = _insertForForwards = true;
    ++_lastKeyRequestId;
}

FormClients NewSignatureForm::formClients() const {
    return FormClients{_core.clientKinds(), _core.clientKindToInfoMap(),
                       _core.clientKindToAccountsInfoMap(), _core.isNewOutlookDetected()};
}

DropDown<ClientItem> NewSignatureForm::clientDropDown() const {
    return BuildClientDropDown(formClients(), _clientKindQ);
}

DropDown<AccountItem> NewSignatureForm::accountDropDown() const {
    return BuildAccountDropDown(formClients(), _clientKindQ, _accountEmailQe);
}

ClientOptions NewSignatureForm::options() const {
    return _clientKindQ ? OptionsOf(*_clientKindQ) : ClientOptions::none;
}

void NewSignatureForm::chooseClientItem(int index) {
    const auto picked = ItemAt(clientDropDown(), index);
    if (!picked)
        return;
    const ClientItem& item = *picked;
    switch (item.kind) {
        case ClientItem::Kind::availableClient:
            clientChanged(item.clientKind);
            break;
        case ClientItem::Kind::noneClient:
            clientChanged(std::nullopt);
            break;
        case ClientItem::Kind::newOutlook:
            ShowNewOutlookNotice(_core.platform().prompter, _core.platform().workspace,
                                 _core.brand());
            break;
        case ClientItem::Kind::noClients:
        case ClientItem::Kind::unavailableClient:
            break;
    }
    notify();
}

void NewSignatureForm::clientChanged(std::optional<ClientKind> client) {
    if (client == _clientKindQ)
        return;
    _clientKindQ = client;
    // The account goes with the client unless the new client has it too.
    if (!client || !ClientHasAccount(formClients(), *client, _accountEmailQe))
        _accountEmailQe.clear();
    _insertForReplies = _insertForForwards = true;
    choiceChanged();
}

void NewSignatureForm::chooseAccountItem(int index) {
    const auto picked = ItemAt(accountDropDown(), index);
    if (!picked)
        return;
    const AccountItem& item = *picked;
    const auto chooseAccount = [this](const QString& email) {
        if (email != _accountEmailQe) {
            _accountEmailQe = email;
            choiceChanged();
        }
    };
    switch (item.kind) {
        case AccountItem::Kind::clientAccount:
            clientChanged(item.clientKind);
            [[fallthrough]];
        case AccountItem::Kind::account:
            chooseAccount(item.accountEmail.value_or(QString()));
            break;
        case AccountItem::Kind::noneAccount:
            chooseAccount({});
            break;
        default:
            if (StartsDiscovery(item.kind))
                startDiscovery();
            break;
    }
    notify();
}

void NewSignatureForm::startDiscovery() {
    if (_clientKindQ) {
        _core.rediscoverAccounts({*_clientKindQ});
    } else {
        _core.rediscoverAccounts(_core.clientKinds());
    }
}

void NewSignatureForm::choiceChanged() {
    _attemptInstallOnKeyRequestEnd = false;
}

void NewSignatureForm::keyTextChanged() {
    if (_keyAccessory == KeyAccessory::spinner || _keyAccessory == KeyAccessory::none)
        return;
    _keyAccessory = KeyAccessory::none;
    notify();
}

QString NewSignatureForm::keyEditingEnded(const QString& text) {
    const QString key = NormaliseTypedText(text);
    if (!_engaged || _keyOrFileMode != KeyOrFileMode::key)
        return key;
    if (key != _keyQe || _keyMainTextState == KeyMainTextState::requestFailed) {
        _keyQe = key;
        _keyMainTextQ.reset();
        _keyUnixTimeQ.reset();
        choiceChanged();
        if (key.isEmpty()) {
            ++_lastKeyRequestId;
            _keyMainTextState = KeyMainTextState::keyEmpty;
            _keyAccessory = KeyAccessory::none;
        } else {
            startKeyRequest();
        }
    }
    notify();
    return key;
}

void NewSignatureForm::startKeyRequest() {
    _keyMainTextState = KeyMainTextState::requesting;
    _keyAccessory = KeyAccessory::spinner;
    _keyMainTextQ.reset();
    _keyUnixTimeQ.reset();
    const std::int64_t requestId = ++_lastKeyRequestId;
    const std::int64_t engagementId = _engagementIdQ.value_or(0);
    const auto requestTime = static_cast<std::int64_t>(_core.platform().mainQueue.now());
    _core.serviceClient().FetchSignatureByKey(
        _keyQe, [this, alive = std::weak_ptr<bool>(_alive), requestId, engagementId,
                 requestTime](const KeyFetchResult& result) {
            if (alive.expired() || !_engaged || _engagementIdQ != engagementId ||
                requestId != _lastKeyRequestId || _keyOrFileMode != KeyOrFileMode::key) {
                return;
            }
            keyRequestEnded(result, requestTime);
        });
    notify();
}

void NewSignatureForm::keyRequestEnded(const KeyFetchResult& result, std::int64_t requestTime) {
    const bool installNow = _attemptInstallOnKeyRequestEnd;
    _attemptInstallOnKeyRequestEnd = false;
    Prompter& prompter = _core.platform().prompter;
    if (result.error) {
        _keyMainTextState = KeyMainTextState::requestFailed;
        _keyAccessory = KeyAccessory::cross;
        notify();
        prompter.ask(Alert{AlertStyle::critical,
                           result.errorTitle.value_or(QString()),
                           result.errorDetails.value_or(QString()),
                           {Localized("OK")},
                           {}});
        return;
    }
    _keyMainTextQ = FetchedSignatureText(result);
    _keyUnixTimeQ = requestTime;
    _keyMainTextState = KeyMainTextState::responseReceived;
    _keyAccessory = _keyMainTextQ ? KeyAccessory::checkMark : KeyAccessory::cross;
    notify();
    if (!_keyMainTextQ) {
        prompter.ask(RefusalAlert(NewSignatureRefusal::keyNotFound));
        return;
    }
    // The choices may have changed while the key loaded: every check runs again.
    if (installNow)
        validateAndInstall();
}

void NewSignatureForm::toggleKeyOrFileMode() {
    if (!_engaged)
        return;
    ++_lastKeyRequestId;
    if (_keyOrFileMode == KeyOrFileMode::file) {
        _keyOrFileMode = KeyOrFileMode::key;
        _keyQe.clear();
        _keyMainTextState = KeyMainTextState::keyEmpty;
        _keyAccessory = KeyAccessory::none;
        _keyMainTextQ.reset();
        _keyUnixTimeQ.reset();
    } else {
        _keyOrFileMode = KeyOrFileMode::file;
        _filePathQ.reset();
    }
    choiceChanged();
    notify();
}

void NewSignatureForm::chooseFile(const QString& path) {
    if (!_engaged || _keyOrFileMode != KeyOrFileMode::file)
        return;
    _filePathQ = path;
    choiceChanged();
    notify();
}

void NewSignatureForm::setInsertForReplies(bool on) {
    _insertForReplies = on;
}

void NewSignatureForm::setInsertForForwards(bool on) {
    _insertForForwards = on;
}

void NewSignatureForm::install() {
    if (!_engaged)
        return;
    const auto engagementId = _engagementIdQ;
    _core.platform().mainQueue.post([this, alive = std::weak_ptr<bool>(_alive), engagementId] {
        // A second click, or a click whose engagement has ended, finds nothing to install.
        if (alive.expired() || !_engaged || _engagementIdQ != engagementId)
            return;
        validateAndInstall();
    });
}

void NewSignatureForm::validateAndInstall() {
    Prompter& prompter = _core.platform().prompter;
    const auto refuse = [&prompter](NewSignatureRefusal refusal) {
        prompter.ask(RefusalAlert(refusal));
    };
    if (const auto refusal = UserSignatureRefusal(_core.managed()))
        return refuse(*refusal);
    if (!_clientKindQ)
        return refuse(NewSignatureRefusal::noClient);
    if (_accountEmailQe.isEmpty() && NeedsAccount(*_clientKindQ))
        return refuse(NewSignatureRefusal::noAccount);

    if (_keyOrFileMode == KeyOrFileMode::file) {
        if (!_filePathQ)
            return refuse(NewSignatureRefusal::noFile);
        const auto text = ReadUtf8File(TrimmedText(*_filePathQ));
        if (!text)
            return refuse(NewSignatureRefusal::unreadableFile);
        return create(*text, static_cast<std::int64_t>(_core.platform().mainQueue.now()));
    }
    switch (_keyMainTextState) {
        case KeyMainTextState::keyEmpty:
            return refuse(NewSignatureRefusal::noKey);
        case KeyMainTextState::requesting:
            _attemptInstallOnKeyRequestEnd = true;
            return;
        case KeyMainTextState::requestFailed:
            if (prompter.ask(KeyRequestFailedAlert()).buttonIndex == 0) {
                _attemptInstallOnKeyRequestEnd = true;
                startKeyRequest();
            }
            return;
        case KeyMainTextState::responseReceived:
            if (!_keyMainTextQ)
                return refuse(NewSignatureRefusal::keyNotFound);
            return create(*_keyMainTextQ, _keyUnixTimeQ.value_or(0));
    }
}

void NewSignatureForm::create(const QString& text, std::int64_t unixTime) {
    const SignatureId id = _core.addSignature();
    const SignaturePtr signature = _core.signature(id);
    if (!signature)
        return;
    const bool fileMode = _keyOrFileMode == KeyOrFileMode::file;
    FillNewSignature(*signature,
                     NewSignatureChoices{*_clientKindQ, _accountEmailQe, _insertForReplies,
                                         _insertForForwards, _signatureColorIndex},
                     NewSignatureSource{
                         fileMode, fileMode ? TrimmedText(_filePathQ.value_or(QString())) : _keyQe,
                         text, unixTime});
    // This engagement is spent: a deferred second click must not create another signature.
    disengage();
    _core.saveSignature(id, true, true);
    if (_callbacks.created)
        _callbacks.created(id);
}

void NewSignatureForm::notify() {
    if (_callbacks.changed)
        _callbacks.changed();
}

}  // namespace quillet
