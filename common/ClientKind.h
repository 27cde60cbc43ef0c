#pragma once
// The desktop email clients, in the system's client order, with their fixed facts: the five of
// the Mac, then Evolution, KMail and Geary, which only the Linux desktop has.

#include <QString>
#include <array>
#include <optional>

namespace quillet {

enum class ClientKind { appleMail, outlook, postbox, spark, thunderbird, evolution, kmail, geary };

inline constexpr std::array<ClientKind, 8> kAllClientKinds = {
    ClientKind::appleMail,   ClientKind::outlook,   ClientKind::postbox, ClientKind::spark,
    ClientKind::thunderbird, ClientKind::evolution, ClientKind::kmail,   ClientKind::geary};

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
// Whether the client takes its signatures while it runs, so that a sync never closes it: Outlook
// through its scripts, Evolution through its registry, KMail through its file and a signal.
bool IsUpdatedWhileRunning(ClientKind kind);
// The case name ("appleMail"), as JSON output and descriptions print it.
QString CaseName(ClientKind kind);

}  // namespace quillet
