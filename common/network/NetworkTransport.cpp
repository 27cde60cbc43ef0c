// The quillet-network module: the service client's requests over Qt's network stack. It links
// nothing of Quillet's; the one text it needs from the process, the person's wording of a reason,
// comes through the factory.

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <memory>

#include "common/ServiceTransport.h"

namespace quillet {

namespace {

using Localize = QString (*)(const QString&);

struct RequestState {
    // Set by our own abort: the reply then only says "Operation canceled", which would hide why.
    std::optional<QString> abortReason;
    QString abortDescription;
    QByteArray body;
    qint64 bodyLimit = 0;
};

// The English text for the log and the localised one for the person, from one template.
struct Reason {
    QString text;
    QString description;
};

Reason MakeReason(Localize localize, const QString& englishTemplate, const QString& argument) {
    return {englishTemplate.arg(argument), localize(englishTemplate).arg(argument)};
}

QString DescribeDuration(int milliseconds) {
    const auto count = [](int n, const char* unit) {
        return QString("%1 %2%3").arg(n).arg(unit).arg(n == 1 ? "" : "s");
    };
    if (milliseconds % 60'000 == 0)
        return count(milliseconds / 60'000, "minute");
    if (milliseconds % 1000 == 0)
        return count(milliseconds / 1000, "second");
    return count(milliseconds, "millisecond");
}

// Qt reports a 4xx or 5xx status as an error of the reply although a whole answer arrived and its
// body is readable; only these codes mean that. Everything else (refused, reset, closed early,
// protocol failure) means there is no answer to read.
bool IsStatusError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= QNetworkReply::ContentAccessDenied &&
            code <= QNetworkReply::UnknownContentError) ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           (code >= QNetworkReply::InternalServerError &&
            code <= QNetworkReply::UnknownServerError);
}

// "32 MiB" for whole mebibytes, else "N bytes".
QString DescribeByteCount(qint64 bytes) {
    constexpr qint64 kMebibyte = 1024 * 1024;
    if (bytes > 0 && bytes % kMebibyte == 0)
        return QString("%1 MiB").arg(bytes / kMebibyte);
    return QString("%1 bytes").arg(bytes);
}

void SendServiceRequest(QNetworkAccessManager& network, Localize localize, const QUrl& url,
                        const ServiceRequestLimits& limits,
                        std::function<void(const ServiceResponse&)> completion) {
    QNetworkRequest request(url);
    QNetworkReply* reply = network.get(request);
    auto state = std::make_shared<RequestState>();
    state->bodyLimit = limits.bodyBytes;

    // The timers are children of the reply, so they die with it and never fire for a finished one.
    auto* idle = new QTimer(reply);
    idle->setSingleShot(true);
    idle->setInterval(limits.idleMilliseconds);
    auto* overall = new QTimer(reply);
    overall->setSingleShot(true);
    overall->setInterval(limits.overallMilliseconds);

    // Records why the answer is refused; a reply that has already finished (the whole answer came
    // in one read) has nothing left to abort, but the reason still stands.
    auto abortWith = [reply, state](const Reason& reason) {
        if (state->abortReason)
            return;
        state->abortReason = reason.text;
        state->abortDescription = reason.description;
        if (!reply->isFinished())
            reply->abort();
    };
    const Reason tooLarge =
        MakeReason(localize, "The answer is larger than %1", DescribeByteCount(limits.bodyBytes));
    auto takeBody = [reply, state, abortWith, tooLarge]() {
        if (state->abortReason)
            return;
        state->body += reply->readAll();
        if (state->body.size() > state->bodyLimit) {
            state->body.clear();
            abortWith(tooLarge);
        }
    };

    QObject::connect(idle, &QTimer::timeout, reply, [abortWith, limits, localize]() {
        abortWith(MakeReason(localize, "No progress from the service for %1",
                             DescribeDuration(limits.idleMilliseconds)));
    });
    QObject::connect(overall, &QTimer::timeout, reply, [abortWith, limits, localize]() {
        abortWith(MakeReason(localize, "The service did not complete its answer within %1",
                             DescribeDuration(limits.overallMilliseconds)));
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply,
                     [reply, idle, abortWith, tooLarge, limits]() {
                         idle->start();
                         const QVariant length =
                             reply->header(QNetworkRequest::ContentLengthHeader);
                         if (length.isValid() && length.toLongLong() > limits.bodyBytes)
                             abortWith(tooLarge);
                     });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [idle, takeBody]() {
        idle->start();
        takeBody();
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [idle]() { idle->start(); });
    QObject::connect(reply, &QNetworkReply::uploadProgress, reply, [idle]() { idle->start(); });

    QObject::connect(
        reply, &QNetworkReply::finished, reply,
        [reply, state, idle, overall, takeBody, completion = std::move(completion)]() {
            idle->stop();
            overall->stop();
            ServiceResponse response;
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            const bool answered = status.isValid() && (reply->error() == QNetworkReply::NoError ||
                                                       IsStatusError(reply->error()));
            if (answered)
                takeBody();
            if (state->abortReason) {
                response.transportError = *state->abortReason;
                response.transportErrorDescription = state->abortDescription;
            } else if (!answered) {
                // Qt's own text is already translated for the person.
                response.transportError = reply->errorString();
                response.transportErrorDescription = reply->errorString();
            } else {
                response.statusCode = status.toInt();
                response.body = std::move(state->body);
            }
            reply->deleteLater();
            completion(response);
        });

    idle->start();
    overall->start();
}

class NetworkTransport : public ServiceTransport {
public:
    explicit NetworkTransport(Localize localize) : _localize(localize) {}

    ~NetworkTransport() override {
        // A reply still in flight would otherwise call back into a receiver that may be gone too.
        for (QNetworkReply* reply : _network.findChildren<QNetworkReply*>()) {
            QObject::disconnect(reply, nullptr, nullptr, nullptr);
            reply->abort();
        }
    }

    void get(const QUrl& url, const ServiceRequestLimits& limits,
             std::function<void(const ServiceResponse&)> completion) override {
        SendServiceRequest(_network, _localize, url, limits, std::move(completion));
    }

private:
    Localize _localize;
    QNetworkAccessManager _network;
};

}  // namespace

}  // namespace quillet

extern "C" Q_DECL_EXPORT quillet::ServiceTransport* QuilletCreateServiceTransport(
    quillet::Localize localize) {
    return new quillet::NetworkTransport(localize);
}
