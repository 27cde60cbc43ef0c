#pragma once
// The extension's engine: its own log, its own store ("SafariDataV1.sqlite" in the support
// folder, the desktop store's layout and two-process discipline) and its signatures for the four
// web-mail clients, kept current from the signature service on the desktop engine's cycle (at
// start, 2 hours after a success, 5 minutes after a failure, after every add and save). It writes
// into no mail program: pages ask for their signatures (ExtensionHandler). Main thread only.
// Several host processes may run at once (the browser starts one per connection); each save
// writes only what this process changed, under the file's write lock.

#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

#include "common/Brand.h"
#include "common/EngineRules.h"
#include "common/Logger.h"
#include "common/RefreshCycle.h"
#include "common/ServiceClient.h"
#include "extension/native/WebSignature.h"
#include "platform/Bundle.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"

namespace quillet {
class Store;
}

namespace quillet::web {

inline const QString kStoreModelName = "SafariDataV1";
inline const QString kStoreFileName = "SafariDataV1.sqlite";

// What the engine asks of the system.
struct Environment {
    const Paths& paths;
    MainQueue& mainQueue;
    NotificationCenter& notificationCenter;
    const Bundle& bundle;
};

class Core final : public UpdatedSignaturesReceiver {
public:
    struct Options {
        QUrl serviceUrl;                           // empty: the default service
        ConsoleSink console = SystemLogConsole();  // where the logger's echo goes
    };

    // Creates the logger, opens the store (creating the support folder) and loads the
    // signatures. Fails when the brand keys are incomplete or the store cannot be opened, saying
    // why.
    static Result<std::unique_ptr<Core>> create(const Environment& environment, Options options);
    // The engine registered at creation (null when none lives).
    static Core* shared();
    ~Core() override;

    // Refreshes from the service the first time; later calls do nothing.
    void start();
    bool started() const { return _started; }
    void loadSignatures();
    void refreshFromServer();
    void refreshFromServerIfPossible();

    const std::vector<ClientKind>& clientKinds() const { return _clientKinds; }
    const SignatureIds& signatureIds() const { return _signatureIds; }
    const IdToSignatureMap& idToSignatureMap() const { return _idToSignatureMap; }
    SignaturePtr signature(SignatureId id) const;  // null for an unknown id
    // Every signature not pending deletion, in store order.
    SignatureIds visibleSignatureIds();

    SignatureId addSignature();
    // False when the record could not be written (the log says why).
    bool saveSignature(SignatureId id);
    // Deletes the record: the extension has no mail program to remove it from first.
    bool removeSignature(SignatureId id);

    // Nothing the engine set going is still running (a refresh in flight, a key fetch).
    bool isIdle() const { return !_refreshCycle.isRequesting() && _keyFetchesInProgress == 0; }
    // Key fetches that the popup's form makes count as work in progress.
    void fetchSignatureByKey(const QString& key,
                             std::function<void(const KeyFetchResult&)> completion);

    void setRequestingUpdatedSignatures(bool requesting) override;
    std::pair<SignatureIds, SignatureIds> applySignatureUpdates(
        const SignatureUpdates& updates, const std::optional<ActiveFlags>& activeFlags,
        std::int64_t updateTime, const QString& label) override;
    void refreshCompleted(bool success, const SignatureIds& updated,
                          const SignatureIds& modifiedOnly,
                          const std::optional<QString>& errorTitle,
                          const std::optional<QString>& errorDetails) override;

    const Brand& brand() const { return *_brand; }
    MainQueue& mainQueue() { return _environment.mainQueue; }
    const QString& storePath() const { return _storePath; }

private:
    Core(const Environment& environment, Options options, Brand brand);
    std::optional<Failed> runCreationSteps();

    Environment _environment;
    Options _options;
    std::optional<Brand> _brand;
    std::unique_ptr<ServiceClient> _serviceClient;
    QString _storePath;

    std::unique_ptr<Logger> _loggerX;
    std::unique_ptr<Store> _storeX;
    std::vector<ClientKind> _clientKinds;
    SignatureIds _signatureIds;
    IdToSignatureMap _idToSignatureMap;
    std::optional<SignatureIds> _qVisibleSignatureIdsQ;
    bool _started = false;
    RefreshCycle _refreshCycle;
    int _keyFetchesInProgress = 0;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);  // guards posted work
};

}  // namespace quillet::web
