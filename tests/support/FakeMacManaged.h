#pragma once
// The organisation's configuration on a fake Mac, as device management leaves it: a property
// list in the managed-preferences folder, machine-wide or for the person.

#include <QString>
#include <optional>

#include "app/demo/FakeMac.h"
#include "platform/Plist.h"

namespace quillet {

enum class ManagedScope { machine, user };

// One "ManagedSignatures" entry; an empty client or account is left out.
Plist ManagedEntryPlist(const QString& key, const QString& client = {}, const QString& account = {},
                        std::optional<bool> replies = {}, std::optional<bool> forwards = {});

// Where the configuration of this Mac's Quillet lands (its bundle identifier from the
// resources' Info.plist; the person being the home folder's name).
QString ManagedConfigurationFile(const FakeMac& mac, ManagedScope scope);
void WriteManagedConfiguration(const FakeMac& mac, const Plist& configuration,
                               ManagedScope scope = ManagedScope::machine, bool binary = false);

}  // namespace quillet
