#include "app/core/StoreCopy.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillet {

std::optional<QString> CopyDatabaseConsistently(const QString& from, const QString& to) {
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    std::optional<QString> error;
    if (sqlite3_open_v2(from.toUtf8().constData(), &source, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        error = "cannot open " + from + ": " + QString::fromUtf8(sqlite3_errmsg(source));
    } else if (sqlite3_open_v2(to.toUtf8().constData(), &target,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        error = "cannot create " + to + ": " + QString::fromUtf8(sqlite3_errmsg(target));
    } else {
        sqlite3_busy_timeout(source, 5000);
        sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
        if (!backup) {
            error = "cannot copy " + from + ": " + QString::fromUtf8(sqlite3_errmsg(target));
        } else {
            // All pages in one step: the copy is one consistent state of the store.
            const int stepped = sqlite3_backup_step(backup, -1);
            sqlite3_backup_finish(backup);
            if (stepped != SQLITE_DONE)
                error = "cannot copy " + from + ": " + QString::fromUtf8(sqlite3_errstr(stepped));
        }
    }
    sqlite3_close(source);
    sqlite3_close(target);
    if (error)
        QFile::remove(to);
    return error;
}

std::optional<QString> CopySupportFolder(const QString& from, const QString& to) {
    if (!QDir().mkpath(to))
        return "cannot create " + to;
    const QString store = from + "/" + kStoreFileName;
    for (const QFileInfo& file : QDir(from).entryInfoList(QDir::Files | QDir::Hidden)) {
        const QString name = file.fileName();
        if (name.startsWith(kStoreFileName))
            continue;  // the store and its companions: copied through SQLite below
        if (!QFile::copy(file.absoluteFilePath(), to + "/" + name))
            return "cannot copy " + file.absoluteFilePath();
    }
    if (QFileInfo(store).isFile())
        return CopyDatabaseConsistently(store, to + "/" + kStoreFileName);
    return std::nullopt;
}

}  // namespace quillet
