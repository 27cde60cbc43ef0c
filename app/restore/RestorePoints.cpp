#include "app/restore/RestorePoints.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "app/restore/RestorePointManifest.h"

namespace quillet {

namespace {

RestorePointError Damaged(const QString& id, const QString& what) {
    return RestorePointError{
        RestorePointError::Kind::damaged,
        "Restore point " + id + " is damaged or incomplete: " + what + ". Nothing was changed."};
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

// The folders in the points' folder; links are none of them.
QFileInfoList PointFolders(const QString& folder) {
    QFileInfoList folders;
    for (const QFileInfo& entry :
         QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        if (!entry.isSymLink())
            folders << entry;
    }
    return folders;
}

}  // namespace

QString KeptUnit::identity() const {
    QStringList parts{StoredText(client), path, table, name};
    for (const auto& [column, value] : key)
        parts << column << value;
    return parts.join(QChar(0));
}

RestorePoints::RestorePoints(QString folder) : _folder(std::move(folder)) {}

RestorePoints RestorePoints::InSupportFolder(const QString& supportFolder) {
    return RestorePoints(supportFolder + "/" + kRestorePointsFolderName);
}

std::vector<RestorePoint> RestorePoints::list() const {
    std::vector<RestorePoint> points;
    for (const QFileInfo& entry : PointFolders(_folder)) {
        auto point = ReadRestorePointSummary(entry.absoluteFilePath());
        if (point && point->id == entry.fileName())
            points.push_back(std::move(*point));
    }
    std::sort(points.begin(), points.end(), NewerFirst);
    return points;
}

RestorePointResult<RestorePoint> RestorePoints::read(const QString& id) const {
    const QString folder = _folder + "/" + id;
    const QFileInfo info(folder);
    if (!IsPlainId(id) || !info.isDir() || info.isSymLink()) {
        return RestorePointError{RestorePointError::Kind::notFound,
                                 "No restore point " + id + ". \"quillet backups\" lists them."};
    }
    auto point = ReadWholeRestorePoint(folder);
    if (const auto* problem = std::get_if<QString>(&point))
        return Damaged(id, *problem);
    if (std::get<RestorePoint>(point).id != id)
        return Damaged(id, "its manifest names another point");
    return std::get<RestorePoint>(std::move(point));
}

RestorePointResult<std::vector<RestorePoint>> RestorePoints::readFrom(const QString& id) const {
    auto oldest = read(id);
    if (auto* error = std::get_if<RestorePointError>(&oldest))
        return *error;
    const RestorePoint& point = std::get<RestorePoint>(oldest);
    std::vector<RestorePoint> points;
    for (const RestorePoint& listed : list()) {
        if (!NewerFirst(listed, point))
            break;
        auto newer = read(listed.id);
        if (auto* error = std::get_if<RestorePointError>(&newer)) {
            // Undoing the point means undoing every later one first.
            error->message =
                "Restoring " + id + " undoes the later points first. " + error->message;
            return *error;
        }
        points.push_back(std::get<RestorePoint>(std::move(newer)));
    }
    points.push_back(std::get<RestorePoint>(std::move(oldest)));
    return points;
}

void RestorePoints::prune(const QDateTime& now, const std::set<QString>& inUse) const {
    const std::vector<RestorePoint> points = list();
    const QDateTime oldest = now.addDays(-kRestorePointMaxAgeDays);
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (inUse.count(points[i].id))
            continue;
        if (i >= static_cast<std::size_t>(kRestorePointsKept) || points[i].time < oldest)
            RemoveRestorePointFolder(points[i].folder);
    }
    // A folder without a manifest is a point whose pass ended before it kept anything, unless a
    // pass is making it right now: those go once they are an hour old. A link is no point: the
    // link goes, never what it points to.
    for (const QFileInfo& entry :
         QDir(_folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        if (entry.isSymLink())
            QFile::remove(entry.absoluteFilePath());
    }
    for (const QFileInfo& entry : PointFolders(_folder)) {
        if (!inUse.count(entry.fileName()) &&
            !QFileInfo::exists(entry.absoluteFilePath() + "/" + kRestorePointManifestFileName) &&
            entry.lastModified().secsTo(now) > 3600) {
            RemoveRestorePointFolder(entry.absoluteFilePath());
        }
    }
}

}  // namespace quillet
