#include "extension/native/WebCore.h"

#include <QDir>
#include <QUuid>

#include "app/store/Store.h"
#include "common/Localization.h"
#include "common/Log.h"
#include "platform/FileAccess.h"

namespace quillet::web {

namespace {

Core* gShared = nullptr;

}  // namespace

Core* Core::shared() {
    return gShared;
}

Core::Core(const Environment& environment, Options options, Brand brand)
    : _environment(environment),
      _options(std::move(options)),
      _brand(std::move(brand)),
      _clientKinds(kAllClientKinds.begin(), kAllClientKinds.end()),
      _refreshCycle(environment.mainQueue, [this] {
          _serviceClient->RequestUpdatedSignatures(ServiceKeys(_signatureIds, _idToSignatureMap),
                                                   *this);
      }) {
    const QUrl serviceUrl =
        _options.serviceUrl.isEmpty() ? ServiceClient::DefaultBaseUrl() : _options.serviceUrl;
    _serviceClient = std::make_unique<ServiceClient>(serviceUrl, _environment.mainQueue);
}

Core::~Core() {
    *_alive = false;
    if (gShared == this)
        gShared = nullptr;
    InstallProcessLogger(nullptr);
    InstallLocalizationBundle(nullptr);
}

Result<std::unique_ptr<Core>> Core::create(const Environment& environment, Options options) {
    auto brand = Brand::load(environment.bundle, Brand::Deliverable::extension);
    if (!brand)
        return Failed{brand.error()};
    std::unique_ptr<Core> core(new Core(environment, std::move(options), std::move(*brand)));
    gShared = core.get();
    if (auto failed = core->runCreationSteps())
        return *failed;
    return core;
}

std::optional<Failed> Core::runCreationSteps() {
    InstallLocalizationBundle(&_environment.bundle);
    // Its own log beside the application's, so that the two never interleave.
    _loggerX = std::make_unique<Logger>(
        _environment.paths.logs() + "/" + _brand->supportFolder() + "/Extension",
        _brand->versionLine(), _options.console);
    InstallProcessLogger(_loggerX.get());

    const QString folder = _environment.paths.applicationSupport() + "/" + _brand->supportFolder();
    MakeOwnerOnlyFolder(folder);  // a failure shows when the store is opened
    _storePath = folder + "/" + kStoreFileName;
    // No window to alert in: the store's log line is the report.
    _storeX = Store::openStore(kStoreModelName, _storePath, nullptr);
    if (!_storeX) {
        return Failed{"Could not open the signature store " + _storePath +
                      " (see the log for details)."};
    }
    loadSignatures();
    return std::nullopt;
}

void Core::start() {
    if (_started)
        return;
    _started = true;
    refreshFromServer();
}

void Core::loadSignatures() {
    _signatureIds.clear();
    _idToSignatureMap.clear();
    for (const auto& [id, record] : _storeX->LoadRecords()) {
        _signatureIds.push_back(id);
        _idToSignatureMap[id] = std::make_shared<Signature>(web::SignatureFromRecord(record));
    }
    _qVisibleSignatureIdsQ.reset();
    LogInfo("Loaded " + QString::number(_signatureIds.size()) + " signature(s):");
    for (SignatureId id : _signatureIds)
        LogInfo("    " + Describe(*_idToSignatureMap.at(id)));
}

SignaturePtr Core::signature(SignatureId id) const {
    const auto found = _idToSignatureMap.find(id);
    return found == _idToSignatureMap.end() ? nullptr : found->second;
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
    auto signature = std::make_shared<Signature>();
    signature->active = true;
    signature->uuidX = QUuid::createUuid();
    signature->nameQe = Localized("Signature Name ") + QString::number(_signatureIds.size() + 1);
    const SignatureId id = _storeX->AddRecord(RecordFromSignature(*signature));
    _signatureIds.push_back(id);
    _idToSignatureMap[id] = signature;
    _qVisibleSignatureIdsQ.reset();
    refreshFromServerIfPossible();
    return id;
}

bool Core::saveSignature(SignatureId id) {
    const SignaturePtr saved = signature(id);
    if (!saved)
        return false;
    LogInfo("Updating signature \"" + Describe(*saved) + "\"");
    const bool written = _storeX->SaveRecord(id, RecordFromSignature(*saved));
    _qVisibleSignatureIdsQ.reset();
    refreshFromServerIfPossible();
    return written;
}

bool Core::removeSignature(SignatureId id) {
    const SignaturePtr removed = signature(id);
    if (!removed)
        return false;
    LogInfo("Removing signature \"" + Describe(*removed) + "\"");
    if (!_storeX->RemoveRecord(id))
        return false;
    _signatureIds.erase(std::find(_signatureIds.begin(), _signatureIds.end(), id));
    _idToSignatureMap.erase(id);
    _qVisibleSignatureIdsQ.reset();
    return true;
}

void Core::fetchSignatureByKey(const QString& key,
                               std::function<void(const KeyFetchResult&)> completion) {
    ++_keyFetchesInProgress;
    _serviceClient->FetchSignatureByKey(
        key, [this, completion = std::move(completion),
              alive = std::weak_ptr<bool>(_alive)](const KeyFetchResult& result) {
            if (alive.expired())
                return;
            --_keyFetchesInProgress;
            completion(result);
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
    SignatureIds updated, modifiedOnly;
    for (SignatureId id : _signatureIds) {
        Signature& signature = *_idToSignatureMap.at(id);
        const SignatureUpdateEffect effect =
            ApplySignatureUpdate(signature, updates, activeFlags, updateTime);
        if (effect == SignatureUpdateEffect::none)
            continue;
        (effect == SignatureUpdateEffect::updated ? updated : modifiedOnly).push_back(id);
        _storeX->SaveRecord(id, RecordFromSignature(signature));
    }
    LogInfo("Updating " + QString::number(updated.size()) + " signature(s) via " + label + "...");
    _qVisibleSignatureIdsQ.reset();
    return {updated, modifiedOnly};
}

void Core::refreshCompleted(bool success, const SignatureIds& updated,
                            const SignatureIds& modifiedOnly, const std::optional<QString>&,
                            const std::optional<QString>&) {
    _refreshCycle.scheduleNext(success);
    if (!success)
        return;
    if (!updated.empty() || !modifiedOnly.empty()) {
        _environment.notificationCenter.post(
            quillet::kSignaturesUpdatedFromServerNotification,
            {{quillet::kUpdatedSignatureIdsKey, updated},
             {quillet::kModifiedOnlySignatureIdsKey, modifiedOnly}});
    }
}

}  // namespace quillet::web
