#include "app/restore/RestorePointStore.h"

#include <algorithm>
#include <utility>

namespace quillet {

namespace {

using Json = nlohmann::json;
// A record as its fields: "attribute:NAME", "selected:CLIENT:EMAIL", "performed:CLIENT:EMAIL".
using Fields = std::map<std::string, Json>;

const std::string kAttribute = "attribute:";
const std::string kSelected = "selected:";
const std::string kPerformed = "performed:";

const std::vector<std::pair<const char*, QString SignatureAttributes::*>> kTexts = {
    {"fileNameQE", &SignatureAttributes::fileNameQe},
    {"filePathQE", &SignatureAttributes::filePathQe},
    {"keyQE", &SignatureAttributes::keyQe},
    {"localTextQE", &SignatureAttributes::localTextQe},
    {"mainTextQE", &SignatureAttributes::mainTextQe},
    {"nameQE", &SignatureAttributes::nameQe},
    {"uuidString", &SignatureAttributes::uuidString},
    {"accountEmailQE", &SignatureAttributes::accountEmailQe},
    {"clientQE", &SignatureAttributes::clientQe},
};
const std::vector<std::pair<const char*, bool SignatureAttributes::*>> kFlags = {
    {"active", &SignatureAttributes::active},
    {"insertForRepliesForwards", &SignatureAttributes::insertForRepliesForwards},
    {"insertForForwards", &SignatureAttributes::insertForForwards},
    {"pendingDeletion", &SignatureAttributes::pendingDeletion},
};
const std::vector<std::pair<const char*, std::int64_t SignatureAttributes::*>> kNumbers = {
    {"colorIndex", &SignatureAttributes::colorIndex},
    {"lastUpdateUnixTimeQZ", &SignatureAttributes::lastUpdateUnixTimeQz},
};

std::string Utf8(const QString& text) {
    return text.toStdString();
}

std::string InstallationKey(const std::string& prefix, const QString& client,
                            const QString& email) {
    return prefix + Utf8(client) + ":" + Utf8(email);
}

Fields FieldsOf(const SignatureRecord& record) {
    Fields fields;
    const SignatureAttributes& a = record.attributes;
    for (const auto& [name, member] : kTexts)
        fields[kAttribute + name] = Utf8(a.*member);
    for (const auto& [name, member] : kFlags)
        fields[kAttribute + name] = a.*member;
    for (const auto& [name, member] : kNumbers)
        fields[kAttribute + name] = a.*member;
    for (const SelectedInstallationRecord& selected : record.selectedInstallations) {
        fields[InstallationKey(kSelected, selected.client, selected.accountEmailQe)] =
            Json{{"pendingReinstallation", selected.pendingReinstallation}};
    }
    for (const PerformedInstallationRecord& performed : record.performedInstallations) {
        fields[InstallationKey(kPerformed, performed.client, performed.accountEmailQe)] =
            Json{{"id", Utf8(performed.idStringQe)}, {"text", Utf8(performed.textQe)}};
    }
    return fields;
}

QString Text(const Json& json) {
    return QString::fromStdString(json.get<std::string>());
}

// Throws (caught by the caller) on a field of the wrong shape.
SignatureRecord RecordOf(const Fields& fields) {
    SignatureRecord record;
    SignatureAttributes& a = record.attributes;
    const auto attribute = [&fields](const char* name) -> const Json* {
        const auto found = fields.find(kAttribute + name);
        return found == fields.end() ? nullptr : &found->second;
    };
    for (const auto& [name, member] : kTexts) {
        if (const Json* value = attribute(name))
            a.*member = Text(*value);
    }
    for (const auto& [name, member] : kFlags) {
        if (const Json* value = attribute(name))
            a.*member = value->get<bool>();
    }
    for (const auto& [name, member] : kNumbers) {
        if (const Json* value = attribute(name))
            a.*member = value->get<std::int64_t>();
    }
    for (const auto& [key, value] : fields) {
        const bool selected = key.starts_with(kSelected);
        if (!selected && !key.starts_with(kPerformed))
            continue;
        const QString rest =
            QString::fromStdString(key.substr((selected ? kSelected : kPerformed).size()));
        const qsizetype colon = rest.indexOf(':');
        if (colon < 0)
            throw std::invalid_argument("installation key");
        const QString client = rest.left(colon);
        const QString email = rest.mid(colon + 1);
        if (selected) {
            record.selectedInstallations.push_back(SelectedInstallationRecord{
                client, email, value.at("pendingReinstallation").get<bool>()});
        } else {
            record.performedInstallations.push_back(PerformedInstallationRecord{
                client, email, Text(value.at("id")), Text(value.at("text"))});
        }
    }
    record.sortInstallations();
    return record;
}

bool InScope(const std::string& key, const StoreRestoreScope& scope) {
    if (scope.everything)
        return true;
    for (const std::string& prefix : {kSelected, kPerformed}) {
        if (!key.starts_with(prefix))
            continue;
        const QString rest = QString::fromStdString(key.substr(prefix.size()));
        const auto client = ClientKindFromStoredText(rest.left(rest.indexOf(':')));
        return client && scope.clients.count(*client) > 0;
    }
    return false;
}

std::set<std::pair<QString, QString>> SelectedKeys(const SignatureRecord& record) {
    std::set<std::pair<QString, QString>> keys;
    for (const SelectedInstallationRecord& selected : record.selectedInstallations)
        keys.emplace(selected.client, selected.accountEmailQe);
    return keys;
}

}  // namespace

void StoreChangeJournal::recordSaved(std::int64_t primaryKey,
                                     const std::optional<SignatureRecord>& before,
                                     const std::optional<SignatureRecord>& after) {
    const QString uuid = after    ? after->attributes.uuidString
                         : before ? before->attributes.uuidString
                                  : QString();
    if (uuid.isEmpty())
        return;
    const auto [found, added] = _indexByUuid.emplace(uuid, _records.size());
    if (added)
        _records.push_back(KeptStoreRecord{uuid, before, after, primaryKey});
    else
        _records[found->second].after = after;
}

std::vector<KeptStoreRecord> StoreChangeJournal::changes() const {
    std::vector<KeptStoreRecord> changed;
    std::copy_if(_records.begin(), _records.end(), std::back_inserter(changed),
                 [](const KeptStoreRecord& kept) { return kept.before != kept.after; });
    return changed;
}

void StoreChangeJournal::noteReinstallationAsked(const QString& uuid) {
    _reinstallationsAsked.insert(uuid);
}

bool StoreChangeJournal::reinstallationAsked(const std::set<QString>& uuids) const {
    return std::any_of(uuids.begin(), uuids.end(),
                       [this](const QString& uuid) { return _reinstallationsAsked.count(uuid); });
}

void StoreChangeJournal::clear() {
    _records.clear();
    _indexByUuid.clear();
    _reinstallationsAsked.clear();
}

Json StoreRecordJson(const std::optional<SignatureRecord>& record) {
    if (!record)
        return nullptr;
    Json json = Json::object();
    for (auto& [key, value] : FieldsOf(*record))
        json[key] = std::move(value);
    return json;
}

std::optional<std::optional<SignatureRecord>> StoreRecordFromJson(const Json& json) {
    if (json.is_null())
        return std::optional<SignatureRecord>();
    if (!json.is_object())
        return std::nullopt;
    try {
        Fields fields;
        for (const auto& [key, value] : json.items())
            fields[key] = value;
        return std::optional<SignatureRecord>(RecordOf(fields));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<SignatureRecord> UndoStoreRecordChange(const std::optional<SignatureRecord>& now,
                                                     const KeptStoreRecord& change, bool afterKnown,
                                                     const StoreRestoreScope& scope) {
    if (scope.everything) {
        if (!change.before)
            return std::nullopt;  // the command created it
        if (!now)
            return change.before;  // removed by the command, or since
    }
    if (!now)
        return std::nullopt;
    const Fields before = change.before ? FieldsOf(*change.before) : Fields();
    const Fields after = change.after ? FieldsOf(*change.after) : Fields();
    Fields fields = FieldsOf(*now);
    std::set<std::string> keys;
    for (const auto& entry : before)
        keys.insert(entry.first);
    for (const auto& entry : after)
        keys.insert(entry.first);
    for (const std::string& key : keys) {
        const auto was = before.find(key);
        const auto is = after.find(key);
        const bool same = was != before.end() && is != after.end() && was->second == is->second;
        if (!InScope(key, scope) || (afterKnown && same))
            continue;
        if (was == before.end())
            fields.erase(key);
        else
            fields[key] = was->second;
    }
    return RecordOf(fields);
}

bool ChangesInstallations(const KeptStoreRecord& change) {
    // A record marked for removal and installed nowhere any more is only cleared away (by
    // whichever process loads the store next): no change of what the clients hold.
    if (change.before && !change.after)
        return !change.before->attributes.pendingDeletion ||
               !change.before->performedInstallations.empty();
    if (!change.before || !change.after)
        return change.before.has_value() != change.after.has_value();
    // Where it is selected and what is installed; a pass's reinstallation marks are not, or every
    // pass that a running client or a failed write leaves pending would make a point.
    const auto installations = [](const SignatureRecord& record) {
        Fields fields = FieldsOf(record);
        std::erase_if(fields,
                      [](const auto& field) { return field.first.starts_with(kAttribute); });
        for (auto& [key, value] : fields) {
            if (key.starts_with(kSelected))
                value = nullptr;
        }
        return fields;
    };
    return installations(*change.before) != installations(*change.after);
}

QString InferChangeReason(const std::vector<KeptStoreRecord>& changes,
                          const std::set<QString>& passUuids, bool allManaged,
                          bool reinstallationAsked) {
    if (allManaged)
        return QStringLiteral("managed");
    bool installed = false, uninstalled = false, renamed = false, updated = reinstallationAsked;
    for (const KeptStoreRecord& change : changes) {
        if (!passUuids.count(change.uuid) || !change.after)
            continue;
        if (!change.before) {
            installed = true;
            continue;
        }
        const SignatureAttributes& was = change.before->attributes;
        const SignatureAttributes& is = change.after->attributes;
        const auto selectedBefore = SelectedKeys(*change.before);
        const auto selectedAfter = SelectedKeys(*change.after);
        installed = installed || !std::includes(selectedBefore.begin(), selectedBefore.end(),
                                                selectedAfter.begin(), selectedAfter.end());
        uninstalled = uninstalled || (is.pendingDeletion && !was.pendingDeletion) ||
                      !std::includes(selectedAfter.begin(), selectedAfter.end(),
                                     selectedBefore.begin(), selectedBefore.end());
        renamed = renamed || is.nameQe != was.nameQe;
        updated = updated || is.insertForRepliesForwards != was.insertForRepliesForwards ||
                  is.insertForForwards != was.insertForForwards ||
                  is.localTextQe != was.localTextQe || is.filePathQe != was.filePathQe;
    }
    return installed     ? QStringLiteral("install")
           : uninstalled ? QStringLiteral("uninstall")
           : renamed     ? QStringLiteral("rename")
           : updated     ? QStringLiteral("update")
                         : QStringLiteral("refresh");
}

}  // namespace quillet
