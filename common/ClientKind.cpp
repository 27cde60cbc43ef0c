#include "common/ClientKind.h"

namespace quillet {

namespace {

struct ClientFacts {
    const char* storedText;
    const char* displayName;
    const char* bundleIdentifier;
    ClientOptions options;
    bool allAccounts;
    const char* caseName;
};

const ClientFacts& Facts(ClientKind kind) {
    static const std::array<ClientFacts, 5> kFacts = {{
        {"AppleMail", "Apple Mail", "com.apple.mail", ClientOptions::none, false, "appleMail"},
        {"Outlook", "Microsoft Outlook", "com.microsoft.Outlook",
         ClientOptions::combinedInsertForRepliesAndForwards, true, "outlook"},
        {"Postbox", "Postbox", "com.postbox-inc.postbox",
         ClientOptions::separateInsertForRepliesAndForwards, true, "postbox"},
        {"Spark", "Spark", "com.readdle.smartemail-Mac", ClientOptions::none, true, "spark"},
        {"Thunderbird", "Thunderbird", "org.mozilla.thunderbird",
         ClientOptions::separateInsertForRepliesAndForwards, false, "thunderbird"},
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
QString BundleIdentifier(ClientKind kind) {
    return Facts(kind).bundleIdentifier;
}
ClientOptions OptionsOf(ClientKind kind) {
    return Facts(kind).options;
}
bool AcceptsAllAccountsSelection(ClientKind kind) {
    return Facts(kind).allAccounts;
}
QString CaseName(ClientKind kind) {
    return Facts(kind).caseName;
}

}  // namespace quillet
