// Spark's sync. What it does with the rows of Spark's settings database is told as stories under
// tests/data/sync/spark (see the README there); the times it stamps and its transactions are
// here.
#include <gtest/gtest.h>

#include <QDateTime>
#include <nlohmann/json.hpp>

#include "app/clients/sync/SparkSync.h"
#include "app/demo/FakeMacSpark.h"
#include "common/Log.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

using Json = nlohmann::json;

constexpr ClientKind kSpark = ClientKind::spark;
constexpr double kReferenceDate = 978307200;
const QString kForeign = "AAAAAAAA-0000-0000-0000-000000000001";

double Now() {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

struct Row {
    QString group, key, value;
    double syncDate = 0;
    int syncStatus = 0;
};

Json JsonOf(const QString& text) {
    return text == "-" ? Json() : Json::parse(text.toStdString());
}

class SparkWorld : public SyncWorld {
public:
    explicit SparkWorld(const QString& = {}) : SyncWorld(kSpark) {}

    std::vector<Row> rows() const {
        std::vector<Row> result;
        for (const QString& line : FakeSparkSettingsRows(path)) {
            const QStringList columns = line.split('|');
            result.push_back(
                {columns[0], columns[1], columns[2], columns[3].toDouble(), columns[4].toInt()});
        }
        return result;
    }
    // The newest row's JSON with that group and key; null when there is none.
    Json value(const QString& group, const QString& key) const {
        Json found;
        for (const Row& row : rows()) {
            if (row.group == group && row.key == key)
                found = Json::parse(row.value.toStdString());
        }
        return found;
    }
    Json signatureRow(const QString& identifier) const {
        return value(kFakeSparkSignaturesGroup, identifier);
    }
    std::optional<SyncSparkSignaturesError> sync() { return SyncSparkSignatures(inputs()); }

    void apply(const QStringList& row) {
        const QString& what = row[0];
        const auto cell = [&](int i) { return row.value(i); };
        if (what == "accounts") {
            accounts = SparkAccountsInfo(row.mid(1));
        } else if (what == "discovery") {
            accounts.status = AccountsInfoStatus::discoveryFailed;
        } else if (what == "database") {
            std::vector<FakeSparkSettingsRow> settings;
            for (const QString& setting : row.mid(1)) {
                const QString key = setting.section('=', 0, 0);
                const QString json = setting.section('=', 1);
                settings.push_back(key == "ordering"  ? FakeSparkOrderingRow(json)
                                   : key == "binding" ? FakeSparkBindingRow(json)
                                                      : FakeSparkSignatureRow(key, json));
            }
            path = CreateFakeSparkSettingsDatabase(mac, settings);
        } else if (what == "sync") {
            EXPECT_EQ(sync() ? "failed" : "ok", cell(1));
        } else if (what == "signature-row") {
            EXPECT_EQ(signatureRow(cell(1)), JsonOf(cell(2)));
        } else if (what == "signature-has") {
            const Json row = signatureRow(cell(1));
            const Json members = JsonOf(cell(2));
            for (const auto& [key, expected] : members.items())
                EXPECT_EQ(row.value(key, Json()), expected) << key;
        } else if (what == "modified-after") {
            EXPECT_GT(signatureRow(cell(1)).value("modificationDate", 0.0), cell(2).toDouble());
        } else if (what == "ordering" || what == "binding") {
            EXPECT_EQ(value(kFakeSparkMetaGroup,
                            what == "ordering" ? kFakeSparkOrderingKey : kFakeSparkBindingKey),
                      JsonOf(cell(1)));
        } else if (what == "row-count") {
            EXPECT_EQ(rows().size(), cell(1).toULongLong());
        } else {
            ADD_FAILURE() << "no such row: " << what.toStdString();
        }
    }

    QString path;
    LogTap log;
};

TEST(SparkSyncTest, EveryStoryEndsAsItsRowsSay) {
    PlayStories<SparkWorld>("sync/spark");
}

// Spark's cloud sync takes rows by their status and times; what the rows hold is
// ClientSyncTest's.
TEST(SparkSyncTest, AFirstInstallStampsItsRowsWithTheTimeOfTheWrite) {
    SparkWorld spark;
    spark.apply({"accounts", "a@x.org", "b@x.org"});
    spark.store.apply({"signature", "One", "<p>One</p>", "a@x.org"});
    spark.apply({"database", kForeign + R"(={"identifier":"x","deleted":false})"});
    const double before = Now();

    EXPECT_FALSE(spark.sync());

    const double after = Now();
    Json one = spark.signatureRow(TestUuidText(1));
    EXPECT_EQ(one["creationDate"], one["modificationDate"]);
    EXPECT_GE(one["creationDate"].get<double>(), before - kReferenceDate);
    EXPECT_LE(one["creationDate"].get<double>(), after - kReferenceDate);
    for (const Row& row : spark.rows()) {
        if (row.key == kForeign)
            continue;
        EXPECT_EQ(row.syncStatus, 0) << row.key.toStdString();
        EXPECT_GE(row.syncDate, before);
        EXPECT_LE(row.syncDate, after);
    }
}

TEST(SparkSyncTest, AFailingStatementRollsTheWholeTransactionBack) {
    SparkWorld spark;
    spark.apply({"accounts", "a@x.org", "b@x.org"});
    spark.store.apply({"signature", "One", "<p>s</p>", "a@x.org", "pending"});
    const QStringList before = spark.store.signatures.descriptions();
    const QString rollBackLine =
        "Error: SyncSparkSignatures(_:_:_:_:_:)(): Could not roll back transaction";
    // ABORT undoes the failing statement and leaves the transaction to Quillet's ROLLBACK;
    // ROLLBACK ends it at once, so Quillet's own ROLLBACK then fails.
    for (const QString raise : {"ABORT", "ROLLBACK"}) {
        spark.apply({"database", "ordering=[\"" + kForeign + "\"]"});
        ASSERT_TRUE(ExecuteFakeSparkSql(
            spark.path,
            "CREATE TRIGGER refuse BEFORE INSERT ON settings WHEN NEW.itemKey = "
            "'MetaBindingSettingsKey' BEGIN SELECT RAISE(" +
                raise + ", 'refused'); END"));
        const QStringList stored = FakeSparkSettingsRows(spark.path);
        spark.log.clear();
        const auto error = spark.sync();
        ASSERT_TRUE(error) << raise.toStdString();
        EXPECT_EQ(error->kind, SyncSparkSignaturesError::Kind::database);
        EXPECT_EQ(FakeSparkSettingsRows(spark.path), stored) << raise.toStdString();
        EXPECT_EQ(spark.log.contains(rollBackLine), raise == "ROLLBACK");
    }
    EXPECT_EQ(spark.store.signatures.descriptions(), before);
    EXPECT_TRUE(spark.store.saver.savedIds.empty());
}

}  // namespace
}  // namespace quillet
