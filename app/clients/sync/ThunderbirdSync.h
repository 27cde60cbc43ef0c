#pragma once
// Thunderbird keeps each identity's signature as preferences in the profile's prefs.js: the HTML
// itself (htmlSigText, with htmlSigFormat true) and the reply and forward switches. The sync
// writes the assigned signature into each identity and takes Quillet's text out of identities
// that no longer have one; a signature the person set in Thunderbird is never removed.

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <set>

#include "app/clients/sync/SyncPlan.h"

namespace quillet {

struct SyncThunderbirdSignaturesError {
    enum class Kind { fileSystem };
    Kind kind = Kind::fileSystem;
    QString pathX;  // the file concerned
};

// The settings of an identity that carry its signature: what Quillet writes, and what it keeps
// of the person's before it replaces them.
inline const QStringList kThunderbirdSignatureSettings{"htmlSigText", "htmlSigFormat",
                                                       "sig_on_reply", "sig_on_fwd"};

struct ThunderbirdSyncPlan {
    QStringList prefsLines;             // the new prefs.js
    ReplacedSettingsChanges replaced;   // by account email, for the profile folder
    std::set<QString> unwrittenEmails;  // accounts whose address no identity carries now
};

// Works out the new state from the lines read and what was kept of the person's settings for
// this profile (by account email); writes nothing.
ThunderbirdSyncPlan PlanThunderbirdSync(const SyncInputs& inputs, const QStringList& lines,
                                        const std::map<QString, ClientSettings>& kept);

// Reads prefs.js, keeps the person's settings it is about to replace, writes the planned lines
// back atomically, then records the installations. Fails with `fileSystem` and the path (of
// prefs.js, or of the kept settings) when a file cannot be read or written; nothing is recorded
// then.
std::optional<SyncThunderbirdSignaturesError> SyncThunderbirdSignatures(const SyncInputs& inputs);

}  // namespace quillet
