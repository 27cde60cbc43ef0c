#include "app/cli/DemoSnapshot.h"

#include <sqlite3.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "platform/Plist.h"

namespace quillet {

namespace {

QStringList SqliteRows(const QString& path) {
    sqlite3* database = nullptr;
    QStringList lines;
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(database);
        return {"(a database that cannot be read)"};
    }
    QStringList tables;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(
        database,
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
        "ORDER BY name",
        -1, &statement, nullptr);
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
        tables << QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    sqlite3_finalize(statement);
    for (const QString& table : tables) {
        const QByteArray sql = "SELECT * FROM \"" + table.toUtf8() + "\"";
        if (sqlite3_prepare_v2(database, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
            continue;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QStringList columns;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
                columns << (text ? QString::fromUtf8(text) : QStringLiteral("NULL"));
            }
            lines << table + ": " + columns.join(" | ");
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(database);
    return lines;
}

}  // namespace

QStringList ReadableLines(const QString& path, const QByteArray& contents) {
    if (contents.startsWith("SQLite format 3"))
        return SqliteRows(path);
    if (contents.startsWith("bplist")) {
        if (const auto plist = Plist::parse(contents))
            return QString::fromUtf8(plist->toXml()).split('\n', Qt::SkipEmptyParts);
    }
    return QString::fromUtf8(contents).split('\n', Qt::SkipEmptyParts);
}

DemoSnapshot DemoSnapshot::Take(const QStringList& folders, const QStringList& skippedFolders) {
    DemoSnapshot snapshot;
    for (const QString& folder : folders) {
        QStringList paths;
        if (QFileInfo(folder).isFile())
            paths << folder;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            paths << it.next();
        for (const QString& path : paths) {
            // A database's companions show through the database itself.
            if (path.endsWith("-wal") || path.endsWith("-shm"))
                continue;
            bool skipped = false;
            for (const QString& skip : skippedFolders)
                skipped = skipped || path.startsWith(skip + "/");
            if (skipped)
                continue;
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                snapshot._files[path] = ReadableLines(path, file.readAll());
        }
    }
    return snapshot;
}

QStringList DemoSnapshot::changesSince(const DemoSnapshot& before, const QString& base) const {
    QStringList lines;
    const QDir baseDir(base);
    const auto show = [&](const QString& what, const QString& path, const QStringList& gone,
                          const QStringList& came) {
        lines << what + " " + baseDir.relativeFilePath(path);
        const QSet<QString> goneSet(gone.begin(), gone.end()), cameSet(came.begin(), came.end());
        for (const QString& line : gone) {
            if (!cameSet.contains(line))
                lines << "    - " + line.trimmed();
        }
        for (const QString& line : came) {
            if (!goneSet.contains(line))
                lines << "    + " + line.trimmed();
        }
    };
    for (const auto& [path, now] : _files) {
        const auto earlier = before._files.find(path);
        if (earlier == before._files.end()) {
            show("created", path, {}, now);
        } else if (earlier->second != now) {
            show("changed", path, earlier->second, now);
        }
    }
    for (const auto& [path, earlier] : before._files) {
        if (!_files.contains(path))
            show("removed", path, earlier, {});
    }
    return lines;
}

}  // namespace quillet
