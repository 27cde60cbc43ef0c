#include <gtest/gtest.h>

#include "app/clients/linux/KConfigFile.h"
#include "tests/support/DataTable.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

struct Escape {
    QString value;
    QByteArray written;
};

class KConfigEscapeTest : public testing::TestWithParam<Escape> {};

TEST_P(KConfigEscapeTest, WritesKConfigsEscapesAndReadsThemBack) {
    EXPECT_EQ(KConfigEscapedValue(GetParam().value), GetParam().written);
    EXPECT_EQ(KConfigUnescapedValue(GetParam().written), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, KConfigEscapeTest,
    testing::Values(Escape{"<p>a</p>\n<p>\tb</p>\r", "<p>a</p>\\n<p>\\tb</p>\\r"},
                    Escape{"back\\slash \"quoted\" = [x]", "back\\\\slash \"quoted\" = [x]"},
                    Escape{" both ends ", "\\sboth ends\\s"}, Escape{" ", "\\s"},
                    Escape{QString("bell\x07") + QChar(0x00e9), "bell\\x07\xc3\xa9"},
                    Escape{"", ""}));

TEST(KConfigFileTest, ReadsAsKConfigDoes) {
    const KConfigFile file(ReadDataBytes("clients/linux/kconfig-read.conf"));
    EXPECT_EQ(file.groups(), (QStringList{"Identity #0", "Other"}));
    EXPECT_EQ(file.value("Identity #0", "Name"), "Ann Again");  // the last line of the key
    EXPECT_EQ(file.value("Other", "Name"), "other");
    EXPECT_EQ(file.value("Identity #0", "Email Address"), "a@x.org");
    EXPECT_EQ(file.value("", "Top"), "level");
    EXPECT_FALSE(file.value("Identity #0", "Broken line"));
    EXPECT_EQ(file.value("Identity #0", "Escape"), "\\x4");  // unknown escapes as KConfig reads
}

TEST(KConfigFileTest, ChangesOnlyTheLinesOfTheKeysAndAddsKeysWhereKConfigWouldWriteThem) {
    const QByteArray before = ReadDataBytes("clients/linux/kconfig-edited-before.conf");
    KConfigFile file(before);
    EXPECT_TRUE(file.setValue("Identity #0", "Inline Signature", "<p>new</p>\n"));
    EXPECT_TRUE(file.setValue("Identity #0", "Signature Type", "inline"));
    file.removeKey("Identity #0", "Inlined Html");
    EXPECT_TRUE(file.setValue("Identity #1", "Inline Signature", "replaced"));
    EXPECT_TRUE(file.setValue("Identity #1", "Signature Type", "inline"));
    EXPECT_FALSE(file.setValue("Identity #9", "Name", "nobody"));
    // Sorted groups get the key in its place, others after their last entry.
    EXPECT_EQ(file.contents(), ReadDataBytes("clients/linux/kconfig-edited-after.conf"));

    // Put back as it was: the same bytes.
    file.removeKey("Identity #0", "Inline Signature");
    file.removeKey("Identity #0", "Signature Type");
    file.setValue("Identity #0", "Inlined Html", "false");
    file.setValue("Identity #1", "Inline Signature", "old");
    file.removeKey("Identity #1", "Signature Type");
    EXPECT_EQ(file.contents(), before);
}

}  // namespace
}  // namespace quillet
