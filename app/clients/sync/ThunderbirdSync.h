#pragma once
// Thunderbird keeps each identity's signature as preferences in the profile's prefs.js: the HTML
// itself (htmlSigText, with htmlSigFormat true) and the reply and forward switches. The sync
// writes the assigned signature into each identity and takes Quillet's text out of identities
// that no longer have one; a signature the person set in Thunderbird is never removed.

#include <QString>
#include <QStringList>
#include <optional>

#include "app/clients/sync/SyncPlan.h"
#include "platform/FileFailure.h"

namespace quillet {

struct SyncThunderbirdSignaturesError {
    enum class Kind { fileSystem };
    Kind kind = Kind::fileSystem;
    QString pathX;                                     // the file concerned
    FileFailureCause cause = FileFailureCause::other;  // of a write that failed
};

// The new prefs.js lines for the lines read: works out the new state and writes nothing.
QStringList PlanThunderbirdPrefsLines(const SyncInputs& inputs, const QStringList& lines);

// Reads prefs.js, writes the planned lines back atomically, then records the installations.
// Fails with `fileSystem` and the path when prefs.js cannot be read or written; nothing is
// recorded then.
std::optional<SyncThunderbirdSignaturesError> SyncThunderbirdSignatures(const SyncInputs& inputs);

}  // namespace quillet
