#include "app/clients/sync/ReplacedSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <nlohmann/json.hpp>

#include "common/Log.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"

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
std::optional<Json> ReadPlaces(const QString& path) {
    if (!QFileInfo::exists(path))
        return Json::array();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    Json places = Json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (places.is_discarded() || !places.is_array())
        return std::nullopt;
    return places;
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

}  // namespace

QString ReplacedSettingsPath(const QString& supportFolder) {
    return supportFolder + "/ReplacedSignatureSettings.json";
}

std::map<QString, ClientSettings> ReplacedSettings::read(ClientKind client,
                                                         const QString& storage) const {
    std::map<QString, ClientSettings> kept;
    if (_path.isEmpty())
        return kept;
    const auto places = ReadPlaces(_path);
    if (!places) {
        LogError("ReplacedSettings: Could not read " + _path);
        return kept;
    }
    for (const Json& place : *places) {
        if (!IsPlaceOf(place, client, storage))
            continue;
        if (auto settings = SettingsOf(place))
            kept[*TextMember(place, "account")] = std::move(*settings);
    }
    return kept;
}

std::optional<QString> ReplacedSettings::update(ClientKind client, const QString& storage,
                                                const ReplacedSettingsChanges& changes) const {
    if (_path.isEmpty() || changes.empty())
        return std::nullopt;
    QDir().mkpath(QFileInfo(_path).path());
    // Another process may be keeping the settings of another client or storage meanwhile: the
    // file is read, merged and written by one process at a time.
    const FileLock lock(_path + ".lock", {});
    if (!lock.isHeld())
        return "cannot lock " + _path + ": " + lock.error();
    // A damaged file holds nothing that can be put back; it is replaced rather than kept in the
    // way of every later change.
    const Json places = ReadPlaces(_path).value_or(Json::array());
    Json merged = Json::array();
    for (const Json& place : places) {
        const bool changed = IsPlaceOf(place, client, storage) &&
                             (changes.remembered.count(*TextMember(place, "account")) ||
                              changes.forgotten.count(*TextMember(place, "account")));
        if (!changed)
            merged.push_back(place);
    }
    for (const auto& [account, settings] : changes.remembered)
        merged.push_back(PlaceJson(client, storage, account, settings));
    // Texts read from a client are valid UTF-8 by the time they are QStrings; the replacement
    // handler only makes sure that no text can make the writer throw.
    const std::string text = merged.dump(2, ' ', false, Json::error_handler_t::replace);
    if (auto error = WriteFileAtomicallyOrDescribeError(_path, QByteArray::fromStdString(text)))
        return "cannot write " + _path + ": " + *error;
    return std::nullopt;
}

}  // namespace quillet
