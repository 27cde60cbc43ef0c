// A Spark sync over a settings table of 1,000 rows (500 of them Quillet's signatures) after one
// signature's text changed, with the real logger and store, side by side with the same reads
// and writes in one transaction done by the sqlite3 command-line tool. The sync should stay
// within three times the tool.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QProcess>
#include <QUuid>
#include <memory>
#include <nlohmann/json.hpp>
#include <tuple>

#include "app/base/Sqlite.h"
#include "app/clients/sync/SparkSync.h"
#include "app/demo/FakeMacSpark.h"
#include "bench/BenchSupport.h"
#include "common/Text.h"

namespace quillet {
namespace {

constexpr int kQuilletSignatures = 500;
constexpr int kRows = 1000;

QString Quoted(const QString& text) {
    return "'" + QString(text).replace("'", "''") + "'";
}

// Spark with kRows settings rows: Quillet's signatures (every other one bound to an account),
// Spark's own signatures, the ordering of all and the binding.
class LargeSpark {
public:
    LargeSpark() {
        std::vector<FakeSparkSettingsRow> rows;
        nlohmann::json ordering = nlohmann::json::array();
        nlohmann::json binding = nlohmann::json::object();
        for (int i = 1; i <= kQuilletSignatures; ++i) {
            auto signature = std::make_shared<Signature>();
            signature->active = true;
            signature->uuidX = QUuid::createUuid();
            signature->mainTextQe = QString("<p>Signature %1</p>").arg(i);
            const QString email = QString("user%1@example.org").arg(i);
            auto& selected = signature->clientKindToSelectedInstallationsInfoMap[ClientKind::spark];
            selected.accountEmailToPayloadMap[email] = {};
            accounts.accounts.push_back(
                std::make_shared<SparkAccount>(email, std::nullopt, std::nullopt));
            const QString identifier = CanonicalUuidText(signature->uuid());
            const nlohmann::json object{{"creationDate", 700000000.5},
                                        {"deleted", false},
                                        {"htmlContent", "<p>old</p>"},
                                        {"identifier", identifier.toStdString()},
                                        {"matchMessageFont", false},
                                        {"modificationDate", 700000000.5},
                                        {"type", 1}};
            rows.push_back(
                FakeSparkSignatureRow(identifier, QString::fromStdString(object.dump())));
            ordering.push_back(identifier.toStdString());
            ids.push_back(SignatureId{i});
            map.emplace(SignatureId{i}, signature);
        }
        while (static_cast<int>(rows.size()) < kRows - 2) {
            const QString identifier = CanonicalUuidText(QUuid::createUuid());
            const nlohmann::json object{{"identifier", identifier.toStdString()},
                                        {"htmlContent", "<p>Spark's own</p>"},
                                        {"deleted", false}};
            rows.push_back(
                FakeSparkSignatureRow(identifier, QString::fromStdString(object.dump())));
            ordering.push_back(identifier.toStdString());
        }
        rows.push_back(FakeSparkOrderingRow(QString::fromStdString(ordering.dump())));
        rows.push_back(FakeSparkBindingRow(QString::fromStdString(binding.dump())));
        path = CreateFakeSparkSettingsDatabase(mac, rows);
        accounts.status = AccountsInfoStatus::discoverySucceeded;
        store = std::make_unique<BenchStore>(map);
        SyncSparkSignatures(inputs());  // Spark holds them as Quillet writes them
    }

    SyncInputs inputs() { return SyncInputs{clientInfo, accounts, ids, map, *store, mac.paths()}; }

    // A new text for one signature, as a refresh brings one.
    void changeText(int revision) {
        map.at(SignatureId{kQuilletSignatures / 2})->mainTextQe =
            QString("<p>Signature, revision %1</p>").arg(revision);
    }

    // The sync's own reads and writes as one sqlite3 script.
    QByteArray sqlScript() {
        sqlite3* database = *OpenSqliteDatabase(path);
        const auto settings = ReadSparkSettings(database, "bench");
        CloseSqliteDatabase(database);
        const SparkSyncTime time = SparkSyncTimeNow();
        const SparkSettingsRows rows = PlanSparkSync(inputs(), *settings, time, {}).rows;
        const QString syncDate = QString::number(time.unixSeconds, 'f', 3);
        QStringList script{
            "SELECT itemKey, itemValue FROM settings WHERE itemGroup = "
            "'SignaturesSettingsItemsGroup';",
            "SELECT itemValue FROM settings WHERE itemGroup = 'MetaSettingsItemsGroup' AND "
            "itemKey = 'MetaOrderingSettingsKey' ORDER BY pk DESC LIMIT 1;",
            "SELECT itemValue FROM settings WHERE itemGroup = 'MetaSettingsItemsGroup' AND "
            "itemKey = 'MetaBindingSettingsKey' ORDER BY pk DESC LIMIT 1;",
            "BEGIN;"};
        for (const auto& row : rows.signatureRows) {
            script.append(
                "DELETE FROM settings WHERE itemGroup = 'SignaturesSettingsItemsGroup' "
                "AND itemKey = " +
                Quoted(row.identifier) + ";");
        }
        for (const auto& row : rows.signatureRows) {
            script.append(
                "INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, "
                "syncStatus) VALUES ('SignaturesSettingsItemsGroup', " +
                Quoted(row.identifier) + ", " + Quoted(row.json) + ", " + syncDate + ", 0);");
        }
        for (const auto& [key, json, changed] :
             {std::tuple{QString("MetaOrderingSettingsKey"), rows.orderingJson,
                         rows.orderingChanged},
              std::tuple{QString("MetaBindingSettingsKey"), rows.bindingJson.value_or("{}"),
                         rows.bindingChanged}}) {
            if (!changed)
                continue;
            script.append(
                "DELETE FROM settings WHERE itemGroup = 'MetaSettingsItemsGroup' AND "
                "itemKey = '" +
                key + "';");
            script.append(
                "INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, "
                "syncStatus) VALUES ('MetaSettingsItemsGroup', '" +
                key + "', " + Quoted(json) + ", " + syncDate + ", 0);");
        }
        script.append("COMMIT;");
        return script.join('\n').toUtf8();
    }

    FakeMac mac;
    QString path;
    ClientInfo clientInfo{"/Applications/Spark.app", "3.0", "3.0"};
    AccountsInfo accounts;
    SignatureIds ids;
    IdToSignatureMap map;
    std::unique_ptr<BenchStore> store;
};

void BM_SparkSyncOneOf500Changed(benchmark::State& state) {
    BenchLog log;
    LargeSpark spark;
    int revision = 0;
    for (auto _ : state) {
        spark.changeText(++revision);
        if (SyncSparkSignatures(spark.inputs()))
            state.SkipWithError("the sync failed");
    }
}
BENCHMARK(BM_SparkSyncOneOf500Changed)->Unit(benchmark::kMillisecond);

void BM_SameReadsAndWritesBySqlite3Tool(benchmark::State& state) {
    LargeSpark spark;
    spark.changeText(1);
    const QByteArray script = spark.sqlScript();
    for (auto _ : state) {
        QProcess tool;
        tool.setStandardOutputFile(QProcess::nullDevice());
        tool.start("sqlite3", {spark.path});
        tool.write(script);
        tool.closeWriteChannel();
        if (!tool.waitForFinished(-1) || tool.exitCode() != 0)
            state.SkipWithError("sqlite3 failed");
    }
}
BENCHMARK(BM_SameReadsAndWritesBySqlite3Tool)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillet

BENCHMARK_MAIN();
