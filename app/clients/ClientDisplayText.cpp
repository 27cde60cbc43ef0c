#include "app/clients/ClientDisplayText.h"

namespace quillet {

QString ClientDisplayText(ClientKind kind, const ClientInfo& info) {
    QString text = DisplayName(kind) + " " + info.bundleShortVersionString;
    if (!info.bundleVersion.isEmpty() && info.bundleVersion != info.bundleShortVersionString)
        text += " (" + info.bundleVersion + ")";
    return text;
}

}  // namespace quillet
