#pragma once
// The person's own signature settings that Quillet's signatures replaced: Thunderbird's
// htmlSigText and the keys beside it, Postbox's pbSignatureKey, Apple Mail's default signature of
// an account, Spark's binding of an account. A sync keeps what it is about to replace before it
// writes the client, and puts it back when Quillet's signature leaves that place while the place
// still holds Quillet's value; a person who changed it meanwhile keeps the change.
//
// One place is one account of one client's storage (a profile folder, Mail's data folder,
// Spark's settings database). What a place held is kept until a sync finds Quillet's value gone
// from it (put back, or changed by the person) and forgets it: a failed write never loses it.
//
// The file "ReplacedSignatureSettings.json" sits beside the store in the support folder. Several
// processes keep settings there: each change is read, merged and written under a lock file
// beside it, atomically, and touches only its own client's storage and accounts.

#include <QString>
#include <map>
#include <optional>
#include <set>

#include "common/ClientKind.h"

class QByteArray;

namespace quillet {

class ClientWrites;

// A place's settings by the client's own names, each with its value as the client stores it
// (prefs.js: the raw value, quotation marks included); absent: the place had no such setting.
using ClientSettings = std::map<QString, std::optional<QString>>;

// What one sync changes in the kept settings of one client's storage, by account.
struct ReplacedSettingsChanges {
    std::map<QString, ClientSettings> remembered;  // what Quillet replaces now
    std::set<QString> forgotten;                   // places that no longer hold Quillet's value

    bool empty() const { return remembered.empty() && forgotten.empty(); }
};

inline const QString kReplacedSettingsFileName = QStringLiteral("ReplacedSignatureSettings.json");
QString ReplacedSettingsPath(const QString& supportFolder);

// The file's places by client, storage and account (one text), each as its JSON; absent when the
// bytes are not the file's list. A restore point keeps the places a pass changed, so that a
// restore that gives Quillet's signature back to a place also gives back what it replaced there.
std::optional<std::map<std::string, QByteArray>> ReplacedSettingsPlaces(const QByteArray& bytes);
// The file (none: no file) with each place set to its JSON or removed (none); the others stay.
// Absent when the file or a place is not what the file holds.
std::optional<QByteArray> WithReplacedSettingsPlaces(
    const std::optional<QByteArray>& bytes,
    const std::map<std::string, std::optional<QByteArray>>& places);

class ReplacedSettings {
public:
    // Keeps nothing: reads nothing, and every change succeeds.
    ReplacedSettings() = default;
    // Kept in the file at `path`.
    explicit ReplacedSettings(QString path) : _path(std::move(path)) {}

    // What is kept for the client's storage, by account. Nothing when the file is missing or
    // damaged (not a list: it holds nothing that could be put back). Absent, with an Error log
    // line, when the file is there but cannot be read: a sync that went on would take Quillet's
    // signature away without giving back the person's own, and forget it.
    std::optional<std::map<QString, ClientSettings>> read(ClientKind client,
                                                          const QString& storage) const;
    // Applies the changes to the client's storage, written through the pass's writes (so that
    // its restore point keeps them); everything else stays as the file has it. Nothing when
    // written (or when there was nothing to change), else what failed. A file that is there but
    // cannot be read fails the change and stays as it is; a damaged one (not a list) is replaced.
    std::optional<QString> update(ClientKind client, const QString& storage,
                                  const ReplacedSettingsChanges& changes,
                                  ClientWrites& writes) const;

    const QString& path() const { return _path; }

private:
    QString _path;  // empty: keeps nothing
};

}  // namespace quillet
