#include "tests/support/LegacyStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>

#include "tests/support/DataTable.h"
#include "tests/support/TestHelpers.h"

namespace quillet {

QStringList Sql(const QString& path, const QString& sql, bool keepWriteAheadLog) {
    sqlite3* database = nullptr;
    EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &database), SQLITE_OK);
    if (keepWriteAheadLog)
        sqlite3_db_config(database, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    const QStringList rows = QuerySqliteRows(database, sql);
    sqlite3_close(database);
    return rows;
}

void WriteLegacyStore(const QString& path, bool keepWriteAheadLog) {
    Sql(path, ReadDataText("base/legacy-store.sql"), keepWriteAheadLog);
}

}  // namespace quillet
