#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/cli/CommandLine.h"
#include "app/demo/FakeMac.h"
#include "platform/SystemLayout.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/DataTable.h"
#include "tests/support/SampleMacCommand.h"

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
    const auto missing = ParseCommandArguments({"--key"}, {"--key"}, {});
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error(), "--key needs a value");
    EXPECT_FALSE(ParseCommandArguments({"--kee", "x"}, {"--key"}, {}));
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

// --platform linux under a root: the Linux layout there, as this desktop would be; the Mac
// layout by default.
TEST(PlatformOption, TheLinuxLayoutFindsOnlyThunderbirdAndTheMacLayoutItsBundles) {
    FakeMac mac;
    mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
    mac.addMozillaProfile(ClientKind::thunderbird);
    mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0", "3774");
    mac.addAppleMailData();
    mac.writeFile(mac.rootPath("/usr/lib/thunderbird/application.ini"),
                  "[App]\nVersion=153.8.0\nBuildID=20261120213735\n");
    mac.writeFile(mac.homePath(".thunderbird/profiles.ini"),
                  "[Profile0]\nIsRelative=1\nPath=p1.default-default\nDefault=1\n");
    QDir().mkpath(mac.homePath(".thunderbird/p1.default-default"));

    const auto clients = [&](const QStringList& platform) {
        const CommandRun run = RunQuillet(
            platform + QStringList{"--root", mac.root(), "--home", mac.home(), "--bundle",
                                   mac.bundlePath(), "--service", "http://127.0.0.1:9", "clients"});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.out;
    };
    EXPECT_EQ(clients({"--platform", "linux"}),
              "Thunderbird\tThunderbird 153.8.0 (20261120213735)\t" +
                  mac.rootPath("/usr/lib/thunderbird") + "\n");
    // The Mac's clients in client order.
    EXPECT_EQ(clients({}), "AppleMail\tApple Mail 16.0 (3774)\t" +
                               mac.rootPath("/System/Applications/Mail.app") +
                               "\nThunderbird\tThunderbird 128.5.0 (12824.11.27)\t" +
                               mac.rootPath("/Applications/Thunderbird.app") + "\n");
    EXPECT_EQ(clients({}), clients({"--platform", "mac"}));
    ExpectJsonFields(nlohmann::json::parse(clients({"--json"}).toStdString()),
                     "cli/json-fields.tsv", "clients");
}

}  // namespace
}  // namespace quillet
