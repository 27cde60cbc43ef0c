// Spark's sync. What it does with the rows of Spark's settings database, the times it stamps on
// them and its transactions are told as stories under tests/data/sync/spark (see the README
// there).
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

using Kind = SyncSparkSignaturesError::Kind;
constexpr ClientKind kSpark = ClientKind::spark;
constexpr double kReferenceDate = 978307200;

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

    void apply(const QStringList& row) {
        const QString& what = row[0];
        const auto cell = [&](int i) { return row.value(i); };
        if (what == "accounts") {
            accounts = CachedAccountsInfo(kSpark, row.mid(1));
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
        } else if (what == "refuse") {
            // A trigger that refuses the binding's row so: ABORT undoes the statement and leaves
            // the transaction to Quillet's ROLLBACK; ROLLBACK ends it at once, so that Quillet's
            // own then fails.
            ASSERT_TRUE(ExecuteFakeSparkSql(
                path,
                "CREATE TRIGGER refuse BEFORE INSERT ON settings WHEN NEW.itemKey = "
                "'MetaBindingSettingsKey' BEGIN SELECT RAISE(" +
                    cell(1) + ", 'refused'); END"));
            before = FakeSparkSettingsRows(path);
        } else if (what == "rows-as-before") {
            EXPECT_EQ(FakeSparkSettingsRows(path), before);
        } else if (what == "sync") {
            synced = {Now(), 0};
            const auto error = SyncSparkSignatures(inputs());
            synced.second = Now();
            EXPECT_EQ(!error                          ? "ok"
                      : error->kind == Kind::database ? "database"
                                                      : "failed",
                      cell(1));
        } else if (what == "stamped") {
            // Spark's cloud sync takes rows by their status and times: each row but the
            // person's own is stamped with the time of the write, a new signature created then.
            const Json created = signatureRow(cell(1));
            EXPECT_EQ(created["creationDate"], created["modificationDate"]);
            EXPECT_GE(created["creationDate"].get<double>(), synced.first - kReferenceDate);
            EXPECT_LE(created["creationDate"].get<double>(), synced.second - kReferenceDate);
            for (const Row& written : rows()) {
                if (written.key == cell(2))
                    continue;
                EXPECT_EQ(written.syncStatus, 0) << written.key.toStdString();
                EXPECT_GE(written.syncDate, synced.first);
                EXPECT_LE(written.syncDate, synced.second);
            }
        } else if (what == "log") {
            EXPECT_EQ(log.contains(cell(2)), cell(1) == "yes") << cell(2).toStdString();
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
    QStringList before;
    std::pair<double, double> synced;
    LogTap log;
};

TEST(SparkSyncTest, EveryStoryEndsAsItsRowsSay) {
    PlayStories<SparkWorld>("sync/spark");
}

}  // namespace
}  // namespace quillet
