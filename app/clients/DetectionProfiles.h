#pragma once
// Where the Mozilla-based clients keep their profiles, and which of them is the default one.

#include <QString>
#include <QStringList>

#include "common/ClientKind.h"
#include "platform/Paths.h"

namespace quillet {

// The profiles folders of Postbox ("PostboxApp" first, then the older "Postbox") or
// Thunderbird, in the order they are tried; empty for the other kinds.
QStringList MozillaProfilesFolders(ClientKind kind, const Paths& paths);

}  // namespace quillet
