#pragma once
// One GET to the signature service with the limits that keep a misbehaving service from holding
// a refresh for ever or exhausting memory: a time-out without progress, an overall time limit
// and a cap on the body. Hitting any of them is a transport error, as a refused connection is.

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

namespace quillet {

inline constexpr int kServiceIdleTimeoutMilliseconds = 60 * 1000;
inline constexpr int kServiceOverallTimeoutMilliseconds = 5 * 60 * 1000;
inline constexpr qint64 kServiceBodyLimitBytes = 32 * 1024 * 1024;

struct ServiceRequestLimits {
    int idleMilliseconds = kServiceIdleTimeoutMilliseconds;
    int overallMilliseconds = kServiceOverallTimeoutMilliseconds;
    qint64 bodyBytes = kServiceBodyLimitBytes;
};

// An HTTP answer (whatever its status), or the reason why none arrived.
struct ServiceResponse {
    std::optional<QString> transportError;  // present: no complete answer; the reason, for the log
    QString transportErrorDescription;      // the same reason for the person, localised
    int statusCode = 0;
    QByteArray body;

    bool isSuccessStatus() const { return statusCode >= 200 && statusCode < 300; }
};

}  // namespace quillet
