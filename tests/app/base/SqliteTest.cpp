// The SQLite helpers over a real database file.
#include "app/base/Sqlite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

// A missing database is a failed open that makes no file. Queries deliver rows until asked to
// stop, NULL reading as the empty text; binding counts parameters from zero; statements that
// cannot be prepared, bound or stepped fail, and a binding that gives up abandons its statement.
TEST(Sqlite, QueriesDeliverRowsUntilAskedToStopAndWhatCannotRunFails) {
    QTemporaryDir folder;
    const QString path = folder.path() + "/settings.sqlite";
    EXPECT_FALSE(OpenSqliteDatabase(path));
    EXPECT_FALSE(QFileInfo::exists(path));
    sqlite3* setup = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &setup), SQLITE_OK);
    QuerySqliteRows(setup,
                    "CREATE TABLE t (pk INTEGER PRIMARY KEY, name TEXT UNIQUE, value REAL);"
                    "INSERT INTO t (name, value) VALUES ('a', 1), ('b', 2), (NULL, 3);");
    sqlite3_close(setup);
    sqlite3* db = *OpenSqliteDatabase(path);

    QStringList names;
    EXPECT_TRUE(ExecuteSqliteSelectStatement(
        db, "SELECT name FROM t ORDER BY pk",
        [&](sqlite3_stmt* s, bool*) { names << GetSqliteColumnText(s, 0); }));
    EXPECT_EQ(names, QStringList({"a", "b", ""}));
    int calls = 0;
    EXPECT_TRUE(
        ExecuteSqliteSelectStatement(db, "SELECT name FROM t", [&](sqlite3_stmt*, bool* stop) {
            ++calls;
            *stop = true;
        }));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(ExecuteSqliteSelectStatement(db, "SELECT name FROM t WHERE 0",
                                             [&](sqlite3_stmt*, bool*) { ADD_FAILURE(); }));
    EXPECT_FALSE(ExecuteSqliteSelectStatement(db, "SELEKT nothing",
                                              [](sqlite3_stmt*, bool*) { ADD_FAILURE(); }));
    EXPECT_FALSE(ExecuteSqliteStatement(db, "INSERT INTO t (name) VALUES ('a')"));
    EXPECT_FALSE(ExecuteSqliteStatement(db, "UPDATE nowhere SET x = 1"));

    EXPECT_TRUE(ExecuteSqliteStatement(
        db, "INSERT INTO t (name, value) VALUES (?, ?)", [](sqlite3_stmt* s) {
            return BindSqliteText(s, 0, QString::fromUtf8("ünï")) && BindSqliteDouble(s, 1, 2.5);
        }));
    EXPECT_FALSE(ExecuteSqliteStatement(db, "DELETE FROM t", [](sqlite3_stmt*) { return false; }));
    EXPECT_FALSE(ExecuteSqliteStatement(db, "SELECT ?",
                                        [](sqlite3_stmt* s) { return BindSqliteText(s, 5, "x"); }));
    EXPECT_EQ(QuerySqliteRows(db, "SELECT name, value FROM t WHERE value > 2"),
              QStringList({"NULL|3.0", QString::fromUtf8("ünï|2.5")}));
    CloseSqliteDatabase(db);
}

}  // namespace
}  // namespace quillet
