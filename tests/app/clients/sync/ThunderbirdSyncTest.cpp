#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/clients/PrefsFile.h"
#include "app/clients/sync/ThunderbirdSync.h"
#include "app/demo/FakeMacAccounts.h"
#include "common/Log.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

constexpr ClientKind kThunderbird = ClientKind::thunderbird;
const QString kName = "SyncThunderbirdSignatures(_:_:_:_:_:)()";

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

class ThunderbirdSyncTest : public testing::Test {
protected:
    ThunderbirdSyncTest() {
        world.clientInfo.mozillaBasedClientProfilePathQ = profile;
        world.accounts = MozillaAccountsInfo({"one@x.org", "two@x.org"});
    }

    // Identities 1 and 2 with their addresses, then the extra lines.
    void writePrefs(const QStringList& extra) {
        QStringList lines{"// Mozilla User Preferences", ""};
        lines += FakeIdentityPrefsLines("1", "one@x.org");
        lines += FakeIdentityPrefsLines("2", "two@x.org", "Two");
        lines.append("user_pref(\"mail.smtp.defaultserver\", \"smtp1\");");
        lines += extra;
        WriteFakePrefsFile(profile, lines);
    }
    QStringList prefsLines() const { return ReadPrefsFileLines(prefsPath).value_or(QStringList()); }
    std::optional<SyncThunderbirdSignaturesError> sync() {
        return SyncThunderbirdSignatures(world.inputs());
    }

    SyncWorld world;
    QString profile = world.mac.addMozillaProfile(kThunderbird);
    QString prefsPath = profile + "/prefs.js";
    LogTap log;
};

TEST_F(ThunderbirdSyncTest, WritesTheAssignedSignatureIntoItsIdentity) {
    const QString text = "<p>\"Jane\" \\ Doe</p>\n<p>Example</p>";
    Signature& signature = world.signatures.add(text);
    signature.insertForRepliesForwards = true;
    SelectAccounts(signature, kThunderbird, {"two@x.org"}, true);
    writePrefs({"user_pref(\"mail.identity.id2.sig_on_reply\", false);"});

    EXPECT_FALSE(sync());

    const QStringList lines = prefsLines();
    const QString prefix = "user_pref(\"mail.identity.id2.";
    // The existing line is replaced where it stands, the others follow the identity's last line.
    QStringList expected{"// Mozilla User Preferences", ""};
    expected += FakeIdentityPrefsLines("1", "one@x.org");
    expected += FakeIdentityPrefsLines("2", "two@x.org", "Two");
    expected += QStringList{
        "user_pref(\"mail.smtp.defaultserver\", \"smtp1\");",
        prefix + "sig_on_reply\", true);",
        prefix + "htmlSigText\", \"<p>\\\"Jane\\\" \\\\ Doe</p>\\n<p>Example</p>\");",
        prefix + "htmlSigFormat\", true);",
        prefix + "sig_on_fwd\", false);",
        "",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(GetPrefsStringValue(lines, "mail.identity.id2.htmlSigText"), text);
    EXPECT_EQ(
        Describe(world.signatures[1].clientKindToPerformedInstallationsInfoMap.at(kThunderbird)),
        "PerformedInstallationsInfo{installed accounts and payloads: [\"two@x.org\": "
        "PerformedInstallationPayload{id: \"\", text length: 34}]}");
    EXPECT_FALSE(world.signatures[1]
                     .clientKindToSelectedInstallationsInfoMap.at(kThunderbird)
                     .accountEmailToPayloadMap.at("two@x.org")
                     .pendingReinstallation);
    const auto logged = log.lines();
    ASSERT_GE(logged.size(), 3u);
    EXPECT_EQ(logged[0], "Info: " + kName);
    EXPECT_EQ(logged[1], "Info: " + kName + ": Writing out " + prefsPath + "...");
    // The signatures the sync changed, listed as one entry.
    EXPECT_TRUE(
        logged[2].startsWith("Info: SyncThunderbirdSignatures(_:_:_:_:_:): Old "
                             "idToSignatureMap signatures (1 signature(s)):\n1:\n"))
        << logged[2].toStdString();
    EXPECT_EQ(world.saver.savedIds.size(), 1u);
}

TEST_F(ThunderbirdSyncTest, ADeselectedIdentityLosesQuilletsTextButNeverThePersonsOwn) {
    const QString text = QString::fromUtf8("<p>Jos\xc3\xa9</p>\n<p>\"x\"</p>");
    const struct {
        const char* name;
        QString rawValue;  // identity 2's htmlSigText as the file holds it
        bool recorded;     // Quillet's installation into identity 2 wrote `text`
        bool removed;
    } cases[] = {
        {"as Quillet wrote it", PrefsStringRawValue(text), true, true},
        {"as Mozilla rewrote it", "\"<p>Jos\\u00e9</p>\\n<p>\\\"x\\\"</p>\"", true, true},
        {"the person's own text", PrefsStringRawValue(text), false, false},
        {"changed by the person", PrefsStringRawValue("<p>mine</p>"), true, false},
    };
    for (const auto& c : cases) {
        world.signatures = TestSignatures();
        Signature& signature = world.signatures.add(text);
        if (c.recorded)
            RecordInstalled(signature, kThunderbird, "two@x.org", "", text);
        const QString prefix = "user_pref(\"mail.identity.id2.";
        const QStringList signatureLines{
            prefix + "htmlSigText\", " + c.rawValue + ");", prefix + "htmlSigFormat\", true);",
            prefix + "sig_on_reply\", true);", prefix + "sig_on_fwd\", true);"};
        writePrefs(signatureLines);
        const QStringList before = prefsLines();

        EXPECT_FALSE(sync()) << c.name;

        QStringList expected = before;
        if (c.removed) {
            for (const QString& line : signatureLines)
                expected.removeOne(line);
        }
        EXPECT_EQ(prefsLines(), expected) << c.name;
        EXPECT_FALSE(
            world.signatures[1].clientKindToPerformedInstallationsInfoMap.count(kThunderbird))
            << c.name;
    }
}

TEST_F(ThunderbirdSyncTest, AFileThatCannotBeReadOrWrittenChangesNothing) {
    Signature& signature = world.signatures.add("<p>new</p>");
    SelectAccounts(signature, kThunderbird, {"one@x.org"}, true);
    RecordInstalled(signature, kThunderbird, "one@x.org", "", "<p>old</p>");
    const QStringList before = world.descriptions();

    // A folder where prefs.js should be cannot be read.
    QDir().mkpath(prefsPath);
    EXPECT_EQ(sync()->pathX, prefsPath);
    EXPECT_TRUE(log.contains("Error: " + kName + ": Could not read prefs file " + prefsPath));
    QDir(prefsPath).removeRecursively();

    // A prefs.js that lives where no file can be written: it reads, but cannot be replaced.
    QFile::link("/proc/version", prefsPath);
    const QByteArray file = ReadBytes(prefsPath);
    const auto error = sync();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, SyncThunderbirdSignaturesError::Kind::fileSystem);
    EXPECT_EQ(error->pathX, prefsPath);
    EXPECT_TRUE(log.contains("Error: " + kName + ": Could not write out " + prefsPath));
    EXPECT_EQ(ReadBytes(prefsPath), file);

    EXPECT_EQ(world.descriptions(), before);
    EXPECT_TRUE(world.saver.savedIds.empty());
}

}  // namespace
}  // namespace quillet
