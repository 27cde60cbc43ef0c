#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <map>
#include <random>

#include "app/clients/PrefsFile.h"
#include "tests/support/DataTable.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

// The rows of tests/data/prefs/lines.tsv and edits.tsv, and of tests/data/clients/prefs/reads.tsv.
TEST(PrefsFileTest, LinesReadAndEditAsTheirRowsSay) {
    for (const QStringList& row : ReadDataTable("prefs/lines.tsv")) {
        const auto parsed = ParsePrefsLine(row[0]);
        EXPECT_EQ(parsed ? parsed->key + ' ' + parsed->rawValue : "- -", row[1] + ' ' + row[2]);
    }
    for (const QStringList& row : ReadDataTable("clients/prefs/reads.tsv")) {
        const auto lines = ReadPrefsFileLines(DataPath("clients/prefs/" + row[0]));
        const auto value =
            row[1].isEmpty() || !lines ? std::nullopt : GetPrefsStringValue(*lines, row[1]);
        const QJsonValue found = row[1].isEmpty()
                                     ? (lines ? QJsonArray::fromStringList(*lines) : QJsonValue())
                                     : (value ? QJsonValue(*value) : QJsonValue());
        EXPECT_EQ(found, QJsonDocument::fromJson(("[" + row[2] + "]").toUtf8()).array().at(0))
            << row.join(' ').toStdString();
    }
    for (const QStringList& row : ReadDataTable("prefs/edits.tsv")) {
        const QStringList lines = row[1].split('|');
        const QStringList keys = row[2].split(',');
        const QStringList edited =
            row[3] != "-"     ? SetPrefsLine(lines, row[2], row[3], row[4])
            : keys.size() > 1 ? RemovePrefsLines(lines, std::set<QString>(keys.begin(), keys.end()))
                              : RemovePrefsLines(lines, row[2]);
        EXPECT_EQ(edited.join('|'), row.value(5)) << row[0].toStdString();
    }
}

// Random files and batches: the one-pass form must give exactly the lines that setting the
// preferences one at a time gives, whatever the groups, duplicates and other lines.
TEST(PrefsFileTest, SettingABatchEqualsSettingItsPreferencesOneAtATime) {
    std::map<QString, QStringList> pieces;
    for (const QStringList& row : ReadDataTable("clients/prefs/batches.tsv"))
        pieces[row[0]] = row.mid(1);
    const QStringList &keys = pieces["keys"], &prefixes = pieces["prefixes"];
    const QStringList &rawValues = pieces["values"], &otherLines = pieces["other-lines"];
    std::mt19937 random(20261206);
    const auto pick = [&](const QStringList& list) {
        return list[std::uniform_int_distribution<qsizetype>(0, list.size() - 1)(random)];
    };
    const auto count = [&](int most) {
        return std::uniform_int_distribution<int>(0, most)(random);
    };
    for (int round = 0; round < 1500; ++round) {
        QStringList lines;
        for (int i = count(12); i > 0; --i)
            lines.append(count(2) ? PrefsLine(pick(keys), pick(rawValues)) : pick(otherLines));
        std::vector<PrefsLineSetting> settings;
        for (int i = count(8) + 1; i > 0; --i)
            settings.push_back({pick(keys), pick(rawValues), pick(prefixes)});

        QStringList oneByOne = lines;
        for (const auto& s : settings)
            oneByOne = SetPrefsLine(oneByOne, s.key, s.rawValue, s.groupPrefix);
        // The seed is fixed: the round number brings a failing batch back.
        ASSERT_EQ(SetPrefsLines(lines, settings), oneByOne) << "round " << round;
    }
}

}  // namespace
}  // namespace quillet
