#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/base/Sqlite.h"

namespace quillet {
namespace {

class SqliteTest : public testing::Test {
protected:
    SqliteTest() {
        path = folder.path() + "/settings.sqlite";
        sqlite3* setup = nullptr;
        sqlite3_open(path.toUtf8().constData(), &setup);
        sqlite3_exec(setup,
                     "CREATE TABLE t (pk INTEGER PRIMARY KEY, name TEXT UNIQUE, value REAL);"
                     "INSERT INTO t (name, value) VALUES ('a', 1), ('b', 2), (NULL, 3);",
                     nullptr, nullptr, nullptr);
        sqlite3_close(setup);
        db = *OpenSqliteDatabase(path);
    }
    ~SqliteTest() override { CloseSqliteDatabase(db); }

    QTemporaryDir folder;
    QString path;
    sqlite3* db = nullptr;
};

TEST_F(SqliteTest, QueriesDeliverRowsUntilAskedToStopAndFailuresFail) {
    QStringList names;
    EXPECT_TRUE(ExecuteSqliteSelectStatement(
        db, "SELECT name FROM t ORDER BY pk",
        [&](sqlite3_stmt* s, bool*) { names << GetSqliteColumnText(s, 0); }));
    EXPECT_EQ(names, QStringList({"a", "b", ""}));  // NULL reads as the empty text

    int calls = 0;
    EXPECT_TRUE(
        ExecuteSqliteSelectStatement(db, "SELECT name FROM t", [&](sqlite3_stmt*, bool* stop) {
            ++calls;
            *stop = true;
        }));
    EXPECT_EQ(calls, 1);

    EXPECT_TRUE(ExecuteSqliteSelectStatement(db, "SELECT name FROM t WHERE 0",
                                             [&](sqlite3_stmt*, bool*) { ADD_FAILURE(); }));
    // Statements that cannot be prepared or stepped fail.
    EXPECT_FALSE(ExecuteSqliteSelectStatement(db, "SELEKT nothing",
                                              [](sqlite3_stmt*, bool*) { ADD_FAILURE(); }));
    EXPECT_FALSE(ExecuteSqliteStatement(db, "INSERT INTO t (name) VALUES ('a')"));
    EXPECT_FALSE(ExecuteSqliteStatement(db, "UPDATE nowhere SET x = 1"));
}

TEST_F(SqliteTest, BindingCountsParametersFromZero) {
    EXPECT_TRUE(ExecuteSqliteStatement(
        db, "INSERT INTO t (name, value) VALUES (?, ?)", [](sqlite3_stmt* s) {
            return BindSqliteText(s, 0, QString::fromUtf8("ünï")) && BindSqliteDouble(s, 1, 2.5);
        }));
    double value = 0;
    ExecuteSqliteSelectStatement(
        db, "SELECT value FROM t WHERE name = 'ünï'",
        [&](sqlite3_stmt* s, bool*) { value = sqlite3_column_double(s, 0); });
    EXPECT_EQ(value, 2.5);
    // A binding callback that gives up abandons the statement.
    EXPECT_FALSE(ExecuteSqliteStatement(db, "DELETE FROM t", [](sqlite3_stmt*) { return false; }));
    ExecuteSqliteSelectStatement(db, "SELECT count(*) FROM t", [&](sqlite3_stmt* s, bool*) {
        value = sqlite3_column_double(s, 0);
    });
    EXPECT_EQ(value, 4);
    EXPECT_FALSE(ExecuteSqliteStatement(db, "SELECT ?",
                                        [](sqlite3_stmt* s) { return BindSqliteText(s, 5, "x"); }));
}

TEST(SqliteOpen, MissingDatabaseIsAFailedOpenAndNoFileIsCreated) {
    QTemporaryDir folder;
    const QString missing = folder.path() + "/messages.sqlite";
    EXPECT_FALSE(OpenSqliteDatabase(missing));
    EXPECT_FALSE(QFileInfo::exists(missing));
}

}  // namespace
}  // namespace quillet
