#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <random>

#include "app/clients/PrefsFile.h"
#include "app/demo/FakeMac.h"
#include "app/demo/FakeMacMozilla.h"
#include "tests/support/DataTable.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

class PrefsFileTest : public testing::Test {
protected:
    QString path() const { return _folder.path() + "/prefs.js"; }
    void writeBytes(const QByteArray& bytes) const { _mac.writeFile(path(), bytes); }
    QByteArray readBytes() const { return ReadFakeFile(path()).value_or(""); }

    FakeMac _mac;
    QTemporaryDir _folder{_mac.home() + "/XXXXXX"};
};

// The rows of tests/data/prefs/lines.tsv.
TEST_F(PrefsFileTest, PreferenceLinesNeedTheQuotedKeyACommaAndABlank) {
    const std::vector<QStringList> rows = ReadDataTable("prefs/lines.tsv");
    ASSERT_EQ(rows.size(), 8u);
    for (const QStringList& row : rows) {
        ASSERT_EQ(row.size(), 3) << row.join(" / ").toStdString();
        const auto parsed = ParsePrefsLine(row[0]);
        const QStringList found =
            parsed ? QStringList{parsed->key, parsed->rawValue} : QStringList{"-", "-"};
        EXPECT_EQ(found.join(' ').toStdString(), row.mid(1).join(' ').toStdString())
            << row[0].toStdString();
    }
}

// The rows of tests/data/clients/prefs/reads.tsv.
TEST_F(PrefsFileTest, LinesAndStringValuesReadAsMozillaWroteThem) {
    for (const QStringList& row : ReadDataTable("clients/prefs/reads.tsv")) {
        const auto lines = ReadPrefsFileLines(TestDataPath("clients/prefs/" + row[0]));
        const auto value =
            row[1].isEmpty() || !lines ? std::nullopt : GetPrefsStringValue(*lines, row[1]);
        const QJsonValue found = row[1].isEmpty()
                                     ? (lines ? QJsonArray::fromStringList(*lines) : QJsonValue())
                                     : (value ? QJsonValue(*value) : QJsonValue());
        EXPECT_EQ(found, QJsonDocument::fromJson(("[" + row[2] + "]").toUtf8()).array().at(0))
            << row.join(' ').toStdString();
    }
}

// The rows of tests/data/prefs/edits.tsv.
TEST_F(PrefsFileTest, SettingAndRemovingLeaveTheOtherLinesInPlace) {
    const std::vector<QStringList> rows = ReadDataTable("prefs/edits.tsv");
    ASSERT_EQ(rows.size(), 6u);
    for (const QStringList& row : rows) {
        ASSERT_EQ(row.size(), 6) << row.join(" / ").toStdString();
        const QStringList lines = row[1].split('|');
        const QStringList keys = row[2].split(',');
        const QStringList edited =
            row[3] != "-"     ? SetPrefsLine(lines, row[2], row[3], row[4])
            : keys.size() > 1 ? RemovePrefsLines(lines, std::set<QString>(keys.begin(), keys.end()))
                              : RemovePrefsLines(lines, row[2]);
        EXPECT_EQ(edited.join('|').toStdString(), row[5].toStdString()) << row[0].toStdString();
    }
}

// Random files and batches: the one-pass form must give exactly the lines that setting the
// preferences one at a time gives, whatever the groups, duplicates and other lines.
TEST_F(PrefsFileTest, SettingABatchEqualsSettingItsPreferencesOneAtATime) {
    const QStringList keys{"mail.identity.id1.htmlSigText",
                           "mail.identity.id1.sig_on_fwd",
                           "mail.identity.id2.htmlSigText",
                           "mail.identity.id2.useremail",
                           "mail.identity.id10.sig_on_reply",
                           "mail.server.x",
                           "a",
                           "ab"};
    const QStringList prefixes{"mail.identity.id1.",
                               "mail.identity.id2.",
                               "mail.identity.id10.",
                               "mail.identity.id3.",
                               "mail.",
                               "a",
                               ""};
    const QStringList rawValues{"true", "false", "\"v\"", "\"w \\\"x\\\"\"", "12"};
    const QStringList otherLines{"", "// comment", "pref(\"a\", 1);", "user_pref(\"a\",1);",
                                 "  user_pref(\"ab\",   \"two blanks\");  "};
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
        QStringList batch;
        for (const auto& s : settings)
            batch.append(s.key + " = " + s.rawValue + " in " + s.groupPrefix);
        ASSERT_EQ(SetPrefsLines(lines, settings), oneByOne)
            << "round " << round << "\nlines:\n"
            << lines.join('\n').toStdString() << "\nsettings:\n"
            << batch.join('\n').toStdString();
    }
}

TEST_F(PrefsFileTest, MultiLineValueRoundTripsThroughMozillasOwnForm) {
    // Mozilla leaves tabs, apostrophes and line separators as they are.
    const QString value = QString::fromUtf8(
        "<p>Jane \"JD\" Doe</p>\n<p>C:\\Sign\\ \xc3\xa9t\xc3\xa9 \xe2\x80\x94 "
        "it's\t\xe2\x80\xa8</p>\r\n");
    writeBytes(
        "// Mozilla User Preferences\nuser_pref(\"mail.identity.id1.useremail\", \"j@x.org\");\n");
    auto lines = ReadPrefsFileLines(path());
    ASSERT_TRUE(lines);
    lines = SetPrefsLine(*lines, "mail.identity.id1.htmlSigText", PrefsStringRawValue(value),
                         "mail.identity.id1.");
    ASSERT_TRUE(WritePrefsFileLines(path(), *lines));
    // Exactly what Mozilla's writer puts in the file for this value.
    const QByteArray mozillaLine =
        "user_pref(\"mail.identity.id1.htmlSigText\", \"<p>Jane \\\"JD\\\" "
        "Doe</p>\\n<p>C:\\\\Sign\\\\ "
        "\xc3\xa9t\xc3\xa9 \xe2\x80\x94 it's\t\xe2\x80\xa8</p>\\r\\n\");";
    EXPECT_EQ(readBytes(),
              "// Mozilla User Preferences\n"
              "user_pref(\"mail.identity.id1.useremail\", \"j@x.org\");\n" +
                  mozillaLine + "\n");

    // Read back, the line is the value again: every escape is one that the reader undoes.
    lines = ReadPrefsFileLines(path());
    ASSERT_TRUE(lines);
    EXPECT_EQ(GetPrefsStringValue(*lines, "mail.identity.id1.htmlSigText"), value);
}

TEST_F(PrefsFileTest, FailedWriteLeavesThePreviousFile) {
    writeBytes("user_pref(\"a\", 1);\n");
    {
        FileSizeLimit fullDisk(4);
        EXPECT_FALSE(WritePrefsFileLines(path(), {"user_pref(\"a\", 2);", ""}));
    }
    EXPECT_EQ(readBytes(), "user_pref(\"a\", 1);\n");
    // Nor is a half-written temporary file left beside it.
    EXPECT_EQ(QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files).size(), 1);
}

TEST_F(PrefsFileTest, ReadingFailsWhenTheFileCannotBeReadToTheEnd) {
    // The file opens, but reading it fails (address 0 of this process is never mapped): the
    // lines read so far must not pass for the whole file, or writing them back would lose the
    // rest.
    ASSERT_TRUE(QFile::link("/proc/self/mem", path()));
    EXPECT_FALSE(ReadPrefsFileLines(path()));
}

}  // namespace
}  // namespace quillet
