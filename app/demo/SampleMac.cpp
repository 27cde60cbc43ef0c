#include "app/demo/SampleMac.h"

#include <QDir>

#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacAppleMail.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "app/demo/FakeMacSpark.h"

namespace quillet {

namespace {

const QString kOwnAppleMailSignature = R"(Content-Type: text/html;
	charset=utf-8
Message-Id: <MINE@example.com>
Mime-Version: 1.0 (Mac OS X Mail 16.0)

<p>Ann, written by hand</p>)";

void BuildAppleMail(const FakeMac& mac, SampleMac& sample) {
    mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0",
                           "3774.500.171");
    const FakeAppleMailFiles files(mac);
    SetFakeAppleMailAccounts(mac, {{"ACC-ANN", "ann@example.com", "Ann Example"},
                                   {"ACC-HOME", "ann.home@example.com", "Ann Example"}});
    WriteFakePlist(files.accountsMap, R"(<dict>
  <key>ACC-ANN</key><dict><key>AccountURL</key><string>imap://ann%40example.com</string>
    <key>Signatures</key><array><string>MINE</string></array></dict>
  <key>ACC-HOME</key><dict><key>AccountURL</key><string>imap://ann.home%40example.com</string>
    <key>Signatures</key><array/></dict>
</dict>)");
    WriteFakePlist(files.allSignatures, R"(<array>
  <dict><key>SignatureUniqueId</key><string>MINE</string><key>SignatureName</key><string>Mine</string>
    <key>SignatureIsRich</key><true/></dict>
</array>)");
    WriteFakePlist(files.preferences, R"(<dict>
  <key>SignaturesSelected</key><dict><key>ACC-ANN</key><string>MINE</string></dict>
</dict>)");
    mac.writeFile(files.signatureFile("MINE"), kOwnAppleMailSignature.toUtf8());
    QDir().mkpath(files.cacheFolder + "/Signatures");
    // Readable only with Full Disk Access: the permission counts as granted.
    WriteFakePlist(files.dataFolder + "/VIPMailboxes.plist", "<array/>");
    sample.appleMailSignaturesFolder = files.signaturesFolder;
    sample.appleMailOwnSignatureFile = files.signatureFile("MINE");
}

void BuildOutlook(const FakeMac& mac, SampleMac& sample) {
    mac.installClient(ClientKind::outlook, "16.80", "16.80.23121017");
    mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "0");
    SetFakeOutlookAccounts(mac, {{"jane@example.com", "Jane Example", "jane"}});
    SetFakeOutlookSignatures(mac, {{"Mine", "<p>Jane, by hand</p>"}});
    SetFakeOutlookDefaultSignatures(mac, {{"jane@example.com", {"Mine", "None"}}});
    sample.outlookState = mac.rootPath("/var/fake-mac/clients.json");
}

void BuildMozillaClients(const FakeMac& mac, SampleMac& sample) {
    mac.installClient(ClientKind::postbox, "7.0.60");
    const QString postbox = mac.addMozillaProfile(ClientKind::postbox, "m1x2.default");
    sample.postboxPrefs =
        WriteFakePrefsFile(postbox, FakeIdentityPrefsLines("1", "pat@example.com", "Pat") +
                                        FakeIdentityPrefsLines("2", "pam@example.com", "Pam"));
    sample.postboxSignatures = WriteFakePostboxSignatures(
        postbox, R"([{"key":"own","name":"Mine","body":"<p>Pat, by hand</p>"}])");

    mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
    sample.thunderbirdPrefs =
        WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird, "t7q1.default"),
                           FakeIdentityPrefsLines("1", "tom@example.com", "Tom") +
                               FakeIdentityPrefsLines("2", "tim@example.com", "Tim") +
                               QStringList{kSampleThunderbirdOwnLine});
}

void BuildSpark(const FakeMac& mac, SampleMac& sample) {
    mac.installClient(ClientKind::spark, "3.9.2", "3.9.2.61213");
    CreateFakeSparkMessagesDatabase(
        mac, {{"Work", "Sue Example", SparkAdditionalInfo("sue@example.com")},
              {"Home", "Sam Example", SparkAdditionalInfo("sam@example.com")}});
    sample.sparkSettings = CreateFakeSparkSettingsDatabase(
        mac, {FakeSparkSignatureRow("AAAAAAAA-0000-0000-0000-000000000001",
                                    R"({"identifier":"AAAAAAAA-0000-0000-0000-000000000001",)"
                                    R"("title":"Mine","body":"<p>Sue, by hand</p>"})")});
}

}  // namespace

SampleMac BuildSampleMac(const FakeMac& mac) {
    SampleMac sample;
    mac.setAccessibilityTrusted(true);
    BuildAppleMail(mac, sample);
    BuildOutlook(mac, sample);
    BuildMozillaClients(mac, sample);
    BuildSpark(mac, sample);
    return sample;
}

SampleMac MovedSampleMac(const SampleMac& sample, const QString& from, const QString& to) {
    SampleMac moved = sample;
    for (QString* path : {&moved.appleMailSignaturesFolder, &moved.appleMailOwnSignatureFile,
                          &moved.outlookState, &moved.postboxPrefs, &moved.postboxSignatures,
                          &moved.sparkSettings, &moved.thunderbirdPrefs}) {
        if (path->startsWith(from + "/"))
            path->replace(0, from.size(), to);
    }
    return moved;
}

}  // namespace quillet
