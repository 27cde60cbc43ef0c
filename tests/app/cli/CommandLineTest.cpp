#include <gtest/gtest.h>

#include "tests/support/CommandBuild.h"
#include "tests/support/DataTable.h"

#include "app/cli/CommandLine.h"

namespace quillet {
namespace {

TEST(CommandLine, GlobalOptionsComeBeforeTheCommand) {
    const auto parse =
        ParseCommandLine({"--home", "/h", "--yes", "--json", "install", "--key", "k"});
    ASSERT_TRUE(parse);
    EXPECT_EQ(parse->home, "/h");
    EXPECT_EQ(parse->policy, AnswerPolicy::yes);
    EXPECT_TRUE(parse->json);
    EXPECT_EQ(parse->command, "install");
    EXPECT_EQ(parse->arguments, QStringList({"--key", "k"}));
}

TEST(CommandLine, UsageErrors) {
    for (const QStringList& row : ReadDataTable("cli/usage.tsv")) {
        const auto parse = ParseCommandLine(row.mid(1));
        EXPECT_EQ(parse.has_value(), row.value(0).isEmpty()) << row.join(' ').toStdString();
        if (row.value(0) != "*") {
            EXPECT_EQ(parse.error(), row.value(0)) << row.join(' ').toStdString();
        }
    }
    const auto missing = ParseCommandArguments({"--key"}, {"--key"}, {});
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error(), "--key needs a value");
    EXPECT_FALSE(ParseCommandArguments({"--kee", "x"}, {"--key"}, {}));
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
