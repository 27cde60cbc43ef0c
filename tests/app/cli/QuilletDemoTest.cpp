#include <gtest/gtest.h>

#include <QTemporaryDir>
#include "tests/support/CommandBuild.h"
#include "tests/support/DataTable.h"

namespace quillet {
namespace {

// The demo as the README runs it: a sample Mac in a folder, the reference service, the command
// driving itself; it must succeed and say what it wrote where. The refresh closes Apple Mail,
// writes the changed signatures and opens Apple Mail again.
TEST(QuilletDemoTest, InstallsIntoTheFiveClientsRefreshesAndShowsWhatItWrote) {
    QTemporaryDir folder;
    const CommandRun run = RunQuillet({"demo", folder.path() + "/mac"});
    const QString out = run.out + run.err;
    EXPECT_EQ(run.exitCode, 0) << out.toStdString();
    const QString refresh = out.section("== A refresh", 1);
    for (const QStringList& row : ReadDataTable("cli/demo.tsv")) {
        const QString expected = QString(row.value(1)).replace("\\n", "\n");
        EXPECT_TRUE((row.value(0) == "refresh" ? refresh : out).contains(expected))
            << expected.toStdString() << "\n"
            << out.toStdString();
    }
}

}  // namespace
}  // namespace quillet
