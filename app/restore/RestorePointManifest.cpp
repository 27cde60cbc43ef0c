#include "app/restore/RestorePointManifest.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>

#include "app/restore/RestorePointRows.h"
#include "app/restore/RestorePointStore.h"
#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "platform/FileRemoval.h"

namespace quillet {

namespace {

using Json = nlohmann::json;

constexpr int kFormat = 2;
const char* const kBase64 = "base64";

const std::map<KeptUnit::Kind, std::string> kKindNames = {
    {KeptUnit::Kind::prefsFile, "prefsFile"},
    {KeptUnit::Kind::propertyList, "propertyList"},
    {KeptUnit::Kind::postboxList, "postboxList"},
    {KeptUnit::Kind::replacedSettings, "replacedSettings"},
    {KeptUnit::Kind::kconfigFile, "kconfigFile"},
    {KeptUnit::Kind::wholeFile, "wholeFile"},
    {KeptUnit::Kind::databaseRows, "databaseRows"},
    {KeptUnit::Kind::outlookSignature, "outlookSignature"},
    {KeptUnit::Kind::outlookDefaults, "outlookDefaults"},
};

std::string Utf8(const QString& text) {
    return text.toStdString();
}

QString Text(const Json& json) {
    return QString::fromStdString(json.get<std::string>());
}

Json ValueJson(const EntryValue& value) {
    return value ? BytesJson(*value, kBase64) : Json(nullptr);
}

// Throws (caught by the readers) on a value of the wrong shape.
EntryValue ValueFromJson(const Json& json) {
    if (json.is_null())
        return std::nullopt;
    auto bytes = BytesFromJson(json, kBase64);
    if (!bytes)
        throw std::invalid_argument("value");
    return bytes;
}

ClientKind Client(const Json& json) {
    const auto kind = ClientKindFromStoredText(Text(json));
    if (!kind)
        throw std::invalid_argument("unknown client");
    return *kind;
}

KeptUnit::Kind KindFromJson(const Json& json) {
    const std::string name = json.get<std::string>();
    for (const auto& [kind, text] : kKindNames) {
        if (text == name)
            return kind;
    }
    throw std::invalid_argument("unknown kind");
}

Json UnitJson(const KeptUnit& unit) {
    Json key = Json::array();
    for (const auto& [column, value] : unit.key)
        key.push_back({Utf8(column), Utf8(value)});
    Json entries = Json::array();
    for (const EntryChange& change : unit.entries) {
        entries.push_back({{"key", BytesJson(QByteArray::fromStdString(change.key), kBase64)},
                           {"before", ValueJson(change.before)},
                           {"after", ValueJson(change.after)},
                           {"afterKnown", change.afterKnown}});
    }
    return Json{{"client", Utf8(StoredText(unit.client))},
                {"kind", kKindNames.at(unit.kind)},
                {"path", Utf8(unit.path)},
                {"existedBefore", unit.existedBefore},
                {"table", Utf8(unit.table)},
                {"key", key},
                {"rowsBefore", unit.rowsBefore},
                {"name", Utf8(unit.name)},
                {"nameShared", unit.nameShared},
                {"entries", entries}};
}

KeptUnit UnitFromJson(const Json& json) {
    KeptUnit unit{Client(json.at("client")), KindFromJson(json.at("kind"))};
    unit.path = Text(json.at("path"));
    unit.existedBefore = json.at("existedBefore").get<bool>();
    unit.table = Text(json.at("table"));
    for (const Json& pair : json.at("key"))
        unit.key.emplace_back(Text(pair.at(0)), Text(pair.at(1)));
    unit.rowsBefore = json.at("rowsBefore");
    if (!unit.rowsBefore.is_array())
        throw std::invalid_argument("rows");
    unit.name = Text(json.at("name"));
    // Points kept before this was recorded say nothing of it.
    unit.nameShared = json.value("nameShared", false);
    for (const Json& entry : json.at("entries")) {
        const auto key = BytesFromJson(entry.at("key"), kBase64);
        if (!key)
            throw std::invalid_argument("key");
        unit.entries.push_back(EntryChange{key->toStdString(), ValueFromJson(entry.at("before")),
                                           ValueFromJson(entry.at("after")),
                                           entry.at("afterKnown").get<bool>()});
    }
    return unit;
}

// Where an unfinished point's manifest holds the store's record: one file less to synchronise
// before the pass's first change.
const char* const kStoreInManifest = "keptStore";

Json StoreJson(const std::vector<KeptStoreRecord>& records, bool complete) {
    Json list = Json::array();
    for (const KeptStoreRecord& record : records) {
        list.push_back({{"uuid", Utf8(record.uuid)},
                        {"before", StoreRecordJson(record.before)},
                        {"after", StoreRecordJson(record.after)},
                        {"key", record.primaryKey}});
    }
    return Json{{"complete", complete}, {"records", list}};
}

std::optional<Json> ReadJson(const QString& path, QByteArray* bytes = nullptr) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray read = file.readAll();
    if (bytes)
        *bytes = read;
    Json json = Json::parse(read.constBegin(), read.constEnd(), nullptr, false);
    if (json.is_discarded())
        return std::nullopt;
    return json;
}

QString Digest(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// The JSON's text; never throws (a text that is not UTF-8 cannot be in it: bytes are base64).
std::optional<QByteArray> Serialised(const Json& json, int indent) {
    try {
        return QByteArray::fromStdString(
            json.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n");
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::variant<KeptFileDigest, QString> WriteJson(const QString& folder, const QString& file,
                                                const Json& json,
                                                Durability durability = Durability::powerLoss) {
    const auto bytes = Serialised(json, -1);
    if (!bytes)
        return "cannot write " + file;
    // What a point keeps of the clients' files and of the store: its owner's alone.
    if (const auto failure = WriteFileAtomicallyOrFail(folder + "/" + file, *bytes,
                                                       FileAccess::ownerOnly(), durability))
        return failure->description;
    return KeptFileDigest{file, Digest(*bytes)};
}

}  // namespace

void SummariseRestorePoint(RestorePoint& point) {
    point.clients.clear();
    point.files.clear();
    for (const KeptUnit& unit : point.units) {
        if (std::find(point.clients.begin(), point.clients.end(), unit.client) ==
            point.clients.end())
            point.clients.push_back(unit.client);
        // The files the person knows: their clients', not Quillet's memory of their settings.
        if (unit.isFile() && unit.kind != KeptUnit::Kind::replacedSettings &&
            !point.files.contains(unit.path))
            point.files << unit.path;
    }
    std::sort(point.clients.begin(), point.clients.end());
}

bool RemoveRestorePointFolder(const QString& path) {
    return !RemoveWithoutFollowingLinks(path);
}

namespace {

// Throws (caught by the readers) on any member of the wrong shape.
RestorePoint HeaderFromJson(const Json& json, const QString& folder) {
    if (json.at("format").get<int>() != kFormat)
        throw std::invalid_argument("format");
    RestorePoint point;
    point.folder = folder;
    point.id = Text(json.at("id"));
    point.time = QDateTime::fromString(Text(json.at("time")), Qt::ISODateWithMs);
    if (!point.time.isValid())
        throw std::invalid_argument("bad time");
    point.time = point.time.toUTC();
    point.reason = Text(json.at("reason"));
    point.complete = json.at("complete").get<bool>();
    for (const Json& client : json.at("clients"))
        point.clients.push_back(Client(client));
    for (const Json& file : json.at("files"))
        point.files << Text(file);
    return point;
}

// Where earlier versions kept a point's records: in a folder of their own, which cost each
// point another folder to make and to synchronise.
QString EarlierKeptUnitFileName(std::size_t number) {
    return QStringLiteral("units/%1.json").arg(number);
}

// The units of an unfinished point: those written before it stopped, in order.
std::vector<KeptUnit> UnitsThere(const QString& folder) {
    std::vector<KeptUnit> units;
    for (std::size_t number = 1;; ++number) {
        auto json = ReadJson(folder + "/" + KeptUnitFileName(number));
        if (!json)
            json = ReadJson(folder + "/" + EarlierKeptUnitFileName(number));
        if (!json)
            break;
        try {
            units.push_back(UnitFromJson(*json));
        } catch (const std::exception&) {
            break;
        }
    }
    return units;
}

std::vector<KeptStoreRecord> StoreFromJson(const Json& json, bool* complete) {
    *complete = json.at("complete").get<bool>();
    std::vector<KeptStoreRecord> records;
    for (const Json& record : json.at("records")) {
        const auto before = StoreRecordFromJson(record.at("before"));
        const auto after = StoreRecordFromJson(record.at("after"));
        if (!before || !after)
            throw std::invalid_argument("record");
        const auto key = record.find("key");
        records.push_back(KeptStoreRecord{
            Text(record.at("uuid")), *before, *after,
            key != record.end() && key->is_number_integer() ? key->get<std::int64_t>() : 0});
    }
    return records;
}

// A record as the manifest lists it: read and checked against its digest.
std::optional<Json> ReadListedFile(const QString& folder, const Json& listed) {
    const QString file = Text(listed.at("file"));
    if (file.contains(QStringLiteral("..")))
        return std::nullopt;
    QByteArray bytes;
    auto json = ReadJson(folder + "/" + file, &bytes);
    if (!json || Digest(bytes) != Text(listed.at("sha256")))
        return std::nullopt;
    return json;
}

}  // namespace

QString KeptUnitFileName(std::size_t number) {
    return QStringLiteral("unit-%1.json").arg(number);
}

std::optional<RestorePoint> ReadRestorePointSummary(const QString& folder) {
    const auto json = ReadJson(folder + "/" + kRestorePointManifestFileName);
    if (!json)
        return std::nullopt;
    try {
        RestorePoint point = HeaderFromJson(*json, folder);
        if (!point.complete) {
            point.units = UnitsThere(folder);
            SummariseRestorePoint(point);
            point.units.clear();
        }
        return point;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::variant<RestorePoint, QString> ReadWholeRestorePoint(const QString& folder) {
    const auto json = ReadJson(folder + "/" + kRestorePointManifestFileName);
    if (!json)
        return QStringLiteral("its manifest cannot be read");
    try {
        RestorePoint point = HeaderFromJson(*json, folder);
        bool storeComplete = false;
        if (!point.complete) {
            point.units = UnitsThere(folder);
            SummariseRestorePoint(point);
            // The record a pass that was finishing wrote is newer than the one its manifest
            // holds (which earlier versions kept in the record's file from the start).
            if (const auto store = ReadJson(folder + "/" + kKeptStoreFileName))
                point.store = StoreFromJson(*store, &storeComplete);
            else if (const auto inManifest = json->find(kStoreInManifest);
                     inManifest != json->end())
                point.store = StoreFromJson(*inManifest, &storeComplete);
            return point;
        }
        for (const Json& listed : json->at("units")) {
            const auto unit = ReadListedFile(folder, listed);
            if (!unit)
                return "its record " + Text(listed.at("file")) + " is missing or not as kept";
            point.units.push_back(UnitFromJson(*unit));
        }
        if (!json->at("store").is_null()) {
            const auto store = ReadListedFile(folder, json->at("store"));
            if (!store)
                return "its record of the signatures is missing or not as kept";
            point.store = StoreFromJson(*store, &storeComplete);
        }
        return point;
    } catch (const std::exception&) {
        return QStringLiteral("its records cannot be read");
    }
}

std::variant<KeptFileDigest, QString> WriteKeptUnit(const QString& folder, const QString& file,
                                                    const KeptUnit& unit, Durability durability) {
    return WriteJson(folder, file, UnitJson(unit), durability);
}

std::variant<KeptFileDigest, QString> WriteKeptStore(const QString& folder,
                                                     const std::vector<KeptStoreRecord>& records,
                                                     bool complete, Durability durability) {
    return WriteJson(folder, kKeptStoreFileName, StoreJson(records, complete), durability);
}

namespace {

std::optional<QString> WriteManifestJson(const RestorePoint& point, const Json& json,
                                         Durability durability) {
    const auto bytes = Serialised(json, 2);
    if (!bytes)
        return QStringLiteral("cannot write the manifest");
    if (const auto failure =
            WriteFileAtomicallyOrFail(point.folder + "/" + kRestorePointManifestFileName, *bytes,
                                      FileAccess::ownerOnly(), durability))
        return failure->description;
    return std::nullopt;
}

Json ManifestJson(const RestorePoint& point, const std::vector<KeptFileDigest>& units,
                  const std::optional<KeptFileDigest>& store) {
    Json clients = Json::array();
    Json files = Json::array();
    Json listed = Json::array();
    if (point.complete) {
        for (ClientKind kind : point.clients)
            clients.push_back(Utf8(StoredText(kind)));
        for (const QString& file : point.files)
            files.push_back(Utf8(file));
        for (const KeptFileDigest& unit : units)
            listed.push_back({{"file", Utf8(unit.file)}, {"sha256", Utf8(unit.sha256)}});
    }
    const Json storeJson = point.complete && store
                               ? Json{{"file", Utf8(store->file)}, {"sha256", Utf8(store->sha256)}}
                               : Json(nullptr);
    return Json{{"format", kFormat},
                {"id", Utf8(point.id)},
                {"time", Utf8(point.time.toUTC().toString(Qt::ISODateWithMs))},
                {"reason", Utf8(point.reason)},
                {"complete", point.complete},
                {"clients", clients},
                {"files", files},
                {"units", listed},
                {"store", storeJson}};
}

}  // namespace

std::optional<QString> WriteRestorePointManifest(const RestorePoint& point,
                                                 const std::vector<KeptFileDigest>& units,
                                                 const std::optional<KeptFileDigest>& store,
                                                 Durability durability) {
    return WriteManifestJson(point, ManifestJson(point, units, store), durability);
}

std::optional<QString> WriteUnfinishedRestorePointManifest(
    const RestorePoint& point, const std::vector<KeptStoreRecord>& store, Durability durability) {
    Json json = ManifestJson(point, {}, std::nullopt);
    json[kStoreInManifest] = StoreJson(store, false);
    return WriteManifestJson(point, json, durability);
}

}  // namespace quillet
