#pragma once
// What Quillet reads and writes of Evolution's sources. A mail identity is a source with a
// "[Mail Identity]" group ("Address", "Name", "SignatureUid": the uid of its signature source, or
// "none"). A signature is a source with a "[Mail Signature]" group ("MimeType"); its text is the
// file "signatures/UID" in Evolution's settings folder, which the caller writes, not the
// registry. Quillet's signature sources have the uid "quillet-signature-" + the signature's uuid.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "app/clients/ClientInfo.h"
#include "app/clients/linux/EvolutionRegistry.h"
#include "app/clients/sync/ClientWrites.h"
#include "common/Signature.h"

namespace quillet {

inline const QString kEvolutionIdentityGroup = QStringLiteral("Mail Identity");
inline const QString kEvolutionSignatureUid = QStringLiteral("SignatureUid");
inline const QString kQuilletSignatureUidPrefix = QStringLiteral("quillet-signature-");

struct EvolutionIdentity {
    QString uid;
    QString email;
    std::optional<QString> name;
};

// The enabled mail identities with an address, in the registry's order.
std::vector<EvolutionIdentity> EvolutionIdentities(const std::vector<EvolutionSource>& sources);

// The uid of Quillet's signature source for the signature.
QString EvolutionSignatureUid(const Signature& signature);
bool IsQuilletSignatureUid(const QString& uid);

// The key file of Quillet's signature source with this name: an HTML signature.
QByteArray EvolutionSignatureSourceData(const QString& name);
// The name a signature source shows in Evolution's menus.
std::optional<QString> EvolutionSourceDisplayName(const QByteArray& data);

// CONFIG/signatures/UID and CONFIG/sources/UID.source (CONFIG: Evolution's settings folder).
QString EvolutionSignatureTextPath(const ClientInfo& clientInfo, const QString& uid);
QString EvolutionSourcePath(const ClientInfo& clientInfo, const QString& uid);

// Whether the file is one of the registry's sources ("sources/UID.source" of Evolution's
// settings folder).
bool IsEvolutionSourceFile(const QString& path);

// Puts a source's file back as a restore point kept it (its bytes, or absent when there was
// none) through the registry, which notices a changed file of its own but neither a new one nor
// a removed one. Nothing, or what failed.
std::optional<QString> PutBackEvolutionSource(const EvolutionRegistry& registry,
                                              ClientWrites& writes, const QString& path,
                                              const std::optional<QByteArray>& contents);

}  // namespace quillet
