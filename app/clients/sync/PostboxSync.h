#pragma once
// Postbox keeps its signatures in its own list, the JSON file "postbox-signatures" in the
// profile folder (an array of objects with string members "key", "name", "body" and whatever
// else Postbox puts there), and points each identity at one entry by its key through the
// preference "pbSignatureKey" in prefs.js. Quillet's entries are keyed by the signature's uuid.
// The sync keeps the person's own entries, Postbox's default ("sigKeyDefault") and the
// defaults the person picked; it drops Quillet's entries that no longer belong in Postbox.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "app/clients/sync/SyncPlan.h"
#include "platform/FileFailure.h"

namespace quillet {

struct SyncPostboxSignaturesError {
    enum class Kind { fileSystem, badData };
    Kind kind = Kind::fileSystem;
    QString pathX;                                     // the file concerned
    FileFailureCause cause = FileFailureCause::other;  // of a write that failed
};

inline const QString kPostboxSignaturesFileName = QStringLiteral("postbox-signatures");
inline const QString kPostboxDefaultSignatureKey = QStringLiteral("sigKeyDefault");

// The settings of an identity that carry its signature: what Quillet writes, and what it keeps
// of the person's before it replaces them.
inline const QStringList kPostboxSignatureSettings{"pbSignatureKey", "sig_on_reply", "sig_on_fwd"};

// The new state of Postbox's storage: the signature list and the prefs.js lines.
struct PostboxSyncPlan {
    nlohmann::ordered_json signatureList;  // an array of objects with string members
    QStringList prefsLines;
    ReplacedSettingsChanges replaced;   // by account email, for the profile folder
    std::set<QString> unwrittenEmails;  // accounts whose address no identity carries now
};

// The list from the file's bytes; absent when they are not JSON or not an array of objects with
// string members.
std::optional<nlohmann::ordered_json> ParsePostboxSignatureList(const QByteArray& bytes);

// prefs.js as a restore is about to put it back (restored), where an identity that the restore
// points at a signature the list no longer has (the person deleted it since) gets Postbox's
// default, else none, as when Quillet's signature leaves it. An identity left as it is now
// (current) stays as the person has it. The list is the one the restore leaves (absent: no
// file). Absent when a file cannot be read as what it should be.
std::optional<QByteArray> PostboxPrefsPointingIntoList(const QByteArray& restored,
                                                       const std::optional<QByteArray>& current,
                                                       const std::optional<QByteArray>& list);

// Works out the new list and prefs.js lines from those read (the list already checked to be an
// array of objects with string members) and what was kept of the person's settings for this
// profile (by account email); writes nothing. Logs a warning for each entry without a key, which
// stays as it is. An identity that Quillet's signature leaves gets back the person's own
// signature when its entry is still in the list, else Postbox's default (or none).
PostboxSyncPlan PlanPostboxSync(const SyncInputs& inputs,
                                const nlohmann::ordered_json& signatureList,
                                const QStringList& prefsLines,
                                const std::map<QString, ClientSettings>& kept);

// Reads the list (a missing one is empty) and prefs.js, writes the planned list and then
// prefs.js, each atomically, then records the installations. `fileSystem` with the path when a
// file cannot be read or written, `badData` when the list is not an array of objects with string
// members; nothing is written after a reading failure, and nothing is recorded after any.
std::optional<SyncPostboxSignaturesError> SyncPostboxSignatures(const SyncInputs& inputs);

}  // namespace quillet
