#include "app/core/ActivityRecord.h"

#include <QFile>
#include <nlohmann/json.hpp>

#include "common/Log.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"

namespace quillet {

ActivityRecord LoadActivityRecord(const QString& path) {
    ActivityRecord record;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return record;
    const nlohmann::json document =
        nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
    if (!document.is_object())
        return record;
    const auto refresh = document.find("lastRefresh");
    if (refresh != document.end() && refresh->is_object() &&
        refresh->value("time", nlohmann::json()).is_number_integer() &&
        refresh->value("success", nlohmann::json()).is_boolean()) {
        record.lastRefresh = RefreshRecord{(*refresh)["time"].get<std::int64_t>(),
                                           (*refresh)["success"].get<bool>()};
    }
    const auto syncTime = document.find("lastSyncTime");
    if (syncTime != document.end() && syncTime->is_number_integer())
        record.lastSyncTime = syncTime->get<std::int64_t>();
    const auto problems = document.find("problems");
    if (problems != document.end() && problems->is_array()) {
        for (const auto& problem : *problems) {
            if (problem.is_string())
                record.problems << QString::fromStdString(problem.get<std::string>());
        }
    }
    return record;
}

bool SaveActivityRecord(const QString& path, const ActivityRecord& record) {
    nlohmann::json document = nlohmann::json::object();
    document["lastRefresh"] = record.lastRefresh
                                  ? nlohmann::json{{"time", record.lastRefresh->time},
                                                   {"success", record.lastRefresh->success}}
                                  : nlohmann::json(nullptr);
    document["lastSyncTime"] = record.lastSyncTime;
    nlohmann::json problems = nlohmann::json::array();
    for (const QString& problem : record.problems)
        problems.push_back(problem.toStdString());
    document["problems"] = problems;
    // Not worth a second wait for the disk: a power loss may bring back the previous record
    // (the next refresh and pass write it again), never a damaged one.
    const auto failure =
        WriteFileAtomicallyOrFail(path, QByteArray::fromStdString(document.dump(2)),
                                  FileAccess::ownerOnly(), Durability::contentsOnly);
    if (failure) {
        LogError("SaveActivityRecord(): Could not write " + path + ": " + failure->description);
        return false;
    }
    return true;
}

bool UpdateActivityRecord(const QString& path, const std::function<void(ActivityRecord&)>& change) {
    const FileLock lock(path + ".lock", {});
    ActivityRecord record = LoadActivityRecord(path);
    change(record);
    return SaveActivityRecord(path, record);
}

}  // namespace quillet
