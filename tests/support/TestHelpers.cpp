#include "tests/support/TestHelpers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <QFile>

namespace quillet {

QStringList Descriptions(const std::optional<Accounts>& accounts) {
    QStringList descriptions;
    for (const auto& account : accounts.value_or(Accounts{}))
        descriptions.append(account->description());
    return descriptions;
}

QStringList QuerySqliteRows(sqlite3* database, const QString& sql) {
    QStringList rows;
    const auto collect = [](void* out, int count, char** values, char**) {
        QStringList row;
        for (int i = 0; i < count; ++i)
            row << (values[i] ? QString::fromUtf8(values[i]) : QString("NULL"));
        static_cast<QStringList*>(out)->append(row.join('|'));
        return 0;
    };
    char* message = nullptr;
    if (sqlite3_exec(database, sql.toUtf8().constData(), collect, &rows, &message) != SQLITE_OK)
        ADD_FAILURE() << (message ? message : "error") << " in " << sql.toStdString();
    sqlite3_free(message);
    return rows;
}

unsigned FileMode(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

}  // namespace quillet
