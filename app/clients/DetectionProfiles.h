#pragma once
// Where the Mozilla-based clients keep their profiles, and which of them is the default one.

#include <QString>
#include <QStringList>
#include <optional>

#include "common/ClientKind.h"
#include "platform/Paths.h"

namespace quillet {

// The profiles folders of Postbox ("PostboxApp" first, then the older "Postbox") or
// Thunderbird, in the order they are tried; empty for the other kinds.
QStringList MozillaProfilesFolders(ClientKind kind, const Paths& paths);

// The default profile: the one that profiles.ini names in the first of the profiles homes that
// exists (a Mac keeps profiles.ini beside its "Profiles" folder, Linux in ~/.thunderbird itself),
// when it names a folder that exists; otherwise the first ".default" profile of the profiles
// folders (FindMozillaProfilePath), with its log lines.
std::optional<QString> FindDefaultMozillaProfile(ClientKind kind, const QStringList& profilesHomes,
                                                 const QStringList& profilesFolders);

// The folders holding profiles.ini on a Mac: the parents of the profiles folders.
QStringList MozillaProfilesHomes(const QStringList& profilesFolders);

}  // namespace quillet
