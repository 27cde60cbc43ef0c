#pragma once
// What the desktop engine and the web-mail host's engine share about keeping signatures current:
// the notifications a refresh posts and when the next refresh is due.

#include <QString>

namespace quillet {

inline const QString kSignaturesUpdatedFromServerNotification =
    "kSignaturesUpdatedFromServerNotification";
inline const QString kUpdatedSignatureIdsKey = "UpdatedSignatureIds";
inline const QString kModifiedOnlySignatureIdsKey = "ModifiedOnlySignatureIds";

// Seconds until the next refresh from the service: two hours after a success, five minutes after
// a failure.
inline constexpr double kRefreshFromServer_AfterSuccess_Delay = 7200;
inline constexpr double kRefreshFromServer_AfterError_Delay = 300;

}  // namespace quillet
