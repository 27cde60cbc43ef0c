#pragma once
// How a detected client is named in menus and labels: "Thunderbird 115.3.1", or with the build
// in parentheses when it says more ("Microsoft Outlook 16.78 (16.78.23100802)").

#include <QString>

#include "app/clients/ClientInfo.h"

namespace quillet {

QString ClientDisplayText(ClientKind kind, const ClientInfo& info);

}  // namespace quillet
