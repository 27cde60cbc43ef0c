#pragma once
// KMail's identities: the file "emailidentities" in KDE's configuration folder, one group
// "[Identity #N]" per identity. The groups are numbered by position and renumbered when KMail
// writes the file again, so an identity is found by its "uoid" (KMail's own id of it) and its
// "Email Address", never by its group's number.

#include <QString>
#include <optional>
#include <vector>

#include "app/clients/ClientInfo.h"
#include "app/clients/linux/KConfigFile.h"

namespace quillet {

struct KMailIdentity {
    QString group;  // "Identity #N"
    QString email;
    QString uoid;
    std::optional<QString> name;  // the sender's name
};

// CONFIG/emailidentities (CONFIG: the client's settings folder from detection).
QString KMailIdentitiesPath(const ClientInfo& clientInfo);

// The identities of the file in order; groups without an address are skipped.
std::vector<KMailIdentity> ReadKMailIdentities(const KConfigFile& file);

// The identity's group: the one with this uoid when it still carries the address, else the first
// with the address; absent when no identity carries it.
std::optional<QString> KMailIdentityGroup(const KConfigFile& file, const QString& uoid,
                                          const QString& email);

}  // namespace quillet
