#include "extension/native/WebMailClient.h"

namespace quillet::web {

namespace {

struct ClientFacts {
    const char* storedText;
    const char* displayName;
};

const ClientFacts& Facts(ClientKind kind) {
    static const std::array<ClientFacts, 4> kFacts = {{
        {"Aol", "AOL Mail"},
        {"Gmail", "Gmail"},
        {"Outlook", "Outlook for Web"},
        {"Yahoo", "Yahoo Mail"},
    }};
    return kFacts[static_cast<size_t>(kind)];
}

}  // namespace

std::optional<ClientKind> ClientKindFromStoredText(const QString& text) {
    for (ClientKind kind : kAllClientKinds) {
        if (text == QLatin1String(Facts(kind).storedText))
            return kind;
    }
    return std::nullopt;
}

QString StoredText(ClientKind kind) {
    return Facts(kind).storedText;
}

QString DisplayName(ClientKind kind) {
    return Facts(kind).displayName;
}

}  // namespace quillet::web
