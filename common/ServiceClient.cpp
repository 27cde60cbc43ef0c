#include "common/ServiceClient.h"

#include <QStringDecoder>
#include <QStringList>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "common/Localization.h"
#include "common/Log.h"
#include "common/ServiceTransport.h"
#include "common/Text.h"
#include "platform/MainQueue.h"

namespace quillet {

namespace {

const char* const kUpdatePath = "/node/api/v1/signature?keys=";
const char* const kKeyPath = "/node/api/v1/signature/key/";
const char* const kUpdateFailedTitle = "Could not update signatures from server";
const char* const kFetchFailedTitle = "Could not fetch the signature by key";
const char* const kUpdateLabel = "RequestUpdatedSignatures()";
const char* const kNotSignaturesDetails =
    "The signature service answered with something other than the signatures asked for.";

UpdateOutcome UpdateFailure(const QString& details) {
    UpdateOutcome outcome;
    outcome.errorDetails = details;
    return outcome;
}

}  // namespace

UpdateOutcome InterpretUpdateResponse(const ServiceResponse& response,
                                      const std::vector<QString>& keys) {
    if (response.transportError) {
        LogError("Could not update signatures from server: " + *response.transportError);
        return UpdateFailure(response.transportErrorDescription);
    }
    LogInfo(QString("Updating signatures from server, response status code: %1")
                .arg(response.statusCode));
    // A failing service often still answers JSON ({"error": …}); read as updates, it would turn
    // every signature inactive and the next sync would remove them all from every client.
    if (!response.isSuccessStatus()) {
        LogError(QString("Could not update signatures from server: HTTP status %1")
                     .arg(response.statusCode));
        return UpdateFailure(Localized("The signature service answered with HTTP status %1.")
                                 .arg(response.statusCode));
    }

    nlohmann::json body;
    try {
        body = nlohmann::json::parse(response.body.begin(), response.body.end());
    } catch (const nlohmann::json::exception& error) {
        const QString description = QString::fromUtf8(error.what());
        LogError("Could not parse response JSON when updating signatures from server: " +
                 description);
        return UpdateFailure(description);
    }

    // Only a map of the keys asked for to texts says which signatures are active: a key it
    // leaves out was disabled on the service. Anything else (an array, null, an error object of
    // the service's own, a member that is not a text) says nothing about them.
    if (!body.is_object()) {
        LogError(QString("Could not update signatures from server: the answer is a JSON %1, "
                         "not an object")
                     .arg(QString::fromUtf8(body.type_name())));
        return UpdateFailure(Localized(kNotSignaturesDetails));
    }
    const std::set<QString> asked(keys.begin(), keys.end());
    UpdateOutcome outcome;
    bool wellFormed = true;
    // Of two members with the same name the parser keeps the later one, and names of parsed JSON
    // are always text.
    for (const auto& [name, value] : body.items()) {
        const QString key = QString::fromStdString(name);
        if (!asked.contains(key)) {
            LogError("Unexpected key in signature update response JSON: \"" + key + "\"");
            wellFormed = false;
        } else if (!value.is_string()) {
            LogError("Skipping bad main text in signature update response JSON: \"" + key + "\"");
            wellFormed = false;
        } else {
            outcome.updates[key] =
                SignatureUpdate{TrimmedText(QString::fromStdString(value.get<std::string>()))};
        }
    }
    if (!wellFormed) {
        LogError(
            "Could not update signatures from server: the answer is not an object of the "
            "keys asked for and their texts");
        return UpdateFailure(Localized(kNotSignaturesDetails));
    }
    outcome.success = true;
    int active = 0;
    int disabled = 0;
    for (const QString& key : keys) {
        const bool isActive = outcome.updates.contains(key);
        outcome.activeFlags[key] = isActive;
        ++(isActive ? active : disabled);
    }
    LogInfo(QString("Received updates for %1 signature(s), active: %2, disabled: %3")
                .arg(outcome.updates.size())
                .arg(active)
                .arg(disabled));
    return outcome;
}

namespace {

KeyFetchResult InterpretKeyResponse(const ServiceResponse& response) {
    if (response.transportError) {
        LogError("Could not fetch key from server: " + *response.transportError);
        return KeyFetchResult::Error(Localized(kFetchFailedTitle),
                                     response.transportErrorDescription);
    }
    LogInfo(QString("Fetching key from server, response status code: %1").arg(response.statusCode));
    if (response.statusCode != 200)
        return KeyFetchResult::NotFound();
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(response.body);
    if (decoder.hasError())
        return KeyFetchResult::NotFound();
    return KeyFetchResult::Found(text);
}

// A lone surrogate has no UTF-8 form; encoding it would silently ask for another key.
bool IsWellFormedUtf16(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (text[i].isSurrogate()) {
            return false;
        }
    }
    return true;
}

bool IsUnreserved(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

}  // namespace

KeyFetchResult KeyFetchResult::Error(const QString& title, const QString& details) {
    KeyFetchResult result;
    result.error = true;
    result.errorTitle = title;
    result.errorDetails = details;
    return result;
}

KeyFetchResult KeyFetchResult::Found(const QString& text) {
    KeyFetchResult result;
    result.text = text;
    return result;
}

KeyFetchResult KeyFetchResult::NotFound() {
    return {};
}

QString PercentEncodeKey(const QString& key) {
    if (key.isEmpty() || !IsWellFormedUtf16(key))
        return {};
    const QByteArray bytes = key.toUtf8();
    static const char kHex[] = "0123456789ABCDEF";
    QString encoded;
    encoded.reserve(bytes.size() * 3);
    for (const char character : bytes) {
        const auto byte = static_cast<unsigned char>(character);
        if (IsUnreserved(byte)) {
            encoded += QChar(byte);
        } else {
            encoded += QChar('%');
            encoded += QChar(kHex[byte >> 4]);
            encoded += QChar(kHex[byte & 0x0F]);
        }
    }
    return encoded;
}

ServiceClient::ServiceClient(QUrl baseUrl, MainQueue& mainQueue, ServiceRequestLimits limits)
    : _baseUrl(std::move(baseUrl)), _mainQueue(mainQueue), _limits(limits) {}

ServiceClient::~ServiceClient() = default;

void ServiceClient::send(const QUrl& url, std::function<void(const ServiceResponse&)> completion) {
    if (!_transport) {
        Result<std::unique_ptr<ServiceTransport>> opened = OpenServiceTransport();
        if (!opened) {
            ServiceResponse response;
            response.transportError = opened.error();
            response.transportErrorDescription = opened.error();
            completion(response);
            return;
        }
        _transport = std::move(*opened);
    }
    _transport->get(url, _limits, std::move(completion));
}

QUrl ServiceClient::DefaultBaseUrl(const QString& overrideUrl) {
    for (const QString& text : {overrideUrl, qEnvironmentVariable("QUILLET_SERVICE_URL")}) {
        const QUrl url(text.trimmed());
        if (!text.trimmed().isEmpty() && !ServiceBaseUrlProblem(url))
            return url;
    }
    return QUrl(QStringLiteral(QUILLET_DEFAULT_SERVICE_URL));
}

std::optional<QString> ServiceBaseUrlProblem(const QUrl& url) {
    if (!url.isValid())
        return QStringLiteral("it is not a valid URL");
    const QString scheme = url.scheme().toLower();
    if (scheme != "http" && scheme != "https")
        return QStringLiteral("only http and https are supported");
    if (url.host().isEmpty())
        return QStringLiteral("it names no host");
    if (url.hasQuery())
        return QStringLiteral("it holds a query (\"?\")");
    if (url.hasFragment())
        return QStringLiteral("it holds a fragment (\"#\")");
    return std::nullopt;
}

namespace {
// The base without the slashes that end it, so that "http://host/" does not give "//node".
QString BaseText(const QUrl& baseUrl) {
    QString text = QString::fromUtf8(baseUrl.toEncoded());
    while (text.endsWith('/'))
        text.chop(1);
    return text;
}
}  // namespace

QString ServiceClient::updateUrlPrefix() const {
    return BaseText(_baseUrl) + kUpdatePath;
}

QString ServiceClient::keyUrlPrefix() const {
    return BaseText(_baseUrl) + kKeyPath;
}

void ServiceClient::RequestUpdatedSignatures(const SignatureIds& ids, const IdToSignatureMap& map,
                                             UpdatedSignaturesReceiver& receiver) {
    RequestUpdatedSignatures(ServiceKeys(ids, map), receiver);
}

void ServiceClient::RequestUpdatedSignatures(const std::vector<QString>& keys,
                                             UpdatedSignaturesReceiver& receiver) {
    if (keys.empty()) {
        LogInfo("RequestUpdatedSignatures(): No signatures to update from server");
        receiver.refreshCompleted(true, {}, {}, std::nullopt, std::nullopt);
        return;
    }

    // Taken now, not when the answer arrives: a text changed on the service after this moment
    // is not in this answer, so the signature must not look newer than that.
    const auto updateTime = static_cast<std::int64_t>(std::floor(_mainQueue.now()));

    QStringList encodedKeys;
    for (const QString& key : keys) {
        const QString encoded = PercentEncodeKey(key);
        if (!encoded.isEmpty())
            encodedKeys.push_back(encoded);
    }
    if (encodedKeys.isEmpty()) {
        LogInfo("RequestUpdatedSignatures(): No valid signatures to update from server");
        receiver.refreshCompleted(true, {}, {}, std::nullopt, std::nullopt);
        return;
    }

    const QString urlText = updateUrlPrefix() + encodedKeys.join(',');
    const QUrl url = QUrl::fromEncoded(urlText.toUtf8(), QUrl::StrictMode);
    LogInfo("Updating signatures from server, request URL: " + urlText);
    receiver.setRequestingUpdatedSignatures(true);

    MainQueue* mainQueue = &_mainQueue;
    send(url, [mainQueue, &receiver, keys, updateTime,
               alive = std::weak_ptr<bool>(_alive)](const ServiceResponse& response) {
        UpdateOutcome outcome = InterpretUpdateResponse(response, keys);
        mainQueue->post([&receiver, updateTime, alive, outcome = std::move(outcome)]() {
            if (alive.expired())
                return;
            receiver.setRequestingUpdatedSignatures(false);
            if (!outcome.success) {
                receiver.refreshCompleted(false, {}, {}, Localized(kUpdateFailedTitle),
                                          outcome.errorDetails);
                return;
            }
            const auto [updated, modifiedOnly] = receiver.applySignatureUpdates(
                outcome.updates, outcome.activeFlags, updateTime, kUpdateLabel);
            receiver.refreshCompleted(true, updated, modifiedOnly, std::nullopt, std::nullopt);
        });
    });
}

void ServiceClient::FetchSignatureByKey(const QString& key,
                                        std::function<void(const KeyFetchResult&)> completion) {
    const QString encoded = PercentEncodeKey(key);
    const QString urlText = keyUrlPrefix() + encoded;
    const QUrl url = QUrl::fromEncoded(urlText.toUtf8(), QUrl::StrictMode);
    if (encoded.isEmpty() || !url.isValid()) {
        _mainQueue.post(
            [alive = std::weak_ptr<bool>(_alive), completion = std::move(completion)]() {
                if (!alive.expired())
                    completion(KeyFetchResult::NotFound());
            });
        return;
    }
    LogInfo("Fetching key from server: " + urlText);
    MainQueue* mainQueue = &_mainQueue;
    send(url, [mainQueue, alive = std::weak_ptr<bool>(_alive),
               completion = std::move(completion)](const ServiceResponse& response) {
        KeyFetchResult result = InterpretKeyResponse(response);
        mainQueue->post([alive, completion, result = std::move(result)]() {
            if (!alive.expired())
                completion(result);
        });
    });
}

}  // namespace quillet
