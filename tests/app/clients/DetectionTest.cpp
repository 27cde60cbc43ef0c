#include "app/clients/Detection.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <atomic>
#include <thread>

#include "app/demo/FakeMac.h"
#include "common/Log.h"
#include "platform/Plist.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

class DetectionTest : public testing::Test {
protected:
    ClientInfoMap detect() { return FindInstalledClients(mac.paths(), probe); }
    // What detection found for the kind; fields that match nothing when it was not found.
    static ClientInfo Found(const ClientInfoMap& map, ClientKind kind) {
        if (map.count(kind) == 0)
            return ClientInfo("not found", "", "");
        return *map.at(kind);
    }
    // Detects and logs as a start-up does, with a probe of its own.
    ClientInfoMap detectAndLog(const OutlookModeProbe& modeProbe) {
        const ClientInfoMap map = FindInstalledClients(mac.paths(), modeProbe);
        LogDetectedClients(map, AvailableClientKinds(map), mac.paths(), modeProbe, *brand);
        return map;
    }

    FakeMac mac;
    TestPlatform test{mac};
    std::optional<Brand> brand = Brand::load(*test.bundle, Brand::Deliverable::desktopApp, nullptr);
    OutlookModeProbe probe{mac.paths()};
    LogTap log;
};

TEST_F(DetectionTest, AppleMailNeedsADataFolderAndTakesTheFirstUsableBundle) {
    mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0",
                           "3774.600.62");
    // A Mail.app in /Applications whose Info.plist is an array is no bundle of Mail's.
    mac.writeFile("/Applications/Mail.app/Contents/Info.plist", Plist::array().toXml());
    mac.addAppleMailData("V2");  // older than any Mail that is served
    EXPECT_TRUE(detect().empty());
    EXPECT_TRUE(log.contains("Error: Could not find Apple Mail data path"));

    mac.addAppleMailData("V9");
    const QString newest = mac.addAppleMailData("V10");
    const ClientInfo info = Found(detect(), ClientKind::appleMail);
    EXPECT_EQ(info.path, mac.rootPath("/System/Applications/Mail.app"));
    EXPECT_EQ(info.bundleShortVersionString, "16.0");
    EXPECT_EQ(info.bundleVersion, "3774.600.62");
    EXPECT_EQ(info.appleMailDataPathQ, newest);
    EXPECT_TRUE(log.contains("Info: Found Apple Mail data at " + newest));

    const QString first = mac.installClient(ClientKind::appleMail, "16.1");
    EXPECT_EQ(Found(detect(), ClientKind::appleMail).path, first);
}

TEST_F(DetectionTest, OnlyAnInfoPlistDictionaryWithBothVersionStringsIsFound) {
    mac.installApplication("/Applications", "Spark.app", "com.readdle.smartemail-Mac", "3.19.4",
                           "1893", /*binaryInfoPlist=*/true);
    mac.writeFile("/Applications/Microsoft Outlook.app/Contents/Info.plist",
                  Plist::array().toBinary());
    Plist noBuild = Plist::dictionary();
    noBuild.node().set("CFBundleShortVersionString", Plist::string("128.5.0"));
    mac.writeFile("/Applications/Thunderbird.app/Contents/Info.plist", noBuild.toXml());
    noBuild.node().set("CFBundleShortVersionString", Plist::integer(7));
    noBuild.node().set("CFBundleVersion", Plist::string("7"));
    mac.writeFile("/Applications/Postbox.app/Contents/Info.plist", noBuild.toXml());
    mac.addMozillaProfile(ClientKind::thunderbird);
    mac.addMozillaProfile(ClientKind::postbox);
    mac.writeFile("/Applications/Mail.app", Plist::dictionary().toXml());  // a file, no folder
    mac.writeFile("/System/Applications/Mail.app/Contents/Info.plist", "not a plist");
    mac.addAppleMailData();

    const ClientInfoMap map = detect();
    EXPECT_EQ(map.size(), 1u);
    EXPECT_EQ(Found(map, ClientKind::spark).bundleShortVersionString, "3.19.4");
    EXPECT_EQ(Found(map, ClientKind::spark).bundleVersion, "1893");
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
        outlookMac.installClient(ClientKind::outlook, version);
        const OutlookModeProbe legacy(outlookMac.paths());
        EXPECT_EQ(Found(FindInstalledClients(outlookMac.paths(), legacy), ClientKind::outlook)
                      .outlookVersionKindQ,
                  kind);
    }
    const std::tuple<const char*, const char*, int> comparisons[] = {
        {"16.41", "16.041", 0},
        {"16.80", "16.80.1", -1},
        {"16.2a", "16.2b", -1},
        {"123456789012345678901234567890", "99999999999999999999", 1}};
    for (const auto& [a, b, sign] : comparisons) {
        const int result = CompareVersions(a, b);
        EXPECT_EQ((result > 0) - (result < 0), sign) << a << " vs " << b;
    }
}

TEST_F(DetectionTest, NewOrUndeterminableOutlookIsNotOffered) {
    ASSERT_TRUE(brand);
    mac.installClient(ClientKind::outlook, "16.80");
    mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "1");
    EXPECT_TRUE(detectAndLog(probe).empty());
    EXPECT_TRUE(
        log.contains("Info: Outlook mode: new (IsRunningNewOutlook output: \"1\", error: \"\")"));
    EXPECT_TRUE(
        log.contains("Info: New Outlook detected: not offered as a client; users are "
                     "directed to " +
                     brand->newOutlookURL().toString()));

    mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "maybe");
    EXPECT_EQ(GetOutlookMode(mac.paths()).mode, OutlookMode::unknown);
    QFile::remove(mac.rootPath("/usr/bin/defaults"));
    const OutlookModeProbe missingTool(mac.paths());
    EXPECT_TRUE(FindInstalledClients(mac.paths(), missingTool).empty());
    EXPECT_EQ(missingTool.get().probeText, "IsRunningNewOutlook output: \"\", error: \"\"");
    EXPECT_TRUE(IsNewOutlookDetected(missingTool, {}));
}

TEST_F(DetectionTest, UnsetPreferenceMeansLegacyAndTheReportListsTheClientsInOrder) {
    ASSERT_TRUE(brand);
    detectAndLog(probe);
    EXPECT_EQ(probe.get().probeText,
              "IsRunningNewOutlook output: \"\", error: \"The domain/default pair of "
              "(com.microsoft.Outlook, IsRunningNewOutlook) does not exist\"");

    // An Office 2011 Outlook is served but is not where the mode line looks.
    mac.installApplication("/Applications/Microsoft Office 2011", "Microsoft Outlook.app",
                           "com.microsoft.Outlook", "14.7.7", "14.7.7");
    EXPECT_EQ(Found(detectAndLog(probe), ClientKind::outlook).bundleVersion, "14.7.7");
    EXPECT_FALSE(log.containsText("Outlook mode: "));

    mac.installClient(ClientKind::outlook, "16.41");
    mac.installClient(ClientKind::spark, "3.19.4");
    mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
    mac.addMozillaProfile(ClientKind::thunderbird);
    log.clear();
    detectAndLog(probe);
    EXPECT_EQ(log.lines(),
              (std::vector<QString>{
                  "Info: Available clients:",
                  "Info:     Microsoft Outlook 16.41 at " +
                      mac.rootPath("/Applications/Microsoft Outlook.app"),
                  "Info:     Spark 3.19.4 at " + mac.rootPath("/Applications/Spark.app"),
                  "Info:     Thunderbird 128.5.0 (12824.11.27) at " +
                      mac.rootPath("/Applications/Thunderbird.app"),
                  "Info: Outlook mode: legacy (" + probe.get().probeText + ")"}));
    EXPECT_EQ(
        ClientDescription(ClientKind::spark, ClientInfo("/Applications/Spark.app", "3.1", "")),
        "Spark 3.1");
}

TEST_F(DetectionTest, OutlookModeIsProbedOnceEvenFromSeveralThreads) {
    const QString counter = mac.rootPath("/var/fake-mac/defaults-runs");
    mac.writeFile("/usr/bin/defaults",
                  ("#!/bin/sh\necho run >> '" + counter + "'\necho 0\n").toUtf8());
    QFile::setPermissions(mac.rootPath("/usr/bin/defaults"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    std::atomic<int> legacyAnswers{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] { legacyAnswers += probe.get().mode == OutlookMode::legacy; });
    for (auto& thread : threads)
        thread.join();
    probe.get();

    EXPECT_EQ(legacyAnswers, 4);
    QFile runs(counter);
    ASSERT_TRUE(runs.open(QIODevice::ReadOnly));
    EXPECT_EQ(runs.readAll(), "run\n");
}

// Which profile is the default, and the lines told when none is, are the profiles look-up's own
// (ProfilesIniTest); a folder that cannot be listed is told as such, not as an empty one.
TEST_F(DetectionTest, AProfilesFolderThatCannotBeListedIsTold) {
    const QString folder = mac.paths().userLibrary() + "/Thunderbird/Profiles";
    mac.writeFile(folder, "a file where the profiles folder should be");
    EXPECT_FALSE(FindMozillaProfilePath(ClientKind::thunderbird, {folder}));
    EXPECT_TRUE(log.contains("Error: Thunderbird: Could not get directory contents for " + folder));
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

    QDir(newer).removeRecursively();
    EXPECT_EQ(Found(detect(), ClientKind::postbox).mozillaBasedClientProfilePathQ,
              older + "/old.default");
}

TEST_F(DetectionTest, NewOutlookNoticeOpensTheGuideOnItsFirstButton) {
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
