#include "app/store/StoreCopy.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/FileAccess.h"

namespace quillet {

namespace {

// Every page of `source` into `target` in one step, so the copy is one consistent state.
std::optional<QString> Backup(sqlite3* source, sqlite3* target, const QString& what) {
    sqlite3_busy_timeout(source, 5000);
    sqlite3_busy_timeout(target, 5000);
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    if (!backup)
        return "cannot copy " + what + ": " + QString::fromUtf8(sqlite3_errmsg(target));
    const int stepped = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE)
        return "cannot copy " + what + ": " + QString::fromUtf8(sqlite3_errstr(stepped));
    return std::nullopt;
}

// Opens `path`, or says why it cannot.
std::optional<QString> Open(const QString& path, int flags, sqlite3** database) {
    // A copy of the store holds what the store holds: its owner's alone, whatever the umask.
    if (flags & SQLITE_OPEN_CREATE) {
        if (auto failure = CreateOwnerOnlyFile(path))
            return failure->description;
    }
    if (sqlite3_open_v2(path.toUtf8().constData(), database, flags, nullptr) == SQLITE_OK)
        return std::nullopt;
    return "cannot open " + path + ": " + QString::fromUtf8(sqlite3_errmsg(*database));
}

// Copies `from` into `to` (both opened with the flags given), closing both.
std::optional<QString> CopyDatabase(const QString& from, int fromFlags, const QString& to,
                                    int toFlags) {
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    std::optional<QString> error = Open(from, fromFlags, &source);
    if (!error)
        error = Open(to, toFlags, &target);
    if (!error)
        error = Backup(source, target, from);
    sqlite3_close(source);
    sqlite3_close(target);
    return error;
}

constexpr int kCreate = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;

}  // namespace

std::optional<QString> CopyDatabaseConsistently(const QString& from, const QString& to) {
    auto error = CopyDatabase(from, SQLITE_OPEN_READONLY, to, kCreate);
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
