#include "app/core/RestorePoints.h"

#include <sqlite3.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "app/core/RestorePointManifest.h"
#include "app/core/StoreCopy.h"
#include "platform/FileRemoval.h"

namespace quillet {

namespace {

using Json = nlohmann::json;

RestorePointError Damaged(const QString& id, const QString& what) {
    return RestorePointError{
        RestorePointError::Kind::damaged,
        "Restore point " + id + " is damaged or incomplete: " + what + ". Nothing was changed."};
}

// SQLite's own check of every page and index of the copy.
bool PassesIntegrityCheck(const QString& path) {
    sqlite3* database = nullptr;
    bool ok = false;
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(database, "PRAGMA integrity_check", -1, &statement, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(statement, 0);
            ok = text && QByteArray(reinterpret_cast<const char*>(text)) == "ok";
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(database);
    return ok;
}

// What is wrong with a kept file's copy; nothing when it is whole.
std::optional<QString> CopyProblem(const RestorePoint& point, const KeptFile& file) {
    if (!file.copy)
        return std::nullopt;
    QFile copy(point.folder + "/" + *file.copy);
    if (!QFileInfo(copy.fileName()).isFile() || !copy.open(QIODevice::ReadOnly))
        return "the copy of " + file.path + " is missing";
    const QByteArray bytes = copy.readAll();
    if (bytes.size() != file.size ||
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()) !=
            file.sha256) {
        return "the copy of " + file.path + " is not what was kept";
    }
    return std::nullopt;
}

// An id names one folder right inside the points' folder.
bool IsPlainId(const QString& id) {
    return !id.isEmpty() && !id.startsWith('.') && !id.contains('/') && !id.contains('\\');
}

bool NewerFirst(const RestorePoint& a, const RestorePoint& b) {
    if (a.time != b.time)
        return a.time > b.time;
    return a.id > b.id;
}

}  // namespace

RestorePoints::RestorePoints(QString folder) : _folder(std::move(folder)) {}

RestorePoints RestorePoints::InSupportFolder(const QString& supportFolder) {
    return RestorePoints(supportFolder + "/" + kRestorePointsFolderName);
}

std::vector<RestorePoint> RestorePoints::list() const {
    std::vector<RestorePoint> points;
    // A link is no point Quillet made, whatever it points to.
    for (const QFileInfo& entry :
         QDir(_folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        auto point = ReadRestorePointManifest(entry.absoluteFilePath());
        if (point && point->id == entry.fileName())
            points.push_back(std::move(*point));
    }
    std::sort(points.begin(), points.end(), NewerFirst);
    return points;
}

RestorePointResult<RestorePoint> RestorePoints::read(const QString& id) const {
    const QString folder = _folder + "/" + id;
    if (!IsPlainId(id) || !QFileInfo(folder).isDir()) {
        return RestorePointError{RestorePointError::Kind::notFound,
                                 "No restore point " + id + ". \"quillet backups\" lists them."};
    }
    auto point = ReadRestorePointManifest(folder);
    if (!point || point->id != id)
        return Damaged(id, "its manifest cannot be read");
    if (!PassesIntegrityCheck(folder + "/" + kStoreFileName))
        return Damaged(id, "its copy of the store is missing or fails SQLite's integrity check");
    for (const KeptFile& file : point->files) {
        if (const auto problem = CopyProblem(*point, file))
            return Damaged(id, *problem);
    }
    return std::move(*point);
}

void RestorePoints::prune(const QDateTime& now) const {
    const std::vector<RestorePoint> points = list();
    const QDateTime oldest = now.addDays(-kRestorePointMaxAgeDays);
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i >= static_cast<std::size_t>(kRestorePointsKept) || points[i].time < oldest)
            RemoveWithoutFollowingLinks(points[i].folder);
    }
    // A folder without a manifest is a point whose pass ended before it kept anything, unless a
    // pass is making it right now: those go once they are an hour old. A link among them goes
    // as the link it is: what it points to (the person's own files) stays.
    for (const QFileInfo& entry : QDir(_folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!QFileInfo::exists(entry.absoluteFilePath() + "/" + kRestorePointManifestFileName) &&
            entry.lastModified().secsTo(now) > 3600) {
            RemoveWithoutFollowingLinks(entry.absoluteFilePath());
        }
    }
}

}  // namespace quillet
