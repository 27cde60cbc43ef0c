#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/cli/CommandLine.h"
#include "app/demo/FakeMac.h"
#include "platform/SystemLayout.h"
#include "tests/support/CommandBuild.h"

namespace quillet {
namespace {

TEST(PlatformOption, ChoosesTheLayoutFromOptionEnvironmentAndRoot) {
    struct Case {
        const char* option;
        const char* environment;  // QUILLET_PLATFORM
        const char* root;         // --root
        const char* rootEnvironment;
        std::optional<SystemLayout> expected;
    };
    const Case cases[] = {
        {"", "", "", "", SystemLayout::linuxDesktop},
        {"", "", "/tmp/mac", "", SystemLayout::mac},
        {"", "", "", "/tmp/mac", SystemLayout::mac},
        {"linux", "", "/tmp/root", "", SystemLayout::linuxDesktop},
        {"mac", "", "", "", SystemLayout::mac},
        {"", "mac", "", "", SystemLayout::mac},
        {"", "linux", "/tmp/root", "", SystemLayout::linuxDesktop},
        {"linux", "mac", "", "", SystemLayout::linuxDesktop},
        {"", "windows", "", "", std::nullopt},
    };
    for (const Case& test : cases) {
        ::setenv("QUILLET_PLATFORM", test.environment, 1);
        ::setenv("QUILLET_ROOT", test.rootEnvironment, 1);
        const SystemLayoutChoice choice = ChooseSystemLayout(test.option, test.root);
        EXPECT_EQ(choice.layout, test.expected)
            << test.option << "|" << test.environment << "|" << test.root;
        EXPECT_EQ(choice.error.isEmpty(), test.expected.has_value());
    }
    ::unsetenv("QUILLET_PLATFORM");
    ::unsetenv("QUILLET_ROOT");

    const auto parsed = ParseCommandLine({"--platform", "linux", "clients"});
    ASSERT_TRUE(parsed.commandLine);
    EXPECT_EQ(parsed.commandLine->platform, "linux");
    EXPECT_EQ(ParseCommandLine({"--platform", "bsd", "clients"}).usageError,
              "unknown platform bsd (mac or linux)");
    EXPECT_EQ(ParseCommandLine({"--platform"}).usageError, "--platform needs a value");
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
    const auto json = nlohmann::json::parse(clients({"--json"}).toStdString());
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[1]["client"], "Thunderbird");
    EXPECT_EQ(json[1]["version"], "128.5.0");
    EXPECT_EQ(json[1]["build"], "12824.11.27");
    EXPECT_EQ(json[0]["path"], mac.rootPath("/System/Applications/Mail.app").toStdString());
}

}  // namespace
}  // namespace quillet
