#include <gtest/gtest.h>

#include "app/clients/linux/KConfigFile.h"
#include "tests/support/DataTable.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

TEST(KConfigFileTest, WritesKConfigsEscapesAndReadsThemBack) {
    for (const QStringList& row : ReadDataTable("clients/linux/kconfig-escapes.tsv")) {
        EXPECT_EQ(KConfigEscapedValue(UnescapedCell(row[0])), row[1].toUtf8());
        EXPECT_EQ(KConfigUnescapedValue(row[1].toUtf8()), UnescapedCell(row[0]));
    }
}

TEST(KConfigFileTest, ReadsAsKConfigDoes) {
    const KConfigFile file(ReadDataBytes("clients/linux/kconfig-read.conf"));
    EXPECT_EQ(file.groups(), (QStringList{"Identity #0", "Other"}));
    for (const QStringList& row : ReadDataTable("clients/linux/kconfig-read.tsv"))
        EXPECT_EQ(file.value(row[0], row[1]).value_or("-"), row[2]) << row.join(' ').toStdString();
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
