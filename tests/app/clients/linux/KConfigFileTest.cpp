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

// The edits of tests/data/clients/linux/kconfig-edits.tsv, in order, on one file.
TEST(KConfigFileTest, ChangesOnlyTheLinesOfTheKeysAndAddsKeysWhereKConfigWouldWriteThem) {
    KConfigFile file(ReadDataBytes("clients/linux/kconfig-edited-before.conf"));
    for (const QStringList& row : ReadDataTable("clients/linux/kconfig-edits.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        if (row[0] == "set")
            EXPECT_EQ(file.setValue(row[1], row[2], UnescapedCell(row[3])), row[4] == "yes");
        else if (row[0] == "remove")
            file.removeKey(row[1], row[2]);
        else
            EXPECT_EQ(file.contents(), ReadDataBytes("clients/linux/" + row[1]));
    }
}

}  // namespace
}  // namespace quillet
