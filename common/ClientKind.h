#pragma once
// The five desktop email clients, in the system's client order, with their fixed facts.

#include <QString>
#include <array>
#include <optional>

namespace quillet {

enum class ClientKind { appleMail, outlook, postbox, spark, thunderbird };

inline constexpr std::array<ClientKind, 5> kAllClientKinds = {
    ClientKind::appleMail, ClientKind::outlook, ClientKind::postbox, ClientKind::spark,
    ClientKind::thunderbird};

// Which reply/forward switches a client offers.
enum class ClientOptions {
    none,
    combinedInsertForRepliesAndForwards,
    separateInsertForRepliesAndForwards,
};

// "AppleMail", "Outlook", ... exactly; any other text (letter case included) names no client.
std::optional<ClientKind> ClientKindFromStoredText(const QString& text);
QString StoredText(ClientKind kind);
QString DisplayName(ClientKind kind);
QString BundleIdentifier(ClientKind kind);
ClientOptions OptionsOf(ClientKind kind);
// Whether a selection of all accounts of the client is kept when the store is read.
bool AcceptsAllAccountsSelection(ClientKind kind);
// The case name ("appleMail"), as JSON output and descriptions print it.
QString CaseName(ClientKind kind);

}  // namespace quillet
