#include "app/restore/RestorePointEntries.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <set>

#include "app/clients/PrefsFile.h"
#include "app/clients/linux/KConfigFile.h"
#include "app/clients/sync/JsonShapes.h"
#include "app/clients/sync/MozillaSync.h"
#include "app/clients/sync/PostboxSync.h"
#include "app/clients/sync/ReplacedSettings.h"
#include "platform/Plist.h"

namespace quillet {

namespace {

using Json = nlohmann::ordered_json;

const std::string kWhole;
// Mail's lists of signatures name each signature by it.
const QString kElementKey = QStringLiteral("SignatureUniqueId");
const std::string kMemberStep = "m";
const std::string kKeyStep = "k";
const std::string kElementStep = "id";

// Never throws: a text that is not UTF-8 (which none of these should hold) is written replaced.
std::string Dump(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Utf8(const QString& text) {
    return text.toStdString();
}

QByteArray Bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

Json ParseJson(const QByteArray& bytes) {
    return Json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
}

// A JSON value compared by content: its members in key order, however the writer ordered them.
QByteArray CanonicalJson(const Json& json) {
    const std::string text = Dump(json);
    const auto canonical = nlohmann::json::parse(text, nullptr, false);
    return Bytes(canonical.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

// --- prefs.js: preferences by key, their raw values as written.

// The entries of a file's lines, of every key or only of the given ones. Mozilla's parser takes
// the last line of a key.
Entries PrefsEntriesOf(const QStringList& lines, const std::set<QString>* only = nullptr) {
    Entries entries;
    for (const QString& line : lines) {
        const auto parsed = ParsePrefsLine(line);
        if (parsed && (!only || only->contains(parsed->key)))
            entries[Utf8(parsed->key)] = parsed->rawValue.toUtf8();
    }
    return entries;
}

std::optional<Entries> PrefsEntries(const EntryValue& contents) {
    if (!contents)
        return Entries();
    const auto lines = SplitPrefsFileText(*contents);
    if (!lines)
        return std::nullopt;
    return PrefsEntriesOf(*lines);
}

// A pass changes a few lines of a profile's thousands: a key whose lines all lie among the lines
// both files begin and end with holds the same value in both, so only the keys on the lines in
// between are read into entries and compared.
std::optional<std::vector<EntryChange>> ChangedPrefsEntries(const EntryValue& before,
                                                            const EntryValue& after) {
    const auto was = before ? SplitPrefsFileText(*before) : QStringList();
    const auto is = after ? SplitPrefsFileText(*after) : QStringList();
    if (!was || !is)
        return std::nullopt;
    const qsizetype shorter = std::min(was->size(), is->size());
    qsizetype first = 0;
    while (first < shorter && (*was)[first] == (*is)[first])
        ++first;
    qsizetype last = 0;  // lines both end with, after the first ones
    while (last < shorter - first && (*was)[was->size() - 1 - last] == (*is)[is->size() - 1 - last])
        ++last;
    std::set<QString> keys;
    for (const QStringList* lines : {&*was, &*is}) {
        for (qsizetype i = first; i < lines->size() - last; ++i) {
            if (const auto parsed = ParsePrefsLine((*lines)[i]))
                keys.insert(parsed->key);
        }
    }
    if (keys.empty())
        return std::vector<EntryChange>();
    return ChangedEntries(PrefsEntriesOf(*was, &keys), PrefsEntriesOf(*is, &keys));
}

std::optional<EntryValue> WritePrefs(const EntryValue& contents,
                                     const std::map<std::string, EntryValue>& changes) {
    const auto lines = contents ? SplitPrefsFileText(*contents) : QStringList();
    if (!lines)
        return std::nullopt;
    PrefsEdits edits;
    for (const auto& [key, value] : changes) {
        const QString name = QString::fromStdString(key);
        if (value) {
            // A preference that comes back goes among its identity's (or group's) lines.
            edits.settings.push_back(PrefsLineSetting{name, QString::fromUtf8(*value),
                                                      name.left(name.lastIndexOf('.') + 1)});
        } else {
            edits.removedKeys.insert(name);
        }
    }
    return PrefsFileContents(edits.appliedTo(*lines));
}

// --- Property lists: members by their path.

struct Step {
    std::string tag;
    QString text;
};
using PlistPath = std::vector<Step>;

std::string PathKey(const PlistPath& path) {
    Json steps = Json::array();
    for (const Step& step : path)
        steps.push_back(Json::array({step.tag, Utf8(step.text)}));
    return Dump(steps);
}

std::optional<PlistPath> ParsePathKey(const std::string& key) {
    const Json steps = ParseJson(Bytes(key));
    if (!steps.is_array())
        return std::nullopt;
    PlistPath path;
    for (const Json& step : steps) {
        if (!step.is_array() || step.size() != 2 || !step[0].is_string() || !step[1].is_string())
            return std::nullopt;
        const std::string tag = step[0].get<std::string>();
        if (tag != kKeyStep && tag != kElementStep && tag != kMemberStep)
            return std::nullopt;
        path.push_back(Step{tag, QString::fromStdString(step[1].get<std::string>())});
    }
    return path;
}

QByteArray NodeXml(const PlistNode& node) {
    return Plist::copyOf(node).toXml();
}

std::optional<QString> ElementId(const PlistNode& element) {
    return element.isDictionary() ? element.dictionaryString(kElementKey) : std::nullopt;
}

enum class ArrayShape { elements, texts, whole };

// A list holding signatures (Mail's) is known by them, whatever else it holds; a list of texts
// by its texts; any other list is one value.
ArrayShape ShapeOf(const PlistNode& array) {
    bool texts = array.size() > 0;
    for (int index = 0; index < array.size(); ++index) {
        const PlistNode element = *array.at(index);
        if (ElementId(element))
            return ArrayShape::elements;
        texts = texts && element.isString();
    }
    return texts ? ArrayShape::texts : ArrayShape::whole;
}

bool IsEmptyContainer(const PlistNode& node) {
    return (node.isDictionary() && node.keys().isEmpty()) || (node.isArray() && node.size() == 0);
}

void Flatten(const PlistNode& node, PlistPath& path, Entries& entries) {
    const bool root = path.empty();
    if (node.isDictionary() && (root || !IsEmptyContainer(node))) {
        for (const QString& key : node.keys()) {
            path.push_back(Step{kKeyStep, key});
            Flatten(*node.get(key), path, entries);
            path.pop_back();
        }
        return;
    }
    if (node.isArray()) {
        const ArrayShape shape = ShapeOf(node);
        if (shape != ArrayShape::whole) {
            for (int index = 0; index < node.size(); ++index) {
                const PlistNode element = *node.at(index);
                if (shape == ArrayShape::elements) {
                    const auto id = ElementId(element);
                    if (!id)
                        continue;  // not a signature: left as it is
                    path.push_back(Step{kElementStep, *id});
                    entries[PathKey(path)] = NodeXml(element);
                } else {
                    path.push_back(Step{kMemberStep, *element.asString()});
                    entries[PathKey(path)] = "1";
                }
                path.pop_back();
            }
            return;
        }
        if (root && node.size() == 0)
            return;
    }
    // A value, an empty container (which comes back as it was), or a list of another shape.
    entries[PathKey(path)] = NodeXml(node);
}

std::optional<Entries> PlistEntries(const EntryValue& contents) {
    Entries entries;
    if (!contents)
        return entries;
    const auto plist = Plist::parse(*contents);
    if (!plist)
        return std::nullopt;
    PlistPath path;
    Flatten(plist->node(), path, entries);
    return entries;
}

// The index of the step's element in an array; -1 when there is none.
int IndexOf(const PlistNode& array, const Step& step) {
    for (int index = 0; array.isArray() && index < array.size(); ++index) {
        const PlistNode element = *array.at(index);
        if (step.tag == kElementStep ? ElementId(element) == step.text
                                     : element.asString() == step.text)
            return index;
    }
    return -1;
}

std::optional<PlistNode> ChildAt(const PlistNode& parent, const Step& step) {
    if (step.tag == kKeyStep)
        return parent.get(step.text);
    const int index = IndexOf(parent, step);
    return index < 0 ? std::nullopt : parent.at(index);
}

void RemoveChild(PlistNode parent, const Step& step) {
    if (step.tag == kKeyStep)
        parent.remove(step.text);
    else
        parent.removeAt(IndexOf(parent, step));
}

// The containers on the way that the removal emptied go with it: they were made for what was
// removed (an empty container that was there before is an entry of its own, and comes back).
void RemoveAt(const PlistNode& root, const PlistPath& path) {
    if (path.empty())
        return;
    std::vector<PlistNode> nodes{root};
    for (std::size_t index = 0; index + 1 < path.size(); ++index) {
        const auto child = ChildAt(nodes.back(), path[index]);
        if (!child)
            return;
        nodes.push_back(*child);
    }
    RemoveChild(nodes.back(), path.back());
    for (std::size_t index = nodes.size() - 1; index > 0 && IsEmptyContainer(nodes[index]);
         --index) {
        RemoveChild(nodes[index - 1], path[index - 1]);
    }
}

bool SameContainerType(const PlistNode& a, const PlistNode& b) {
    return (a.isDictionary() && b.isDictionary()) || (a.isArray() && b.isArray());
}

bool SetAt(const PlistNode& root, const PlistPath& path, const QByteArray& value) {
    if (path.empty())
        return false;
    PlistNode node = root;
    for (std::size_t index = 0; index + 1 < path.size(); ++index) {
        const Step& step = path[index];
        auto child = ChildAt(node, step);
        if (!child) {
            if (step.tag != kKeyStep || !node.isDictionary())
                return false;
            const bool list = path[index + 1].tag != kKeyStep;
            node.set(step.text, list ? Plist::array() : Plist::dictionary());
            child = node.get(step.text);
        }
        node = *child;
    }
    const Step& last = path.back();
    if (last.tag == kMemberStep) {
        if (!node.isArray())
            return false;
        if (IndexOf(node, last) < 0)
            node.append(Plist::string(last.text));
        return true;
    }
    auto parsed = Plist::parse(value);
    if (!parsed)
        return false;
    const auto existing = ChildAt(node, last);
    // A container that is there stays with what it holds now.
    if (existing && IsEmptyContainer(parsed->node()) &&
        SameContainerType(*existing, parsed->node()))
        return true;
    if (last.tag == kKeyStep) {
        if (!node.isDictionary())
            return false;
        node.set(last.text, std::move(*parsed));
        return true;
    }
    if (!node.isArray())
        return false;
    const int index = IndexOf(node, last);
    if (index < 0)
        node.append(std::move(*parsed));
    else
        node.replaceAt(index, std::move(*parsed));
    return true;
}

std::optional<EntryValue> WritePlist(const EntryValue& contents,
                                     const std::map<std::string, EntryValue>& changes) {
    std::map<std::string, std::pair<PlistPath, EntryValue>> parsed;
    bool listRoot = false;
    for (const auto& [key, value] : changes) {
        auto path = ParsePathKey(key);
        if (!path || path->empty())
            return std::nullopt;
        listRoot = path->front().tag != kKeyStep;
        parsed[key] = {std::move(*path), value};
    }
    std::optional<Plist> plist;
    if (contents) {
        plist = Plist::parse(*contents).take();
        if (!plist)
            return std::nullopt;
    } else {
        plist = listRoot ? Plist::array() : Plist::dictionary();
    }
    // Removals first, so that a container they empty is taken away before one is put back.
    for (const auto& [key, change] : parsed) {
        if (!change.second)
            RemoveAt(plist->node(), change.first);
    }
    for (const auto& [key, change] : parsed) {
        if (change.second && !SetAt(plist->node(), change.first, *change.second))
            return std::nullopt;
    }
    const bool binary = contents && IsBinaryPlistData(*contents);
    QByteArray bytes = binary ? plist->toBinary() : plist->toXml();
    if (bytes.isEmpty())
        return std::nullopt;
    return EntryValue(std::move(bytes));
}

// --- Postbox's signatures list: entries by their key.

std::optional<QString> PostboxEntryKey(const Json& entry) {
    const auto key = entry.find("key");
    if (key == entry.end() || !key->is_string())
        return std::nullopt;
    return QString::fromStdString(key->get<std::string>());
}

std::optional<Entries> PostboxEntries(const EntryValue& contents) {
    Entries entries;
    if (!contents)
        return entries;
    const auto list = ParsePostboxSignatureList(*contents);
    if (!list)
        return std::nullopt;
    for (const Json& entry : *list) {
        if (const auto key = PostboxEntryKey(entry); key && !entries.count(Utf8(*key)))
            entries[Utf8(*key)] = CanonicalJson(entry);
    }
    return entries;
}

std::optional<EntryValue> WritePostbox(const EntryValue& contents,
                                       const std::map<std::string, EntryValue>& changes) {
    auto list = contents ? ParsePostboxSignatureList(*contents) : Json::array();
    if (!list)
        return std::nullopt;
    for (const auto& [key, value] : changes) {
        const auto found = std::find_if(list->begin(), list->end(), [&](const Json& entry) {
            return PostboxEntryKey(entry) == QString::fromStdString(key);
        });
        if (!value) {
            if (found != list->end())
                list->erase(found);
            continue;
        }
        Json entry = ParseJson(*value);
        if (!entry.is_object() || !IsObjectOfTexts(entry))
            return std::nullopt;
        if (found != list->end())
            *found = std::move(entry);
        else
            list->push_back(std::move(entry));
    }
    return EntryValue(Bytes(Dump(*list)));
}

// --- The person's replaced settings: each place (client, storage, account) whole.

std::optional<Entries> ReplacedSettingsEntries(const EntryValue& contents) {
    if (!contents)
        return Entries();
    const auto places = ReplacedSettingsPlaces(*contents);
    if (!places)
        return std::nullopt;
    return Entries(places->begin(), places->end());
}

// --- A row value: a JSON list or object of texts by its members, any other value whole.

std::string MemberKey(const std::string& step, const std::string& text) {
    return Dump(Json::array({step, text}));
}

std::optional<std::pair<std::string, std::string>> ParseMemberKey(const std::string& key) {
    const Json member = ParseJson(Bytes(key));
    if (!member.is_array() || member.size() != 2 || !member[0].is_string() ||
        !member[1].is_string())
        return std::nullopt;
    return std::pair{member[0].get<std::string>(), member[1].get<std::string>()};
}

Entries WholeEntries(const EntryValue& contents) {
    Entries entries;
    if (contents)
        entries[kWhole] = *contents;
    return entries;
}

Entries RowValueEntries(const EntryValue& contents) {
    if (!contents)
        return {};
    const Json value = ParseJson(*contents);
    Entries entries;
    if (IsArrayOfTexts(value)) {
        for (const Json& text : value)
            entries[MemberKey(kMemberStep, text.get<std::string>())] = "1";
    } else if (IsObjectOfTexts(value)) {
        for (const auto& [key, text] : value.items())
            entries[MemberKey(kKeyStep, key)] = Bytes(text.get<std::string>());
    } else if (!value.is_discarded()) {
        entries[kWhole] = CanonicalJson(value);
    } else {
        entries = WholeEntries(contents);
    }
    return entries;
}

std::optional<EntryValue> WriteRowValue(const EntryValue& contents,
                                        const std::map<std::string, EntryValue>& changes) {
    Json value = contents ? ParseJson(*contents) : Json();
    // A value that changes shape (a whole value for members, or members for it): a whole value
    // that comes back is all of it; members that come back start from nothing.
    if (const auto whole = changes.find(kWhole); whole != changes.end()) {
        if (whole->second || changes.size() == 1)
            return whole->second;
        value = Json();
    }
    for (const auto& [key, change] : changes) {
        if (key == kWhole)
            continue;
        const auto member = ParseMemberKey(key);
        if (!member)
            return std::nullopt;
        const auto& [step, text] = *member;
        if (value.is_null())
            value = step == kMemberStep ? Json::array() : Json::object();
        if (step == kMemberStep && IsArrayOfTexts(value)) {
            const auto found = std::find(value.begin(), value.end(), Json(text));
            if (!change && found != value.end())
                value.erase(found);
            else if (change && found == value.end())
                value.push_back(text);
        } else if (step == kKeyStep && IsObjectOfTexts(value)) {
            if (change)
                value[text] = change->toStdString();
            else
                value.erase(text);
        } else {
            return std::nullopt;
        }
    }
    return EntryValue(Bytes(Dump(value)));
}

// --- KMail's identities: the unescaped values by identity and key, "PLACE\x1fKEY". KMail
// numbers its "[Identity #N]" groups afresh whenever it writes the file, so a group that names
// its identity ("uoid") is placed by it ("uoid NUMBER"), any other by its name.

const char kGroupKeySeparator = '\x1f';
const QString kIdentityKey = QStringLiteral("uoid");
const QString kIdentityPlace = QStringLiteral("uoid ");

QString GroupPlace(const KConfigFile& file, const QString& group) {
    const auto identity = file.value(group, kIdentityKey);
    return identity ? kIdentityPlace + *identity : group;
}

// The group at the place now; absent when its identity is gone.
std::optional<QString> GroupAt(const KConfigFile& file, const QString& place) {
    for (const QString& group : file.groups()) {
        if (GroupPlace(file, group) == place)
            return group;
    }
    if (place.startsWith(kIdentityPlace))
        return std::nullopt;
    return place;
}

std::string GroupKey(const QString& group, const QString& key) {
    return Utf8(group) + kGroupKeySeparator + Utf8(key);
}

std::pair<QString, QString> SplitGroupKey(const std::string& entry) {
    const auto at = entry.find(kGroupKeySeparator);
    return {QString::fromStdString(entry.substr(0, at)),
            at == std::string::npos ? QString() : QString::fromStdString(entry.substr(at + 1))};
}

std::optional<Entries> KConfigEntries(const EntryValue& contents) {
    Entries entries;
    if (!contents)
        return entries;
    const KConfigFile file(*contents);
    for (const QString& group : file.groups()) {
        const QString place = GroupPlace(file, group);
        for (const QString& key : file.keys(group))
            entries[GroupKey(place, key)] = file.value(group, key).value_or(QString()).toUtf8();
    }
    return entries;
}

std::optional<EntryValue> WriteKConfig(const EntryValue& contents,
                                       const std::map<std::string, EntryValue>& changes) {
    KConfigFile file(contents.value_or(QByteArray()));
    for (const auto& [entry, value] : changes) {
        const auto [place, key] = SplitGroupKey(entry);
        // A value of an identity the person has removed since stays removed with it.
        const auto group = GroupAt(file, place);
        if (!group)
            continue;
        if (value)
            file.setValue(*group, key, QString::fromUtf8(*value));
        else
            file.removeKey(*group, key);
    }
    return EntryValue(file.contents());
}

QString StepsText(const std::string& key) {
    const auto path = ParsePathKey(key);
    QStringList texts;
    for (const Step& step : path.value_or(PlistPath()))
        texts << step.text;
    return texts.join(" › ");
}

}  // namespace

KeptUnit::Kind FileUnitKind(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    if (name == QStringLiteral("prefs.js"))
        return KeptUnit::Kind::prefsFile;
    if (name == kPostboxSignaturesFileName)
        return KeptUnit::Kind::postboxList;
    if (name == kReplacedSettingsFileName)
        return KeptUnit::Kind::replacedSettings;
    if (name == QStringLiteral("emailidentities"))
        return KeptUnit::Kind::kconfigFile;
    if (name.endsWith(QStringLiteral(".plist")))
        return KeptUnit::Kind::propertyList;
    return KeptUnit::Kind::wholeFile;
}

std::optional<Entries> ReadEntries(KeptUnit::Kind kind, const EntryValue& contents) {
    switch (kind) {
        case KeptUnit::Kind::prefsFile:
            return PrefsEntries(contents);
        case KeptUnit::Kind::propertyList:
            return PlistEntries(contents);
        case KeptUnit::Kind::postboxList:
            return PostboxEntries(contents);
        case KeptUnit::Kind::replacedSettings:
            return ReplacedSettingsEntries(contents);
        case KeptUnit::Kind::kconfigFile:
            return KConfigEntries(contents);
        case KeptUnit::Kind::databaseRows:
            return RowValueEntries(contents);
        case KeptUnit::Kind::wholeFile:
        case KeptUnit::Kind::outlookSignature:
        case KeptUnit::Kind::outlookDefaults:
            break;
    }
    return WholeEntries(contents);
}

std::optional<EntryValue> WriteEntries(KeptUnit::Kind kind, const EntryValue& contents,
                                       const std::map<std::string, EntryValue>& changes) {
    switch (kind) {
        case KeptUnit::Kind::prefsFile:
            return WritePrefs(contents, changes);
        case KeptUnit::Kind::propertyList:
            return WritePlist(contents, changes);
        case KeptUnit::Kind::postboxList:
            return WritePostbox(contents, changes);
        case KeptUnit::Kind::replacedSettings: {
            auto written = WithReplacedSettingsPlaces(contents, changes);
            return written ? std::optional(EntryValue(std::move(*written))) : std::nullopt;
        }
        case KeptUnit::Kind::kconfigFile:
            return WriteKConfig(contents, changes);
        case KeptUnit::Kind::databaseRows:
            return WriteRowValue(contents, changes);
        case KeptUnit::Kind::wholeFile:
        case KeptUnit::Kind::outlookSignature:
        case KeptUnit::Kind::outlookDefaults:
            break;
    }
    const auto whole = changes.find(kWhole);
    if (whole == changes.end() || changes.size() != 1)
        return std::nullopt;
    return whole->second;
}

std::optional<std::vector<EntryChange>> ChangedEntries(KeptUnit::Kind kind,
                                                       const EntryValue& before,
                                                       const EntryValue& after) {
    if (kind == KeptUnit::Kind::prefsFile)
        return ChangedPrefsEntries(before, after);
    const auto was = ReadEntries(kind, before);
    const auto is = ReadEntries(kind, after);
    if (!was || !is)
        return std::nullopt;
    return ChangedEntries(*was, *is);
}

std::vector<EntryChange> ChangedEntries(const Entries& before, const Entries& after) {
    std::set<std::string> keys;
    for (const auto& entry : before)
        keys.insert(entry.first);
    for (const auto& entry : after)
        keys.insert(entry.first);
    const auto valueOf = [](const Entries& entries, const std::string& key) -> EntryValue {
        const auto found = entries.find(key);
        return found == entries.end() ? EntryValue() : EntryValue(found->second);
    };
    std::vector<EntryChange> changes;
    for (const std::string& key : keys) {
        EntryValue was = valueOf(before, key);
        EntryValue is = valueOf(after, key);
        if (was != is)
            changes.push_back(EntryChange{key, std::move(was), std::move(is), true});
    }
    return changes;
}

QString DescribeEntry(const KeptUnit& unit, const std::string& key) {
    const QString text = QString::fromStdString(key);
    switch (unit.kind) {
        case KeptUnit::Kind::prefsFile:
            return "the preference " + text + " in " + unit.path;
        case KeptUnit::Kind::propertyList:
            return "the entry " + StepsText(key) + " in " + unit.path;
        case KeptUnit::Kind::postboxList:
            return "the signature entry \"" + text + "\" in " + unit.path;
        case KeptUnit::Kind::replacedSettings:
            return "the kept settings of " + QString(text).replace('\n', ' ') + " in " + unit.path;
        case KeptUnit::Kind::kconfigFile: {
            const auto [place, name] = SplitGroupKey(key);
            return "the setting " + name + " of " + place + " in " + unit.path;
        }
        case KeptUnit::Kind::wholeFile:
            return "the file " + unit.path;
        case KeptUnit::Kind::outlookSignature:
            return "the signature \"" + unit.name + "\"";
        case KeptUnit::Kind::outlookDefaults:
            return "the default signatures of \"" + unit.name + "\"";
        case KeptUnit::Kind::databaseRows:
            break;
    }
    QStringList rowKey;
    for (const auto& [column, value] : unit.key)
        rowKey << value;
    const QString row = "the row " + rowKey.join(" ") + " in " + unit.path;
    const auto member = ParseMemberKey(key);
    return member ? "the entry " + QString::fromStdString(member->second) + " of " + row : row;
}

UndoneEntries UndoEntryChanges(const Entries& current,
                               const std::vector<const std::vector<EntryChange>*>& newestFirst) {
    std::map<std::string, EntryValue> state;
    for (const auto& [key, value] : current)
        state[key] = value;
    const auto valueOf = [&state](const std::string& key) {
        const auto found = state.find(key);
        return found == state.end() ? EntryValue() : found->second;
    };
    UndoneEntries undone;
    std::set<std::string> kept;
    std::set<std::string> touched;
    for (const std::vector<EntryChange>* changes : newestFirst) {
        for (const EntryChange& change : *changes) {
            if (kept.count(change.key))
                continue;
            const EntryValue now = valueOf(change.key);
            const bool quillets = change.afterKnown ? now == change.after : now != change.before;
            if (quillets) {
                undone.guessed = undone.guessed || !change.afterKnown;
                state[change.key] = change.before;
                touched.insert(change.key);
            } else if (now != change.before) {
                kept.insert(change.key);
                undone.kept.push_back(change.key);
            }
        }
    }
    for (const std::string& key : touched) {
        const auto was = current.find(key);
        const EntryValue before = was == current.end() ? EntryValue() : EntryValue(was->second);
        if (valueOf(key) != before)
            undone.changes[key] = valueOf(key);
    }
    return undone;
}

}  // namespace quillet
