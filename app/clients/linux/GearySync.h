#pragma once
// Geary keeps one signature per account in the account's geary.ini ("use_signature",
// "signature": the HTML itself). A running Geary does not read the file again and writes its own
// copy over it when it next saves, so the sync pass closes Geary first and starts it again
// afterwards, as it does Thunderbird; the sync writes each changed geary.ini atomically with
// GLib's key-file writer, keeping every other key and comment.

#include <QByteArray>
#include <QStringList>
#include <map>
#include <optional>

#include "app/clients/linux/IdentitySignatures.h"
#include "app/clients/linux/LinuxSyncSupport.h"
#include "app/clients/sync/SyncPlan.h"

namespace quillet {

inline const QString kGearyUseSignature = QStringLiteral("use_signature");
inline const QString kGearySignature = QStringLiteral("signature");

struct GearySyncPlan {
    std::map<QString, QByteArray> files;  // the geary.ini files to write, by path
    ReplacedSettingsChanges replaced;
    std::set<QString> unwrittenEmails;
};

// Works out the new geary.ini files from those read (by account folder) and the person's kept
// settings; writes nothing.
GearySyncPlan PlanGearySync(const SyncInputs& inputs, const std::map<QString, QByteArray>& files,
                            const std::map<QString, ClientSettings>& kept);

// Reads every account's geary.ini, keeps the person's settings it is about to replace, writes
// the changed files, and records the installations.
std::optional<SyncLinuxClientSignaturesError> SyncGearySignatures(const SyncInputs& inputs);

}  // namespace quillet
