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
const QString kName = "SyncSparkSignatures(_:_:_:_:_:)()";
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

class SparkSyncTest : public testing::Test {
protected:
    SparkSyncTest() { world.accounts = SparkAccountsInfo({"a@x.org", "b@x.org"}); }

    void create(const std::vector<FakeSparkSettingsRow>& rows) {
        path = CreateFakeSparkSettingsDatabase(world.mac, rows);
    }
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
    Json ordering() const { return value(kFakeSparkMetaGroup, kFakeSparkOrderingKey); }
    Json binding() const { return value(kFakeSparkMetaGroup, kFakeSparkBindingKey); }

    // Signature 1's row as an earlier sync wrote it.
    Json oldRow(const char* html) const {
        return {{"creationDate", 100.5},
                {"deleted", false},
                {"htmlContent", html},
                {"identifier", uuid1},
                {"matchMessageFont", false},
                {"modificationDate", 200.5},
                {"type", 1}};
    }
    std::optional<SyncSparkSignaturesError> sync() { return SyncSparkSignatures(world.inputs()); }

    SyncWorld world;
    QString path;
    std::string uuid1 = TestUuidText(1).toStdString();
    std::string uuid2 = TestUuidText(2).toStdString();
    std::string uuid3 = TestUuidText(3).toStdString();
    LogTap log;
};

// Spark's cloud sync takes rows by their status and times; what the rows hold is
// ClientSyncTest's.
TEST_F(SparkSyncTest, AFirstInstallStampsItsRowsWithTheTimeOfTheWrite) {
    SelectAccounts(world.signatures.add("<p>One</p>"), kSpark, {"a@x.org"});
    create({FakeSparkSignatureRow(kForeign, R"({"identifier":"x","deleted":false})")});
    const double before = Now();

    EXPECT_FALSE(sync());

    const double after = Now();
    Json one = signatureRow(TestUuidText(1));
    EXPECT_EQ(one["creationDate"], one["modificationDate"]);
    EXPECT_GE(one["creationDate"].get<double>(), before - kReferenceDate);
    EXPECT_LE(one["creationDate"].get<double>(), after - kReferenceDate);
    for (const Row& row : rows()) {
        if (row.key == kForeign)
            continue;
        EXPECT_EQ(row.syncStatus, 0) << row.key.toStdString();
        EXPECT_GE(row.syncDate, before);
        EXPECT_LE(row.syncDate, after);
    }
}

TEST_F(SparkSyncTest, AReSyncKeepsCreationDateAndWhatSparkAddedAndThePersonsPick) {
    Signature& one = world.signatures.add("<p>new</p>");
    SelectAccounts(one, kSpark, {"a@x.org"}, true);
    RecordInstalled(one, kSpark, "a@x.org", TestUuidText(1), "<p>old</p>");
    Signature& all = world.signatures.add("<p>all</p>");
    SelectAllAccounts(all, kSpark);
    RecordInstalled(all, kSpark, "", TestUuidText(2), "<p>all</p>");
    Json old = oldRow("<p>old</p>");
    old["fontName"] = "Helvetica";
    create({FakeSparkSignatureRow(TestUuidText(1), QString::fromStdString(old.dump())),
            FakeSparkOrderingRow("[\"" + TestUuidText(2) + "\",\"" + TestUuidText(1) + "\"]"),
            // The person picked the all-accounts signature for b@x.org in Spark.
            FakeSparkBindingRow(
                QString::fromStdString(Json{{"a@x.org", uuid1}, {"b@x.org", uuid2}}.dump()))});

    EXPECT_FALSE(sync());

    Json row = signatureRow(TestUuidText(1));
    EXPECT_EQ(row["creationDate"], 100.5);
    EXPECT_GT(row["modificationDate"].get<double>(), 200.5);
    EXPECT_EQ(row["htmlContent"], "<p>new</p>");
    EXPECT_EQ(row["fontName"], "Helvetica");
    EXPECT_EQ(ordering(), Json::array({uuid2, uuid1}));
    EXPECT_EQ(binding(), Json::object({{"a@x.org", uuid1}, {"b@x.org", uuid2}}));
    EXPECT_EQ(rows().size(), 4u);  // each row rewritten once, none added twice
}

TEST_F(SparkSyncTest, AFailedDiscoveryKeepsTheBindingsOfAccountsItDidNotReport) {
    world.accounts = SparkAccountsInfo({"a@x.org"}, AccountsInfoStatus::discoveryFailed);
    Signature& signature = world.signatures.add("<p>s</p>");
    SelectAccounts(signature, kSpark, {"a@x.org", "c@x.org", "d@x.org"});
    RecordInstalled(signature, kSpark, "c@x.org", TestUuidText(1), "<p>s</p>");
    RecordInstalled(signature, kSpark, "e@x.org", TestUuidText(1), "<p>s</p>");
    create({FakeSparkBindingRow(
        QString::fromStdString(Json{{"c@x.org", uuid1}, {"e@x.org", uuid1}}.dump()))});

    EXPECT_FALSE(sync());

    // c@x.org is still selected, only unreported; e@x.org was deselected.
    EXPECT_EQ(binding(), Json::object({{"a@x.org", uuid1}, {"c@x.org", uuid1}}));
}

TEST_F(SparkSyncTest, DeselectedSignaturesLeaveATombstoneOnlyWhereSparkHadThem) {
    Signature& gone = world.signatures.add("<p>new text</p>");
    RecordInstalled(gone, kSpark, "a@x.org", TestUuidText(1), "<p>gone</p>");
    world.signatures.add("<p>never in Spark</p>");
    const Json old = oldRow("<p>gone</p>");
    create({FakeSparkSignatureRow(TestUuidText(1), QString::fromStdString(old.dump())),
            FakeSparkOrderingRow("[\"" + TestUuidText(1) + "\",\"" + kForeign + "\"]"),
            FakeSparkBindingRow(QString::fromStdString(
                Json{{"a@x.org", uuid1}, {"b@x.org", kForeign.toStdString()}}.dump()))});

    EXPECT_FALSE(sync());

    Json tombstone = old;
    tombstone["deleted"] = true;
    EXPECT_EQ(signatureRow(TestUuidText(1)), tombstone);
    EXPECT_TRUE(signatureRow(TestUuidText(2)).is_null());
    EXPECT_EQ(ordering(), Json::array({kForeign.toStdString()}));
    EXPECT_EQ(binding(), Json::object({{"b@x.org", kForeign.toStdString()}}));
    EXPECT_FALSE(gone.clientKindToPerformedInstallationsInfoMap.count(kSpark));

    // With nothing left in the list the ordering is an empty array, and no binding row stays.
    create({FakeSparkSignatureRow(TestUuidText(1), QString::fromStdString(old.dump())),
            FakeSparkOrderingRow("[\"" + TestUuidText(1) + "\"]"),
            FakeSparkBindingRow(QString::fromStdString(Json{{"a@x.org", uuid1}}.dump()))});
    EXPECT_FALSE(sync());
    EXPECT_EQ(ordering(), Json::array());
    EXPECT_TRUE(binding().is_null());
}

TEST_F(SparkSyncTest, AFailingStatementRollsTheWholeTransactionBack) {
    SelectAccounts(world.signatures.add("<p>s</p>"), kSpark, {"a@x.org"}, true);
    const QStringList before = world.descriptions();
    const QString rollBackLine = "Error: " + kName + ": Could not roll back transaction";
    // ABORT undoes the failing statement and leaves the transaction to Quillet's ROLLBACK;
    // ROLLBACK ends it at once, so Quillet's own ROLLBACK then fails.
    for (const QString raise : {"ABORT", "ROLLBACK"}) {
        create({FakeSparkOrderingRow("[\"" + kForeign + "\"]")});
        ASSERT_TRUE(ExecuteFakeSparkSql(
            path,
            "CREATE TRIGGER refuse BEFORE INSERT ON settings WHEN NEW.itemKey = "
            "'MetaBindingSettingsKey' BEGIN SELECT RAISE(" +
                raise + ", 'refused'); END"));
        const QStringList stored = FakeSparkSettingsRows(path);
        log.clear();
        const auto error = sync();
        ASSERT_TRUE(error) << raise.toStdString();
        EXPECT_EQ(error->kind, SyncSparkSignaturesError::Kind::database);
        EXPECT_EQ(FakeSparkSettingsRows(path), stored) << raise.toStdString();
        EXPECT_EQ(log.contains(rollBackLine), raise == "ROLLBACK");
    }
    EXPECT_EQ(world.descriptions(), before);
    EXPECT_TRUE(world.saver.savedIds.empty());
}

}  // namespace
}  // namespace quillet
