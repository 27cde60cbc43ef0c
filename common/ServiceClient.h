#pragma once
// The client side of the signature web service: one request that asks for the current text of
// many signatures at once (the refresh), and one that fetches a single signature by its key.
// A failed request is never an exception: the refresh ends in refreshCompleted with failure, the
// key fetch in the error shape of KeyFetchResult.

#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "common/ServiceRequest.h"
#include "common/Signature.h"
#include "common/SignatureId.h"

namespace quillet {

class MainQueue;
class ServiceTransport;

// Exactly one of three shapes: error (flag, title and details), found (text), not found (nothing).
struct KeyFetchResult {
    bool error = false;
    std::optional<QString> errorTitle;
    std::optional<QString> errorDetails;
    std::optional<QString> text;

    static KeyFetchResult Error(const QString& title, const QString& details);
    static KeyFetchResult Found(const QString& text);
    static KeyFetchResult NotFound();
};

using SignatureUpdates = std::map<QString, SignatureUpdate>;  // by signature key
using ActiveFlags = std::map<QString, bool>;                  // by signature key

// What an answer to a refresh says: the updates and active flags, or why it failed.
struct UpdateOutcome {
    bool success = false;
    SignatureUpdates updates;
    ActiveFlags activeFlags;
    QString errorDetails;  // for the person, when it failed
};

// Reads the answer to a refresh; `keys` are the keys asked for, unencoded.
//
// The answer says which signatures are disabled by what it leaves out, so only an answer that
// is exactly what was asked for is read: a 2xx status with a JSON object whose every member
// is one of the keys asked for, with a text. Every requested key it holds is active with that
// text; every requested key it leaves out is disabled on the service. Any other answer is a
// failed refresh, tried again after the error delay, and changes no signature: a transport
// error; a status outside 2xx (not even parsed); a body that is no JSON; a top-level value
// that is not an object (`[]`, `null`); an object with a member nobody asked for (a service's
// own `{"error": "maintenance"}`) or a member that is not a text. A service under
// maintenance must never read as "every signature disabled", which would remove them all
// from every client.
UpdateOutcome InterpretUpdateResponse(const ServiceResponse& response,
                                      const std::vector<QString>& keys);

// What the engine offers a refresh; every call comes on the main thread.
class UpdatedSignaturesReceiver {
public:
    virtual ~UpdatedSignaturesReceiver() = default;
    virtual void setRequestingUpdatedSignatures(bool requesting) = 0;
    // Applies the parsed answer and saves what changed; returns (updated ids, modified-only ids).
    virtual std::pair<SignatureIds, SignatureIds> applySignatureUpdates(
        const SignatureUpdates& updates, const std::optional<ActiveFlags>& activeFlags,
        std::int64_t updateTime, const QString& label) = 0;
    virtual void refreshCompleted(bool success, const SignatureIds& updated,
                                  const SignatureIds& modifiedOnly,
                                  const std::optional<QString>& errorTitle,
                                  const std::optional<QString>& errorDetails) = 0;
};

// Lives on the main thread and is called there. It keeps no state between requests; a request
// still in flight when the client is destroyed is abandoned without calling back.
class ServiceClient {
public:
    // The queue's now() gives the update time of a refresh. Every request keeps to the limits
    // (time-outs and body cap).
    ServiceClient(QUrl baseUrl, MainQueue& mainQueue, ServiceRequestLimits limits = {});
    ~ServiceClient();
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    // The base URL to use: the given override (--service), else QUILLET_SERVICE_URL, else the
    // compiled-in default; one that cannot be a base URL (ServiceBaseUrlProblem) is passed over
    // (the command line refuses it before).
    static QUrl DefaultBaseUrl(const QString& overrideUrl = {});

    const QUrl& baseUrl() const { return _baseUrl; }
    // "<base>/node/api/v1/signature?keys=" and "<base>/node/api/v1/signature/key/".
    QString updateUrlPrefix() const;
    QString keyUrlPrefix() const;

    // Asks for the current text of the service-based signatures among ids (the receiver must
    // outlive the request). With no key to ask for, refreshCompleted runs before this returns;
    // otherwise the outcome comes later: setRequestingUpdatedSignatures(false), then
    // applySignatureUpdates and refreshCompleted(success), or refreshCompleted(failure).
    void RequestUpdatedSignatures(const SignatureIds& ids, const IdToSignatureMap& map,
                                  UpdatedSignaturesReceiver& receiver);
    // The same for the keys themselves (the web-mail extension's records are of another type).
    void RequestUpdatedSignatures(const std::vector<QString>& keys,
                                  UpdatedSignaturesReceiver& receiver);
    // Fetches one signature's HTML. The completion runs once, on the main thread, never inside
    // this call. A status other than 200 or a body that is not UTF-8 is "not found", not an
    // error; only a request that got no complete answer is an error.
    void FetchSignatureByKey(const QString& key,
                             std::function<void(const KeyFetchResult&)> completion);

private:
    // Sends through the transport, loaded on the first request; when it cannot be loaded the
    // completion runs at once with a transport error.
    void send(const QUrl& url, std::function<void(const ServiceResponse&)> completion);

    QUrl _baseUrl;
    MainQueue& _mainQueue;
    std::unique_ptr<ServiceTransport> _transport;
    ServiceRequestLimits _limits;
    // Outcomes already handed to the main queue check it, so none arrives after the client.
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

// The keys a refresh asks for: each key of a service-based signature among ids that is not
// pending deletion, once, in the order of ids.
template <class Map>
std::vector<QString> ServiceKeys(const SignatureIds& ids, const Map& map) {
    std::vector<QString> keys;
    std::set<QString> seen;
    for (const SignatureId& id : ids) {
        const auto found = map.find(id);
        if (found == map.end() || !found->second)
            continue;
        const auto& signature = *found->second;
        if (signature.pendingDeletion || signature.keyQe.isEmpty())
            continue;
        if (seen.insert(signature.keyQe).second)
            keys.push_back(signature.keyQe);
    }
    return keys;
}

// How a refresh's answer changed one signature.
enum class SignatureUpdateEffect { none, updated, modifiedOnly };

// Applies the answer to one signature: a new text or active flag updates it (and its update
// time); a first answer with the same text only fills the update time. Only a key the request
// asked for says anything about the active flag: a signature added while the request was in
// flight is not in the answer and must stay active.
template <class Record>
SignatureUpdateEffect ApplySignatureUpdate(Record& signature, const SignatureUpdates& updates,
                                           const std::optional<ActiveFlags>& activeFlags,
                                           std::int64_t updateTime) {
    if (signature.keyQe.isEmpty())
        return SignatureUpdateEffect::none;
    bool textChanged = false, timeFilled = false, activeChanged = false;
    if (const auto update = updates.find(signature.keyQe); update != updates.end()) {
        if (update->second.newMainTextQe != signature.mainTextQe) {
            signature.lastUpdateUnixTimeQz = updateTime;
            signature.mainTextQe = update->second.newMainTextQe;
            textChanged = true;
        } else if (signature.lastUpdateUnixTimeQz == 0) {
            signature.lastUpdateUnixTimeQz = updateTime;
            timeFilled = true;
        }
    }
    if (activeFlags) {
        if (const auto flag = activeFlags->find(signature.keyQe); flag != activeFlags->end()) {
            if (flag->second != signature.active) {
                signature.active = flag->second;
                signature.lastUpdateUnixTimeQz = updateTime;
                activeChanged = true;
            }
        }
    }
    if (textChanged || activeChanged)
        return SignatureUpdateEffect::updated;
    return timeFilled ? SignatureUpdateEffect::modifiedOnly : SignatureUpdateEffect::none;
}

// Why the URL cannot be the service's base URL, to which the request paths are joined as text:
// it must be http or https with a host, and hold no query and no fragment ("https://host/#x"
// would put every request's path and keys into the fragment, which is never sent). Nothing
// when it can.
std::optional<QString> ServiceBaseUrlProblem(const QUrl& url);

// Percent-encodes every UTF-8 byte of the key outside A–Z a–z 0–9 - . _ ~, so that no key can
// change the meaning of the URL it is put in ("a+b", "x?y", "a,b"). Empty when the key is empty
// or is not valid Unicode text (a lone surrogate): such a key cannot be asked for.
QString PercentEncodeKey(const QString& key);

}  // namespace quillet
