#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <random>

#include "app/clients/PrefsFile.h"
#include "tests/support/FileSizeLimit.h"

namespace quillet {
namespace {

class PrefsFileTest : public testing::Test {
protected:
    QString path() const { return _folder.path() + "/prefs.js"; }
    void writeBytes(const QByteArray& bytes) const {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QByteArray readBytes() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir _folder;
};

TEST_F(PrefsFileTest, PreferenceLinesNeedTheQuotedKeyACommaAndABlank) {
    const auto twoBlanks = ParsePrefsLine("  user_pref(\"a.b\",   \"x\");  ");
    ASSERT_TRUE(twoBlanks);
    EXPECT_EQ(twoBlanks->key, "a.b");
    EXPECT_EQ(twoBlanks->rawValue, "\"x\"");
    for (const char* line :
         {"user_pref(\"a.b\",\"x\");", "pref(\"a.b\", \"x\");", "// user_pref(\"a.b\", \"x\");",
          "user_pref(\" \", true);", "user_pref(\"a.b\", true)", "user_pref(\"a.b\",  );"})
        EXPECT_FALSE(ParsePrefsLine(line)) << line;
    EXPECT_EQ(ParsePrefsLine("user_pref(\"n\", 12);")->rawValue, "12");
}

TEST_F(PrefsFileTest, StringValueIsTheLastQuotedOneUnescaped) {
    const QStringList lines{
        "user_pref(\"s\", \"first\");",
        "user_pref(\"flag\", true);",
        "user_pref(\"s\", \"a \\\"q\\\" \\\\ \\n\\r \\' \\x41 \\u00e9 \\ud83d\\ude00 \\t\");",
        "user_pref(\"s.other\", \"no\");",
    };
    EXPECT_EQ(GetPrefsStringValue(lines, "s"),
              QString::fromUtf8("a \"q\" \\ \n\r ' A \xc3\xa9 \xf0\x9f\x98\x80 \\t"));
    EXPECT_FALSE(GetPrefsStringValue(lines, "flag"));
    EXPECT_FALSE(GetPrefsStringValue(lines, "missing"));
    EXPECT_FALSE(GetPrefsStringValue({"user_pref(\"s\", \");"}, "s"));
    EXPECT_EQ(GetPrefsStringValue({"user_pref(\"s\", \"\");"}, "s"), "");
}

TEST_F(PrefsFileTest, WritesStringsEscapedAsMozillaDoes) {
    EXPECT_EQ(PrefsStringRawValue(QString::fromUtf8("a\nb\r\"c\\ 'd\t\xe2\x80\xa8")),
              QString::fromUtf8("\"a\\nb\\r\\\"c\\\\ 'd\t\xe2\x80\xa8\""));
}

TEST_F(PrefsFileTest, SettingAKeyThatOccursTwiceLeavesOneLineAtTheFirstPlace) {
    const QStringList lines{"// header", "user_pref(\"k\", 1);", "user_pref(\"m\", 2);",
                            "user_pref(\"k\", 3);", ""};
    EXPECT_EQ(SetPrefsLine(lines, "k", "\"v\"", "k"),
              (QStringList{"// header", "user_pref(\"k\", \"v\");", "user_pref(\"m\", 2);", ""}));
}

TEST_F(PrefsFileTest, NewSettingGoesAfterTheLastLineOfItsGroup) {
    const QStringList lines{
        "user_pref(\"mail.identity.id1.useremail\", \"a@x.org\");",
        "user_pref(\"mail.identity.id2.useremail\", \"b@x.org\");",
        "user_pref(\"mail.identity.id1.fullName\", \"A\");",
        "user_pref(\"mail.server.server1.name\", \"s\");",
        "",
    };
    const QStringList expected{lines[0], lines[1],
                               lines[2], "user_pref(\"mail.identity.id1.htmlSigText\", \"sig\");",
                               lines[3], lines[4]};
    EXPECT_EQ(SetPrefsLine(lines, "mail.identity.id1.htmlSigText", "\"sig\"", "mail.identity.id1."),
              expected);
    // Without a line of its group: after the last preference line; without any: at the end.
    EXPECT_EQ(SetPrefsLine(lines, "mail.identity.id7.x", "true", "mail.identity.id7."),
              (QStringList{lines[0], lines[1], lines[2], lines[3],
                           "user_pref(\"mail.identity.id7.x\", true);", lines[4]}));
    EXPECT_EQ(SetPrefsLine({"// only a comment", ""}, "k", "true", "k"),
              (QStringList{"// only a comment", "", "user_pref(\"k\", true);"}));
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

TEST_F(PrefsFileTest, RemovingDropsEveryLineOfExactlyThatKey) {
    const QStringList lines{"user_pref(\"k\", 1);", "user_pref(\"k.x\", 2);", "// k",
                            "user_pref(\"k\",  3);"};
    EXPECT_EQ(RemovePrefsLines(lines, "k"), (QStringList{"user_pref(\"k.x\", 2);", "// k"}));
    EXPECT_EQ(RemovePrefsLines(lines, std::set<QString>{"k", "k.x"}), QStringList{"// k"});
}

TEST_F(PrefsFileTest, LinesEndOnlyAtLineFeedsAndCarriageReturns) {
    EXPECT_FALSE(ReadPrefsFileLines(path()));  // missing
    const QByteArray bytes = QByteArray(
        "// Mozilla User Preferences\n\n"
        "user_pref(\"a\", \"line\xe2\x80\xa8still one line\xe2\x80\xa9\xc2\x85 and more\");\n"
        "user_pref(\"b\", true);\n");
    writeBytes(bytes);
    const auto lines = ReadPrefsFileLines(path());
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->size(), 5);
    EXPECT_EQ(GetPrefsStringValue(*lines, "a"),
              QString::fromUtf8("line\xe2\x80\xa8still one line\xe2\x80\xa9\xc2\x85 and more"));
    ASSERT_TRUE(WritePrefsFileLines(path(), *lines));
    EXPECT_EQ(readBytes(), bytes);

    writeBytes("a\r\nb\rc");
    EXPECT_EQ(ReadPrefsFileLines(path()), (QStringList{"a", "", "b", "c"}));
    writeBytes("user_pref(\"a\", \"\xff\xfe\");\n");
    EXPECT_FALSE(ReadPrefsFileLines(path()));
}

TEST_F(PrefsFileTest, MultiLineValueRoundTripsThroughMozillasOwnForm) {
    const QString value = QString::fromUtf8(
        "<p>Jane \"JD\" Doe</p>\n<p>C:\\Sign\\ \xc3\xa9t\xc3\xa9 \xe2\x80\x94 it's</p>\r\n");
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
        "\xc3\xa9t\xc3\xa9 \xe2\x80\x94 it's</p>\\r\\n\");";
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

TEST_F(PrefsFileTest, RegexFirstGroupsSkipsMatchesWithoutTheGroup) {
    EXPECT_EQ(RegexFirstGroups("(a\\d)|b", "a1 b a2"), (QStringList{"a1", "a2"}));
    EXPECT_EQ(RegexFirstGroups("(\\d+)", "12x3"), (QStringList{"12", "3"}));
    EXPECT_TRUE(RegexFirstGroups("(", "(").isEmpty());
    EXPECT_TRUE(RegexFirstGroups("x", "x").isEmpty());
}

}  // namespace
}  // namespace quillet
