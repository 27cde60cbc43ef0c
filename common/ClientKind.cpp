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
    static const std::array<ClientFacts, kAllClientKinds.size()> kFacts = {{
        {"AppleMail", "Apple Mail", "com.apple.mail", ClientOptions::none, false, "appleMail"},
        {"Outlook", "Microsoft Outlook", "com.microsoft.Outlook",
         ClientOptions::combinedInsertForRepliesAndForwards, true, "outlook"},
        {"Postbox", "Postbox", "com.postbox-inc.postbox",
         ClientOptions::separateInsertForRepliesAndForwards, true, "postbox"},
        {"Spark", "Spark", "com.readdle.smartemail-Mac", ClientOptions::none, true, "spark"},
        {"Thunderbird", "Thunderbird", "org.mozilla.thunderbird",
         ClientOptions::separateInsertForRepliesAndForwards, false, "thunderbird"},
        // The Linux clients go by their desktop application ids.
        {"Evolution", "Evolution", "org.gnome.Evolution", ClientOptions::none, false, "evolution"},
        {"KMail", "KMail", "org.kde.kmail2", ClientOptions::none, false, "kmail"},
        {"Geary", "Geary", "org.gnome.Geary", ClientOptions::none, false, "geary"},
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
    // Every stored installation row names its client: they all share these texts.
    static const std::array<QString, kAllClientKinds.size()> kTexts = [] {
        std::array<QString, kAllClientKinds.size()> texts;
        for (ClientKind each : kAllClientKinds)
            texts[static_cast<size_t>(each)] = QString::fromLatin1(Facts(each).storedText);
        return texts;
    }();
    return kTexts[static_cast<size_t>(kind)];
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
bool IsUpdatedWhileRunning(ClientKind kind) {
    return kind == ClientKind::outlook || kind == ClientKind::evolution ||
           kind == ClientKind::kmail;
}
QString CaseName(ClientKind kind) {
    return Facts(kind).caseName;
}

}  // namespace quillet
