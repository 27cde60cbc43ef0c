#include <gtest/gtest.h>

#include "tests/support/CommandBuild.h"

#include "app/cli/CommandLine.h"

namespace quillet {
namespace {

TEST(CommandLine, GlobalOptionsComeBeforeTheCommand) {
    const auto parse =
        ParseCommandLine({"--home", "/h", "--yes", "--json", "install", "--key", "k"});
    ASSERT_TRUE(parse.commandLine);
    EXPECT_EQ(parse.commandLine->home, "/h");
    EXPECT_EQ(parse.commandLine->policy, AnswerPolicy::yes);
    EXPECT_TRUE(parse.commandLine->json);
    EXPECT_EQ(parse.commandLine->command, "install");
    EXPECT_EQ(parse.commandLine->arguments, QStringList({"--key", "k"}));
}

TEST(CommandLine, UsageErrors) {
    EXPECT_FALSE(ParseCommandLine({}).commandLine);
    EXPECT_FALSE(ParseCommandLine({"--root"}).commandLine);
    EXPECT_FALSE(ParseCommandLine({"--frobnicate", "list"}).commandLine);
    EXPECT_FALSE(ParseCommandLine({"--yes", "--later", "list"}).commandLine);
    EXPECT_FALSE(ParseCommandLine({"dance"}).commandLine);
    QString error;
    EXPECT_FALSE(ParseCommandArguments({"--key"}, {"--key"}, {}, &error));
    EXPECT_EQ(error, "--key needs a value");
    EXPECT_FALSE(ParseCommandArguments({"--kee", "x"}, {"--key"}, {}, &error));
}

// The request paths are joined to the service URL as text: a fragment there would swallow them.
TEST(CommandLine, AServiceUrlWithAFragmentOrQueryIsRefusedFromTheOptionAndTheEnvironment) {
    EXPECT_EQ(ParseCommandLine({"--service", "https://s.example.com/#x", "list"}).usageError,
              "--service https://s.example.com/#x cannot be used: it holds a fragment (\"#\")");
    EXPECT_FALSE(ParseCommandLine({"--service", "http://127.0.0.1:9?a=b", "list"}).commandLine);
    EXPECT_TRUE(ParseCommandLine({"--service", "http://127.0.0.1:9/base", "list"}).commandLine);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLET_SERVICE_URL", "http://127.0.0.1:9#x");
    const CommandRun run = RunQuillet({"--home", "/nonexistent", "refresh"}, environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(
        "QUILLET_SERVICE_URL http://127.0.0.1:9#x cannot be used: it holds a fragment"));
}

TEST(QuilletCommand, VersionHelpAndUsageExitStatus) {
    const CommandRun version = RunQuillet({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("Quillet ")) << version.out.toStdString();
    const CommandRun help = RunQuillet({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("quillet [OPTIONS] COMMAND"));
    const CommandRun usage = RunQuillet({"--bogus"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_TRUE(usage.err.contains("unknown option --bogus"));
    EXPECT_EQ(RunQuillet({"--bundle", "/nonexistent", "--version"}).exitCode, 1);
}

}  // namespace
}  // namespace quillet
