#include <gtest/gtest.h>

#include <cstdlib>

#include "app/cli/CommandLine.h"
#include "platform/SystemLayout.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/DataTable.h"

namespace quillet {
namespace {

TEST(CommandLine, UsageErrors) {
    for (const QStringList& row : ReadDataTable("cli/usage.tsv")) {
        const auto parse = ParseCommandLine(row.mid(1));
        EXPECT_EQ(parse.has_value(), row.value(0).isEmpty()) << row.join(' ').toStdString();
        if (row.value(0) != "*") {
            EXPECT_EQ(parse.error(), row.value(0)) << row.join(' ').toStdString();
        }
    }
}

// The request paths are joined to the service URL as text: a fragment there would swallow them,
// whether the option (cli/usage.tsv) or the environment gives it. A bundle that cannot be read
// ends the command too.
TEST(QuilletCommand, AServiceUrlWithAFragmentOrABundleThatCannotBeReadEndsWithStatusOne) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLET_SERVICE_URL", "http://127.0.0.1:9#x");
    const CommandRun run = RunQuillet({"--home", "/nonexistent", "refresh"}, environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(
        "QUILLET_SERVICE_URL http://127.0.0.1:9#x cannot be used: it holds a fragment"));
    EXPECT_EQ(RunQuillet({"--bundle", "/nonexistent", "--version"}).exitCode, 1);
}

TEST(PlatformOption, ChoosesTheLayoutFromOptionEnvironmentAndRoot) {
    for (const QStringList& row : ReadDataTable("cli/platform-choice.tsv")) {
        ::setenv("QUILLET_PLATFORM", row.value(1).toUtf8().constData(), 1);
        ::setenv("QUILLET_ROOT", row.value(3).toUtf8().constData(), 1);
        const SystemLayoutChoice choice = ChooseSystemLayout(row.value(0), row.value(2));
        const std::map<QString, std::optional<SystemLayout>> layouts = {
            {"mac", SystemLayout::mac}, {"linux", SystemLayout::linuxDesktop}, {"none", {}}};
        EXPECT_EQ(choice.layout, layouts.at(row.value(4))) << row.join('|').toStdString();
        EXPECT_EQ(choice.error.isEmpty(), choice.layout.has_value());
    }
    ::unsetenv("QUILLET_PLATFORM");
    ::unsetenv("QUILLET_ROOT");
}

}  // namespace
}  // namespace quillet
