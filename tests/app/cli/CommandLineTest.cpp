#include <gtest/gtest.h>

#include "tests/support/CommandBuild.h"
#include "tests/support/DataTable.h"

#include "app/cli/CommandLine.h"

namespace quillet {
namespace {

TEST(CommandLine, UsageErrors) {
    for (const QStringList& row : ReadDataTable("cli/usage.tsv")) {
        const auto parse = ParseCommandLine(row.mid(1));
        EXPECT_EQ(parse.commandLine.has_value(), row.value(0).isEmpty())
            << row.join(' ').toStdString();
        if (row.value(0) != "*") {
            EXPECT_EQ(parse.usageError, row.value(0)) << row.join(' ').toStdString();
        }
    }
    QString error;
    EXPECT_FALSE(ParseCommandArguments({"--key"}, {"--key"}, {}, &error));
    EXPECT_EQ(error, "--key needs a value");
    EXPECT_FALSE(ParseCommandArguments({"--kee", "x"}, {"--key"}, {}, &error));
}

// The request paths are joined to the service URL as text: a fragment there would swallow them,
// whether the option (cli/usage.tsv) or the environment gives it.
TEST(CommandLine, AServiceUrlWithAFragmentIsRefusedFromTheEnvironment) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLET_SERVICE_URL", "http://127.0.0.1:9#x");
    const CommandRun run = RunQuillet({"--home", "/nonexistent", "refresh"}, environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(
        "QUILLET_SERVICE_URL http://127.0.0.1:9#x cannot be used: it holds a fragment"));
}

TEST(QuilletCommand, ABundleThatCannotBeReadEndsWithStatusOne) {
    EXPECT_EQ(RunQuillet({"--bundle", "/nonexistent", "--version"}).exitCode, 1);
}

}  // namespace
}  // namespace quillet
