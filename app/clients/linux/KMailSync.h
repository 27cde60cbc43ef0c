#pragma once
// KMail keeps each identity's signature in "emailidentities": the inline text itself ("Inline
// Signature", with KConfig's escapes), "Inlined Html=true" for HTML, "Signature Type=inline" and
// "Signature Enabled=true". The sync writes the file as KDE's own writer does (under its lock
// file "emailidentities.lock", atomically, keeping the file's mode and every other line), then
// broadcasts the identity manager's "identitiesChanged" on the session bus: a running KMail reads
// the file again then, and only then, so it is never closed.

#include <QByteArray>
#include <QStringList>
#include <optional>

#include "app/clients/linux/IdentitySignatures.h"
#include "app/clients/linux/LinuxSyncSupport.h"
#include "app/clients/sync/SyncPlan.h"

namespace quillet {

inline const QStringList kKMailSignatureSettings{"Inline Signature", "Inlined Html",
                                                 "Signature Enabled", "Signature Type"};

struct KMailSyncPlan {
    QByteArray contents;  // the new emailidentities
    ReplacedSettingsChanges replaced;
    std::set<QString> unwrittenEmails;  // accounts whose address no identity carries now
};

// Works out the new file from the one read and the person's kept settings; writes nothing.
KMailSyncPlan PlanKMailSync(const SyncInputs& inputs, const QByteArray& contents,
                            const std::map<QString, ClientSettings>& kept);

// Reads emailidentities under KDE's lock, keeps the person's settings it is about to replace,
// writes the planned file, tells a running KMail, and records the installations.
std::optional<SyncLinuxClientSignaturesError> SyncKMailSignatures(const SyncInputs& inputs);

}  // namespace quillet
