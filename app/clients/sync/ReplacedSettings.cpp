#include "app/clients/sync/ReplacedSettings.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <nlohmann/json.hpp>

#include "app/clients/sync/ClientWrites.h"
#include "common/Log.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/WholeFile.h"

namespace quillet {

namespace {

using Json = nlohmann::ordered_json;

// The file: an array of places, each
//   { "client": stored client text, "storage": path, "account": email,
//     "settings": { name: value or null } }

std::string Utf8(const QString& text) {
    return text.toStdString();
}

std::optional<QString> TextMember(const Json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_string())
        return std::nullopt;
    return QString::fromStdString(found->get<std::string>());
}

// The places in the file; an empty array when it is missing, absent when it cannot be read or
// is not such an array.
// What the file keeps: nothing when it is missing; an empty list, marked damaged, when what it
// holds is not a list.
struct KeptPlaces {
    Json places = Json::array();
    bool readable = true;
    bool damaged = false;
};

KeptPlaces ReadPlaces(const QString& path) {
    KeptPlaces kept;
    if (!QFileInfo::exists(path))
        return kept;
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    if (!bytes) {
        kept.readable = false;
        return kept;
    }
    Json places = Json::parse(bytes->constBegin(), bytes->constEnd(), nullptr, false);
    if (places.is_discarded() || !places.is_array())
        kept.damaged = true;
    else
        kept.places = std::move(places);
    return kept;
}

bool IsPlaceOf(const Json& place, ClientKind client, const QString& storage) {
    return place.is_object() && TextMember(place, "client") == StoredText(client) &&
           TextMember(place, "storage") == storage && TextMember(place, "account");
}

std::optional<ClientSettings> SettingsOf(const Json& place) {
    const auto settings = place.find("settings");
    if (settings == place.end() || !settings->is_object())
        return std::nullopt;
    ClientSettings result;
    for (const auto& [name, value] : settings->items()) {
        if (value.is_string())
            result[QString::fromStdString(name)] = QString::fromStdString(value.get<std::string>());
        else if (value.is_null())
            result[QString::fromStdString(name)] = std::nullopt;
        else
            return std::nullopt;
    }
    return result;
}

Json PlaceJson(ClientKind client, const QString& storage, const QString& account,
               const ClientSettings& settings) {
    Json values = Json::object();
    for (const auto& [name, value] : settings)
        values[Utf8(name)] = value ? Json(Utf8(*value)) : Json(nullptr);
    return Json{{"client", Utf8(StoredText(client))},
                {"storage", Utf8(storage)},
                {"account", Utf8(account)},
                {"settings", std::move(values)}};
}

// A place's client, storage and account, in one text; absent for what is no place.
std::optional<std::string> PlaceKey(const Json& place) {
    if (!place.is_object())
        return std::nullopt;
    const auto client = TextMember(place, "client");
    const auto storage = TextMember(place, "storage");
    const auto account = TextMember(place, "account");
    if (!client || !storage || !account)
        return std::nullopt;
    return Utf8(*client + '\n' + *storage + '\n' + *account);
}

// Texts read from a client are valid UTF-8 by the time they are QStrings; the replacement
// handler only makes sure that no text can make the writer throw.
QByteArray Bytes(const Json& json) {
    return QByteArray::fromStdString(json.dump(2, ' ', false, Json::error_handler_t::replace));
}

}  // namespace

QString ReplacedSettingsPath(const QString& supportFolder) {
    return supportFolder + "/" + kReplacedSettingsFileName;
}

std::optional<std::map<QString, ClientSettings>> ReplacedSettings::read(
    ClientKind client, const QString& storage) const {
    std::map<QString, ClientSettings> kept;
    if (_path.isEmpty())
        return kept;
    const KeptPlaces places = ReadPlaces(_path);
    if (!places.readable || places.damaged) {
        LogError("ReplacedSettings: Could not read " + _path);
        if (!places.readable)
            return std::nullopt;
        return kept;
    }
    for (const Json& place : places.places) {
        if (!IsPlaceOf(place, client, storage))
            continue;
        if (auto settings = SettingsOf(place))
            kept[*TextMember(place, "account")] = std::move(*settings);
    }
    return kept;
}

std::optional<QString> ReplacedSettings::update(ClientKind client, const QString& storage,
                                                const ReplacedSettingsChanges& changes,
                                                ClientWrites& writes) const {
    if (_path.isEmpty() || changes.empty())
        return std::nullopt;
    // The person's own signatures are kept here: the file and its folder are theirs alone.
    if (auto failure = MakeOwnerOnlyFolder(QFileInfo(_path).path()))
        return failure->description;
    // Another process may be keeping the settings of another client or storage meanwhile: the
    // file is read, merged and written by one process at a time.
    const FileLock lock(_path + ".lock", {});
    if (!lock.isHeld())
        return "cannot lock " + _path + ": " + lock.error();
    // A damaged file holds nothing that can be put back; it is replaced rather than kept in the
    // way of every later change. One that cannot be read now may hold other clients' settings:
    // it stays, and the change fails.
    const KeptPlaces places = ReadPlaces(_path);
    if (!places.readable)
        return "cannot read " + _path;
    Json merged = Json::array();
    for (const Json& place : places.places) {
        const bool changed = IsPlaceOf(place, client, storage) &&
                             (changes.remembered.count(*TextMember(place, "account")) ||
                              changes.forgotten.count(*TextMember(place, "account")));
        if (!changed)
            merged.push_back(place);
    }
    for (const auto& [account, settings] : changes.remembered)
        merged.push_back(PlaceJson(client, storage, account, settings));
    const QByteArray bytes = Bytes(merged);
    if (FileHolds(_path, bytes))
        return std::nullopt;
    // Made the person's alone first, and empty: the writes keep the mode of the file they
    // replace, and a restore that takes the places away leaves the empty list.
    if (!QFileInfo::exists(_path)) {
        if (auto failure = writes.makeOwnersFile(_path, Bytes(Json::array())))
            return "cannot write " + _path + ": " + failure->description;
    }
    if (auto failure = writes.writeFile(_path, bytes))
        return "cannot write " + _path + ": " + failure->description;
    return std::nullopt;
}

std::optional<std::map<std::string, QByteArray>> ReplacedSettingsPlaces(const QByteArray& bytes) {
    const Json places = Json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (places.is_discarded() || !places.is_array())
        return std::nullopt;
    std::map<std::string, QByteArray> byKey;
    for (const Json& place : places) {
        if (const auto key = PlaceKey(place))
            byKey.emplace(*key, Bytes(place));
    }
    return byKey;
}

std::optional<QByteArray> WithReplacedSettingsPlaces(
    const std::optional<QByteArray>& bytes,
    const std::map<std::string, std::optional<QByteArray>>& places) {
    Json list =
        bytes ? Json::parse(bytes->constBegin(), bytes->constEnd(), nullptr, false) : Json::array();
    if (list.is_discarded() || !list.is_array())
        return std::nullopt;
    for (const auto& [key, value] : places) {
        const auto found = std::find_if(list.begin(), list.end(),
                                        [&](const Json& place) { return PlaceKey(place) == key; });
        if (!value) {
            if (found != list.end())
                list.erase(found);
            continue;
        }
        Json place = Json::parse(value->constBegin(), value->constEnd(), nullptr, false);
        if (PlaceKey(place) != key || !SettingsOf(place))
            return std::nullopt;
        if (found != list.end())
            *found = std::move(place);
        else
            list.push_back(std::move(place));
    }
    return Bytes(list);
}

}  // namespace quillet
