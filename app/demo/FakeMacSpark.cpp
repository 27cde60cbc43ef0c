#include "app/demo/FakeMacSpark.h"

#include <sqlite3.h>

#include "app/demo/FakeMacDatabase.h"

namespace quillet {

namespace {

QString SettingsPath(const FakeMac& mac) {
    return mac.paths().userLibrary() +
           "/Group Containers/3L68KQB4HG.group.com.readdle.smartemail/databases/settings.sqlite";
}

}  // namespace

FakeSparkSettingsRow FakeSparkSignatureRow(const QString& identifier, const QString& json) {
    return FakeSparkSettingsRow{kFakeSparkSignaturesGroup, identifier, json};
}

FakeSparkSettingsRow FakeSparkOrderingRow(const QString& json) {
    return FakeSparkSettingsRow{kFakeSparkMetaGroup, kFakeSparkOrderingKey, json};
}

FakeSparkSettingsRow FakeSparkBindingRow(const QString& json) {
    return FakeSparkSettingsRow{kFakeSparkMetaGroup, kFakeSparkBindingKey, json};
}

QString CreateFakeSparkSettingsDatabase(const FakeMac& mac,
                                        const std::vector<FakeSparkSettingsRow>& rows) {
    std::vector<QVariantList> values;
    for (const auto& row : rows)
        values.push_back({row.itemGroup, row.itemKey, row.itemValue, row.syncDate, row.syncStatus});
    const QString path = SettingsPath(mac);
    CreateFakeDatabase(
        path,
        "CREATE TABLE settings (pk INTEGER PRIMARY KEY AUTOINCREMENT, itemGroup TEXT, "
        "itemKey TEXT, itemValue TEXT, syncDate REAL, syncStatus INTEGER)",
        "INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) "
        "VALUES (?, ?, ?, ?, ?)",
        values);
    return path;
}

QStringList FakeSparkSettingsRows(const QString& path) {
    QStringList rows;
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* select = nullptr;
        sqlite3_prepare_v2(database,
                           "SELECT itemGroup, itemKey, itemValue, syncDate, syncStatus FROM "
                           "settings ORDER BY pk",
                           -1, &select, nullptr);
        while (select && sqlite3_step(select) == SQLITE_ROW) {
            QStringList columns;
            for (int i = 0; i < 5; ++i) {
                columns.append(QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(select, i))));
            }
            rows.append(columns.join('|'));
        }
        sqlite3_finalize(select);
    }
    sqlite3_close(database);
    return rows;
}

bool ExecuteFakeSparkSql(const QString& path, const QString& sql) {
    return ExecuteFakeDatabaseSql(path, sql);
}

}  // namespace quillet
