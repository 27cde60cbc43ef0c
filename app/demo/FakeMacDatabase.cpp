#include "app/demo/FakeMacDatabase.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillet {

namespace {

void Bind(sqlite3_stmt* statement, int index, const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::UnknownType:
            sqlite3_bind_null(statement, index);
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
            sqlite3_bind_int64(statement, index, value.toLongLong());
            break;
        case QMetaType::Double:
            sqlite3_bind_double(statement, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            sqlite3_bind_text(statement, index, bytes.constData(), int(bytes.size()),
                              SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            sqlite3_bind_text(statement, index, text.constData(), -1, SQLITE_TRANSIENT);
        }
    }
}

}  // namespace

void CreateFakeDatabase(const QString& path, const char* createSql, const char* insertSql,
                        const std::vector<QVariantList>& rows) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    sqlite3* database = nullptr;
    sqlite3_open(path.toUtf8().constData(), &database);
    sqlite3_exec(database, createSql, nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(database, insertSql, -1, &insert, nullptr);
    for (const QVariantList& row : rows) {
        for (int i = 0; i < row.size(); ++i)
            Bind(insert, i + 1, row.at(i));
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_close(database);
}

std::optional<FakeDatabaseRows> QueryFakeDatabase(const QString& path, const QString& sql,
                                                  const QVariantList& values) {
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(database);
        return std::nullopt;
    }
    sqlite3_stmt* statement = nullptr;
    std::optional<FakeDatabaseRows> rows;
    if (sqlite3_prepare_v2(database, sql.toUtf8().constData(), -1, &statement, nullptr) ==
        SQLITE_OK) {
        for (int i = 0; i < values.size(); ++i)
            Bind(statement, i + 1, values.at(i));
        rows.emplace();
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            std::vector<QByteArray> row;
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                row.emplace_back(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                                 sqlite3_column_bytes(statement, column));
            }
            rows->push_back(std::move(row));
        }
        if (step != SQLITE_DONE)
            rows.reset();
    }
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return rows;
}

bool ExecuteFakeDatabaseSql(const QString& path, const QString& sql) {
    sqlite3* database = nullptr;
    bool ok = sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE,
                              nullptr) == SQLITE_OK;
    ok = ok &&
         sqlite3_exec(database, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(database);
    return ok;
}

}  // namespace quillet
