#include "app/core/RestorePointManifest.h"

#include <QFile>

#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"

namespace quillet {

namespace {

using Json = nlohmann::json;

std::string Utf8(const QString& text) {
    return text.toStdString();
}

QString Text(const Json& json) {
    return QString::fromStdString(json.get<std::string>());
}

std::optional<QString> OptionalText(const Json& json) {
    if (json.is_null())
        return std::nullopt;
    return Text(json);
}

Json OptionalJson(const std::optional<QString>& text) {
    return text ? Json(Utf8(*text)) : Json(nullptr);
}

ClientKind Client(const Json& json) {
    const auto kind = ClientKindFromStoredText(Text(json));
    if (!kind)
        throw std::invalid_argument("unknown client");
    return *kind;
}

Json ToJson(const RestorePoint& point) {
    Json clients = Json::array();
    for (ClientKind kind : point.clients)
        clients.push_back(Utf8(StoredText(kind)));
    Json files = Json::array();
    for (const KeptFile& file : point.files) {
        files.push_back({{"client", Utf8(StoredText(file.client))},
                         {"path", Utf8(file.path)},
                         {"copy", OptionalJson(file.copy)},
                         {"size", file.size},
                         {"sha256", Utf8(file.sha256)}});
    }
    Json rows = Json::array();
    for (const KeptRows& kept : point.rows) {
        Json key = Json::array();
        for (const auto& [column, value] : kept.key)
            key.push_back({Utf8(column), Utf8(value)});
        rows.push_back({{"client", Utf8(StoredText(kept.client))},
                        {"database", Utf8(kept.database)},
                        {"table", Utf8(kept.table)},
                        {"key", key},
                        {"rows", kept.rows}});
    }
    Json signatures = Json::array();
    for (const KeptSignature& signature : point.signatures) {
        signatures.push_back({{"client", Utf8(StoredText(signature.client))},
                              {"name", Utf8(signature.name)},
                              {"content", OptionalJson(signature.content)}});
    }
    return Json{{"id", Utf8(point.id)},
                {"time", Utf8(point.time.toUTC().toString(Qt::ISODateWithMs))},
                {"reason", Utf8(point.reason)},
                {"clients", clients},
                {"files", files},
                {"rows", rows},
                {"signatures", signatures}};
}

// Throws (caught by the caller) on any member of the wrong shape.
RestorePoint FromJson(const Json& json, const QString& folder) {
    RestorePoint point;
    point.folder = folder;
    point.id = Text(json.at("id"));
    point.time = QDateTime::fromString(Text(json.at("time")), Qt::ISODateWithMs);
    if (!point.time.isValid())
        throw std::invalid_argument("bad time");
    point.time = point.time.toUTC();
    point.reason = Text(json.at("reason"));
    for (const Json& client : json.at("clients"))
        point.clients.push_back(Client(client));
    for (const Json& file : json.at("files")) {
        point.files.push_back(KeptFile{Client(file.at("client")), Text(file.at("path")),
                                       OptionalText(file.at("copy")), file.at("size").get<qint64>(),
                                       Text(file.at("sha256"))});
        if (point.files.back().copy && point.files.back().copy->contains(".."))
            throw std::invalid_argument("copy outside the point");
    }
    for (const Json& kept : json.at("rows")) {
        KeptRows rows{Client(kept.at("client")),
                      Text(kept.at("database")),
                      Text(kept.at("table")),
                      {},
                      kept.at("rows")};
        for (const Json& pair : kept.at("key"))
            rows.key.emplace_back(Text(pair.at(0)), Text(pair.at(1)));
        if (!rows.rows.is_array())
            throw std::invalid_argument("rows");
        point.rows.push_back(std::move(rows));
    }
    for (const Json& signature : json.at("signatures")) {
        point.signatures.push_back(KeptSignature{Client(signature.at("client")),
                                                 Text(signature.at("name")),
                                                 OptionalText(signature.at("content"))});
    }
    return point;
}

}  // namespace

std::optional<RestorePoint> ReadRestorePointManifest(const QString& folder) {
    QFile file(folder + "/" + kRestorePointManifestFileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    try {
        return FromJson(Json::parse(file.readAll().toStdString()), folder);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<QString> WriteRestorePointManifest(const RestorePoint& point) {
    return WriteFileAtomicallyOrDescribeError(
        point.folder + "/" + kRestorePointManifestFileName,
        QByteArray::fromStdString(ToJson(point).dump(2) + "\n"), FileAccess::ownerOnly());
}

}  // namespace quillet
