#pragma once
// The entries of each kind of place in a client's storage, read from its bytes and put back into
// them through the clients' own readers and writers (prefs.js lines, property lists, Postbox's
// signatures list), so that a restore point keeps and restores entries rather than whole files.
//
// Entry keys: a prefs.js preference by its key; a property-list member by its path (a JSON array
// of steps: ["k", KEY] a dictionary member, ["id", ID] the element of a list of signatures with
// that "SignatureUniqueId", ["m", TEXT] a text in a list of texts; an empty container is an entry
// of its own); a Postbox list entry by its "key"; a row value that is a JSON list of texts by
// its members (["m", TEXT]), one that is a JSON object of texts by its members (["k", KEY]); a
// whole file, any other row value and an Outlook signature's content as the one entry "".

#include <QByteArray>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/restore/RestorePoints.h"

namespace quillet {

using Entries = std::map<std::string, QByteArray>;

// The kind of a client file by its name: prefs.js, a property list, Postbox's signatures list,
// else a file that is Quillet's own whole.
KeptUnit::Kind FileUnitKind(const QString& path);

// The entries of a place's contents (absent contents: none). Absent when the bytes are not of
// that kind (a damaged file): such a place is then kept whole.
std::optional<Entries> ReadEntries(KeptUnit::Kind kind, const EntryValue& contents);

// The contents with the given entries set (a value) or removed (absent), everything else as it
// is: no contents when the place is to go (a whole file or row value removed); absent when the
// contents are not of that kind or the entries do not fit them.
std::optional<EntryValue> WriteEntries(KeptUnit::Kind kind, const EntryValue& contents,
                                       const std::map<std::string, EntryValue>& changes);

// The entries whose values differ, in key order.
std::vector<EntryChange> ChangedEntries(const Entries& before, const Entries& after);
// The same between two contents of a place; absent when either is not of that kind.
std::optional<std::vector<EntryChange>> ChangedEntries(KeptUnit::Kind kind,
                                                       const EntryValue& before,
                                                       const EntryValue& after);

// How an entry is named to the person ("the preference mail.identity.id1.htmlSigText").
QString DescribeEntry(const KeptUnit& unit, const std::string& key);

// Undoing changes, newest first, against the entries there now.
struct UndoneEntries {
    std::map<std::string, EntryValue> changes;  // what to write: the entries that change
    std::vector<std::string> kept;  // entries the person changed since: left as they are
    bool guessed = false;           // an entry whose written value was not known was put back
};
// Each change whose entry holds what the pass wrote gets its earlier value back; one that still
// holds the earlier value stays; any other keeps what is there now and is listed as kept (once;
// older changes of a kept entry are passed over).
UndoneEntries UndoEntryChanges(const Entries& current,
                               const std::vector<const std::vector<EntryChange>*>& newestFirst);

}  // namespace quillet
