#pragma once
// Evolution is updated live, through its source registry: Quillet's signatures are signature
// sources of their own (each with its text file), and each identity points at its signature by
// "SignatureUid". A running Evolution takes a change at its next composer, so it is never closed.
//
// The order keeps every identity pointing at a signature that exists (Evolution silently turns
// a SignatureUid it cannot find into none): text files first, then new or renamed signature
// sources, then the identities, and only then the signature sources no longer needed (with their
// text files, which the registry leaves behind).

#include <QByteArray>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

#include "app/clients/linux/EvolutionRegistry.h"
#include "app/clients/linux/IdentitySignatures.h"
#include "app/clients/linux/LinuxSyncSupport.h"
#include "app/clients/sync/SyncPlan.h"

namespace quillet {

struct EvolutionSyncPlan {
    std::map<QString, QByteArray> textFiles;          // signature texts to write, by path
    std::vector<RegistrySourceChange> sourceChanges;  // in the order they must be made
    QStringList removedTextFiles;                     // texts of removed signature sources
    ReplacedSettingsChanges replaced;
    std::set<QString> unwrittenEmails;
};

// Works out the changes from the registry's sources, the texts of Quillet's signature sources
// as they are now (by path) and the person's kept settings; writes nothing.
EvolutionSyncPlan PlanEvolutionSync(const SyncInputs& inputs,
                                    const std::vector<EvolutionSource>& sources,
                                    const std::map<QString, QByteArray>& texts,
                                    const std::map<QString, ClientSettings>& kept);

// Reads the registry's sources, keeps the person's settings it is about to replace, makes the
// planned changes through the registry, and records the installations.
std::optional<SyncLinuxClientSignaturesError> SyncEvolutionSignatures(
    const SyncInputs& inputs, const EvolutionRegistry& registry);

}  // namespace quillet
