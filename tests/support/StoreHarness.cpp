#include "tests/support/StoreHarness.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
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

StoreWriteLock::StoreWriteLock(const QString& dataFolder) {
    EXPECT_EQ(
        sqlite3_open(QFile::encodeName(dataFolder + "/" + kStoreFileName).constData(), &_database),
        SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(_database, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
}

StoreWriteLock::~StoreWriteLock() {
    sqlite3_close(_database);  // the transaction ends with it, having written nothing
}

StoreHarness::StoreHarness() {
    QDir().mkpath(dataFolder());
    QDir().mkpath(documentsFolder());
}

QStringList StoreHarness::sql(const QString& statements) const {
    return Sql(storePath(), statements);
}

void StoreHarness::expectRows(const QString& file, const std::map<QString, QString>& values) const {
    for (const QStringList& row : ReadDataTable(file)) {
        QString expected = row.value(1);
        for (const auto& [name, value] : values)
            expected.replace("{" + name + "}", value);
        EXPECT_EQ(sql(row[0]).join(" ; "), expected) << row[0].toStdString();
    }
}

void StoreHarness::expectStoreFiles(const QString& path, bool exist) const {
    for (const char* suffix : kStoreFileSuffixes) {
        EXPECT_EQ(QFile::exists(path + suffix), exist) << (path + suffix).toStdString();
        if (exist) {
            EXPECT_EQ(QFile::permissions(path + suffix),
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser)
                << suffix;
        }
    }
}

std::pair<SignatureIds, IdToSignatureMap> LoadedSignatures(Store& store) {
    auto loaded = store.LoadSignatures();
    if (!loaded) {
        ADD_FAILURE() << loaded.error().toStdString();
        return {};
    }
    return std::move(*loaded);
}

void TakeSignaturesTableAway(const QString& dataFolder, bool away) {
    const QString table = "ZSIGNATUREENTITYV2", elsewhere = "ZTAKENAWAY";
    Sql(dataFolder + "/" + kStoreFileName,
        "ALTER TABLE " + (away ? table : elsewhere) + " RENAME TO " + (away ? elsewhere : table));
}

QStringList StoreHarness::storedNames() const {
    const auto store = Store::OpenStoreChain(dataFolder(), documentsFolder(), {});
    if (!store)
        return {"(the store does not open)"};
    QStringList names;
    const auto [ids, map] = LoadedSignatures(*store);
    for (const SignatureId id : ids)
        names << map.at(id)->nameQe;
    return names;
}

Signature StoreHarness::NamedSignature(const QString& name) {
    Signature signature;
    signature.active = true;
    signature.nameQe = name;
    signature.mainTextQe = "<p>" + name + "</p>";
    signature.uuidX = QUuid::createUuid();
    return signature;
}

}  // namespace quillet
