#pragma once
// The four web-mail clients of the extension, in their fixed order. A different enumeration from
// the desktop clients: the extension never writes into a mail program.

#include <QString>
#include <array>
#include <optional>

namespace quillet::web {

enum class ClientKind { aol, gmail, outlook, yahoo };

inline constexpr std::array<ClientKind, 4> kAllClientKinds = {
    ClientKind::aol, ClientKind::gmail, ClientKind::outlook, ClientKind::yahoo};

// "Aol", "Gmail", "Outlook", "Yahoo" exactly; any other text (letter case included) is none.
std::optional<ClientKind> ClientKindFromStoredText(const QString& text);
QString StoredText(ClientKind kind);
QString DisplayName(ClientKind kind);

}  // namespace quillet::web
