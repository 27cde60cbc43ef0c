#include "app/clients/Detection.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <atomic>
#include <thread>

#include "common/Log.h"
#include "platform/Plist.h"
#include "tests/support/FakeMac.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

class DetectionTest : public testing::Test {
protected:
    ClientInfoMap detect() { return FindInstalledClients(mac.paths(), probe); }

    // Replaces the defaults stand-in by a script that counts its runs and prints a value.
    QString installCountingDefaults(const QString& value) {
        const QString counter = mac.rootPath("/var/fake-mac/defaults-runs");
        mac.writeFile("/usr/bin/defaults",
                      ("#!/bin/sh\necho run >> '" + counter + "'\necho " + value + "\n").toUtf8());
        QFile::setPermissions(mac.rootPath("/usr/bin/defaults"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return counter;
    }

    FakeMac mac;
    OutlookModeProbe probe{mac.paths()};
    LogTap log;
};

TEST_F(DetectionTest, FindsAppleMailUnderSystemApplicationsWithItsNewestDataFolder) {
    const QString bundle = mac.installApplication("/System/Applications", "Mail.app",
                                                  "com.apple.mail", "16.0", "3774.600.62");
    mac.addAppleMailData("V9");
    const QString newest = mac.addAppleMailData("V10");

    const ClientInfoMap map = detect();

    ASSERT_EQ(map.count(ClientKind::appleMail), 1u);
    const ClientInfo& info = *map.at(ClientKind::appleMail);
    EXPECT_EQ(info.path, bundle);
    EXPECT_EQ(info.bundleShortVersionString, "16.0");
    EXPECT_EQ(info.bundleVersion, "3774.600.62");
    EXPECT_EQ(info.appleMailDataPathQ, newest);
    EXPECT_TRUE(log.contains("Info: Found Apple Mail data at " + newest));
}

TEST_F(DetectionTest, PrefersTheFirstFolderAndFallsBackPastAnUnusableBundle) {
    mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0", "1");
    mac.addAppleMailData("V3");
    // A Mail.app in /Applications whose Info.plist is an array is no bundle of Mail's.
    mac.writeFile("/Applications/Mail.app/Contents/Info.plist", Plist::array().toXml());

    ClientInfoMap map = detect();
    ASSERT_EQ(map.count(ClientKind::appleMail), 1u);
    EXPECT_EQ(map.at(ClientKind::appleMail)->path, mac.rootPath("/System/Applications/Mail.app"));

    const QString first = mac.installClient(ClientKind::appleMail, "16.1");
    map = detect();
    ASSERT_EQ(map.count(ClientKind::appleMail), 1u);
    EXPECT_EQ(map.at(ClientKind::appleMail)->path, first);
}

TEST_F(DetectionTest, AppleMailWithoutDataFolderIsNotOffered) {
    mac.installClient(ClientKind::appleMail, "16.0");
    mac.addAppleMailData("V2");  // older than any Mail that is served

    EXPECT_TRUE(detect().empty());
    EXPECT_TRUE(log.contains("Error: Could not find Apple Mail data path"));
}

TEST_F(DetectionTest, ReadsABinaryInfoPlist) {
    mac.installApplication("/Applications", "Spark.app", "com.readdle.smartemail-Mac", "3.19.4",
                           "1893", /*binaryInfoPlist=*/true);

    const ClientInfoMap map = detect();

    ASSERT_EQ(map.count(ClientKind::spark), 1u);
    EXPECT_EQ(map.at(ClientKind::spark)->bundleShortVersionString, "3.19.4");
    EXPECT_EQ(map.at(ClientKind::spark)->bundleVersion, "1893");
}

TEST_F(DetectionTest, InfoPlistThatIsNoDictionaryOrLacksVersionsIsNotFound) {
    mac.writeFile("/Applications/Spark.app/Contents/Info.plist", Plist::array().toBinary());
    Plist noBuild = Plist::dictionary();
    noBuild.node().set("CFBundleShortVersionString", Plist::string("128.5.0"));
    mac.writeFile("/Applications/Thunderbird.app/Contents/Info.plist", noBuild.toXml());
    mac.addMozillaProfile(ClientKind::thunderbird);
    Plist numericVersion = Plist::dictionary();
    numericVersion.node().set("CFBundleShortVersionString", Plist::integer(7));
    numericVersion.node().set("CFBundleVersion", Plist::string("7"));
    mac.writeFile("/Applications/Postbox.app/Contents/Info.plist", numericVersion.toXml());
    mac.addMozillaProfile(ClientKind::postbox);
    mac.writeFile("/Applications/Microsoft Outlook.app/Contents/Info.plist", "not a plist");
    // A file where the bundle folder should be.
    mac.writeFile("/Applications/Mail.app", Plist::dictionary().toXml());
    mac.addAppleMailData();

    EXPECT_TRUE(detect().empty());
}

TEST_F(DetectionTest, OutlookVersionClassesCompareNumerically) {
    const std::pair<const char*, OutlookVersionKind> cases[] = {
        {"16.41", OutlookVersionKind::v16_41To79},    {"16.40", OutlookVersionKind::v16_Pre41},
        {"16.9", OutlookVersionKind::v16_Pre41},      {"16.80", OutlookVersionKind::v16_80OrNewer},
        {"15.41", OutlookVersionKind::v15},           {"14.7.7", OutlookVersionKind::v14OrOlder},
        {"16.100", OutlookVersionKind::v16_80OrNewer}};
    for (const auto& [version, kind] : cases) {
        SCOPED_TRACE(version);
        FakeMac outlookMac;
        OutlookModeProbe legacy(outlookMac.paths());
        outlookMac.installClient(ClientKind::outlook, version);

        const ClientInfoMap map = FindInstalledClients(outlookMac.paths(), legacy);

        ASSERT_EQ(map.count(ClientKind::outlook), 1u);
        EXPECT_EQ(map.at(ClientKind::outlook)->outlookVersionKindQ, kind);
    }
}

TEST(CompareVersionsTest, ComparesDigitRunsAsNumbers) {
    EXPECT_LT(CompareVersions("16.9", "16.41"), 0);
    EXPECT_GT(CompareVersions("16.41", "16.9"), 0);
    EXPECT_EQ(CompareVersions("16.41", "16.041"), 0);
    EXPECT_LT(CompareVersions("14.7.7", "15.0"), 0);
    EXPECT_LT(CompareVersions("16.80", "16.80.1"), 0);
    EXPECT_GT(CompareVersions("123456789012345678901234567890", "99999999999999999999"), 0);
    EXPECT_LT(CompareVersions("16.2a", "16.2b"), 0);
}

TEST_F(DetectionTest, NewOutlookIsNotOfferedAndIsLogged) {
    mac.installClient(ClientKind::outlook, "16.80");
    mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "1");
    TestPlatform test(mac);
    QString error;
    const auto brand = Brand::load(*test.bundle, Brand::Deliverable::desktopApp, &error);
    ASSERT_TRUE(brand) << error.toStdString();

    const ClientInfoMap map = detect();
    LogDetectedClients(map, AvailableClientKinds(map), mac.paths(), probe, *brand);

    EXPECT_TRUE(map.empty());
    EXPECT_EQ(probe.get().mode, OutlookMode::new_);
    EXPECT_TRUE(IsNewOutlookDetected(probe, map));
    EXPECT_TRUE(
        log.contains("Info: Outlook mode: new (IsRunningNewOutlook output: \"1\", error: \"\")"));
    EXPECT_TRUE(
        log.contains("Info: New Outlook detected: not offered as a client; users are "
                     "directed to " +
                     brand->newOutlookURL().toString()));
}

TEST_F(DetectionTest, UnsetPreferenceMeansLegacyAndTheModeLineNeedsOutlookInApplications) {
    TestPlatform test(mac);
    const auto brand = Brand::load(*test.bundle, Brand::Deliverable::desktopApp, nullptr);
    ASSERT_TRUE(brand);

    ClientInfoMap map = detect();
    LogDetectedClients(map, AvailableClientKinds(map), mac.paths(), probe, *brand);

    EXPECT_EQ(probe.get().mode, OutlookMode::legacy);
    EXPECT_EQ(probe.get().probeText,
              "IsRunningNewOutlook output: \"\", error: \"The domain/default pair of "
              "(com.microsoft.Outlook, IsRunningNewOutlook) does not exist\"");
    EXPECT_FALSE(IsNewOutlookDetected(probe, map));
    EXPECT_FALSE(log.containsText("Outlook mode: "));
    EXPECT_FALSE(log.containsText("New Outlook detected"));

    // An Office 2011 Outlook is served but is not where the mode line looks.
    mac.installApplication("/Applications/Microsoft Office 2011", "Microsoft Outlook.app",
                           "com.microsoft.Outlook", "14.7.7", "14.7.7");
    map = detect();
    LogDetectedClients(map, AvailableClientKinds(map), mac.paths(), probe, *brand);
    ASSERT_EQ(map.count(ClientKind::outlook), 1u);
    EXPECT_EQ(map.at(ClientKind::outlook)->outlookVersionKindQ, OutlookVersionKind::v14OrOlder);
    EXPECT_FALSE(log.containsText("Outlook mode: "));

    mac.installClient(ClientKind::outlook, "16.41");
    map = detect();
    LogDetectedClients(map, AvailableClientKinds(map), mac.paths(), probe, *brand);
    EXPECT_TRUE(log.contains("Info: Outlook mode: legacy (" + probe.get().probeText + ")"));
    EXPECT_FALSE(log.containsText("New Outlook detected"));
}

TEST_F(DetectionTest, OutlookModeWithoutAnAnswerIsUnknownAndOutlookIsNotOffered) {
    mac.installClient(ClientKind::outlook, "16.80");
    mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "maybe");
    EXPECT_EQ(GetOutlookMode(mac.paths()).mode, OutlookMode::unknown);

    QFile::remove(mac.rootPath("/usr/bin/defaults"));
    const ClientInfoMap map = detect();

    EXPECT_EQ(probe.get().mode, OutlookMode::unknown);
    EXPECT_EQ(probe.get().probeText, "IsRunningNewOutlook output: \"\", error: \"\"");
    EXPECT_TRUE(map.empty());
    EXPECT_TRUE(IsNewOutlookDetected(probe, map));
}

TEST_F(DetectionTest, OutlookModeIsProbedOnceEvenFromSeveralThreads) {
    const QString counter = installCountingDefaults("0");

    std::atomic<int> legacyAnswers{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            if (probe.get().mode == OutlookMode::legacy)
                ++legacyAnswers;
        });
    }
    for (auto& thread : threads)
        thread.join();
    probe.get();

    EXPECT_EQ(legacyAnswers, 4);
    QFile runs(counter);
    ASSERT_TRUE(runs.open(QIODevice::ReadOnly));
    EXPECT_EQ(runs.readAll(), "run\n");
}

TEST_F(DetectionTest, OnlyADotDefaultProfileQualifies) {
    mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
    const QString release = mac.addMozillaProfile(ClientKind::thunderbird, "k3v9.default-release");
    const QString folder = mac.paths().userLibrary() + "/Thunderbird/Profiles";

    EXPECT_TRUE(detect().empty());
    EXPECT_TRUE(log.contains("Error: Thunderbird: Default profile not found in " + folder +
                             "\nAvailable profiles: (\n    \"" +
                             QUrl::fromLocalFile(release).toString() + "/\"\n)"));

    const QString profile = mac.addMozillaProfile(ClientKind::thunderbird, "x1y2.default");
    const ClientInfoMap map = detect();
    ASSERT_EQ(map.count(ClientKind::thunderbird), 1u);
    EXPECT_EQ(map.at(ClientKind::thunderbird)->mozillaBasedClientProfilePathQ, profile);
}

TEST_F(DetectionTest, PostboxLooksOnlyInTheFirstProfilesFolderThatExists) {
    mac.installClient(ClientKind::postbox, "7.0.60");
    const QString newer = mac.paths().userLibrary() + "/Application Support/PostboxApp/Profiles";
    const QString older = mac.paths().userLibrary() + "/Application Support/Postbox/Profiles";
    QDir().mkpath(older + "/old.default");
    QDir().mkpath(newer + "/new.default-release");

    EXPECT_TRUE(detect().empty());
    EXPECT_TRUE(log.containsText("Postbox: Default profile not found in " + newer + "\n"));
    EXPECT_FALSE(log.containsText(older));

    QDir(newer + "/new.default-release").removeRecursively();
    EXPECT_TRUE(detect().empty());
    EXPECT_TRUE(log.contains("Warning: Postbox: Empty profiles directory: " + newer));

    QDir(newer).removeRecursively();
    const ClientInfoMap map = detect();
    ASSERT_EQ(map.count(ClientKind::postbox), 1u);
    EXPECT_EQ(map.at(ClientKind::postbox)->mozillaBasedClientProfilePathQ, older + "/old.default");
}

TEST_F(DetectionTest, MozillaProfilesFolderFailures) {
    const QString folder = mac.paths().userLibrary() + "/Thunderbird/Profiles";

    EXPECT_FALSE(FindMozillaProfilePath(ClientKind::thunderbird, {folder}));
    EXPECT_TRUE(log.contains("Warning: Thunderbird: No profiles directory exists"));

    mac.writeFile(folder, "a file where the profiles folder should be");
    EXPECT_FALSE(FindMozillaProfilePath(ClientKind::thunderbird, {folder}));
    EXPECT_TRUE(log.contains("Error: Thunderbird: Could not get directory contents for " + folder));
}

TEST_F(DetectionTest, LogsTheAvailableClientsInClientOrder) {
    mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
    mac.addMozillaProfile(ClientKind::thunderbird);
    mac.installClient(ClientKind::spark, "3.19.4", "3.19.4");
    TestPlatform test(mac);
    const auto brand = Brand::load(*test.bundle, Brand::Deliverable::desktopApp, nullptr);
    ASSERT_TRUE(brand);

    const ClientInfoMap map = detect();
    const std::vector<ClientKind> kinds = AvailableClientKinds(map);
    log.clear();
    LogDetectedClients(map, kinds, mac.paths(), probe, *brand);

    EXPECT_EQ(kinds, (std::vector<ClientKind>{ClientKind::spark, ClientKind::thunderbird}));
    const std::vector<QString> expected = {
        "Info: Available clients:",
        "Info:     Spark 3.19.4 at " + mac.rootPath("/Applications/Spark.app"),
        "Info:     Thunderbird 128.5.0 (12824.11.27) at " +
            mac.rootPath("/Applications/Thunderbird.app")};
    EXPECT_EQ(log.lines(), expected);
    EXPECT_EQ(
        ClientDescription(ClientKind::spark, ClientInfo("/Applications/Spark.app", "3.1", "")),
        "Spark 3.1");
}

TEST_F(DetectionTest, NewOutlookNoticeOpensTheGuideOnItsFirstButton) {
    TestPlatform test(mac);
    const auto brand = Brand::load(*test.bundle, Brand::Deliverable::desktopApp, nullptr);
    ASSERT_TRUE(brand);

    test.prompter.answerWith("Close");
    ShowNewOutlookNotice(test.prompter, test.workspace, *brand);
    EXPECT_TRUE(mac.workspaceLog().isEmpty());

    ShowNewOutlookNotice(test.prompter, test.workspace, *brand);
    ASSERT_EQ(test.prompter.shown().size(), 2u);
    const Alert& alert = test.prompter.shown().back();
    EXPECT_EQ(alert.title, "New Outlook isn't supported by this app");
    EXPECT_EQ(alert.informativeText, brand->newOutlookMessage());
    EXPECT_EQ(alert.buttons, (QStringList{brand->newOutlookButton(), "Close"}));
    EXPECT_EQ(mac.workspaceLog(), QStringList{"open " + brand->newOutlookURL().toString()});
}

}  // namespace
}  // namespace quillet
