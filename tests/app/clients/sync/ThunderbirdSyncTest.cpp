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

}  // namespace
}  // namespace quillet
