#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/clients/PrefsFile.h"
#include "app/clients/sync/PostboxSync.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacMozilla.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

constexpr ClientKind kPostbox = ClientKind::postbox;
const QString kKey1 = "mail.identity.id1.pbSignatureKey";
const QString kKey2 = "mail.identity.id2.pbSignatureKey";

class PostboxSyncTest : public testing::Test {
protected:
    PostboxSyncTest() {
        world.clientInfo.mozillaBasedClientProfilePathQ = profile;
        world.accounts = MozillaAccountsInfo({"one@x.org", "two@x.org"});
    }

    // Identities 1 and 2, then the extra lines.
    void writePrefs(const QStringList& extra = {}) {
        QStringList lines{"// Mozilla User Preferences", ""};
        lines += FakeIdentityPrefsLines("1", "one@x.org");
        lines += FakeIdentityPrefsLines("2", "two@x.org");
        lines += extra;
        WriteFakePrefsFile(profile, lines);
    }
    QStringList prefsLines() const { return ReadPrefsFileLines(prefsPath).value_or(QStringList()); }
    std::optional<QString> pbSignatureKey(const QString& key) const {
        return GetPrefsStringValue(prefsLines(), key);
    }
    QByteArray list() const { return ReadFakeFile(listPath).value_or("(none)"); }
    std::optional<SyncPostboxSignaturesError> sync() {
        return SyncPostboxSignatures(world.inputs());
    }

    SyncWorld world;
    QString profile = world.mac.addMozillaProfile(kPostbox);
    QString prefsPath = profile + "/prefs.js";
    QString listPath = FakePostboxSignaturesPath(profile);
    QString uuid1 = TestUuidText(1);
    QString uuid2 = TestUuidText(2);
};

TEST_F(PostboxSyncTest, WithoutAListTheFileHoldsOnlyQuilletsEntry) {
    SelectAccounts(world.signatures.add("<p>One</p>", "One"), kPostbox, {"one@x.org"});
    writePrefs();
    EXPECT_FALSE(sync());
    EXPECT_EQ(list(), R"([{"key":")" + uuid1.toUtf8() + R"(","name":"One","body":"<p>One</p>"}])");
    EXPECT_EQ(pbSignatureKey(kKey1), uuid1);
}

TEST_F(PostboxSyncTest, ADeselectedEntryLeavesAndItsIdentityFallsBackToPostboxsDefault) {
    for (const bool withDefault : {true, false}) {
        world.signatures = TestSignatures();
        Signature& deselected = world.signatures.add("<p>gone</p>");
        RecordInstalled(deselected, kPostbox, "one@x.org", uuid1, "<p>gone</p>");
        const QByteArray defaultEntry =
            withDefault ? R"({"key":"sigKeyDefault","name":"Default","body":"<p>d</p>"},)" : "";
        const QByteArray own = R"({"key":"own","name":"Mine","body":"<p>mine</p>","extra":"x"})";
        const QByteArray keyless = R"({"name":"No key"})";
        WriteFakePostboxSignatures(profile, "[" + defaultEntry + own + R"(,{"key":")" +
                                                uuid1.toUtf8() + R"(","name":"Old","body":"b"},)" +
                                                keyless + "]");
        writePrefs({PrefsLine(kKey1, PrefsStringRawValue(uuid1)),
                    PrefsLine(kKey2, PrefsStringRawValue("own"))});

        EXPECT_FALSE(sync()) << withDefault;

        EXPECT_EQ(list(), "[" + defaultEntry + own + "," + keyless + "]") << withDefault;
        EXPECT_EQ(pbSignatureKey(kKey1),
                  withDefault ? std::optional<QString>("sigKeyDefault") : std::nullopt);
        EXPECT_EQ(pbSignatureKey(kKey2), "own");
        EXPECT_FALSE(deselected.clientKindToPerformedInstallationsInfoMap.count(kPostbox));
    }
}

TEST_F(PostboxSyncTest, AnUpdatedEntryKeepsItsPlaceAndMembersAndThePersonsPick) {
    Signature& all = world.signatures.add("<p>new text</p>", "All");
    SelectAllAccounts(all, kPostbox, true);
    RecordInstalled(all, kPostbox, "", uuid1, "<p>old text</p>");
    WriteFakePostboxSignatures(profile,
                               R"([{"key":")" + uuid1.toUtf8() +
                                   R"(","body":"<p>old text</p>","color":"red","name":"All"},)"
                                   R"({"key":"own","name":"Mine","body":"m"}])");
    // The person picked the all-accounts signature for identity 1 in Postbox.
    writePrefs({PrefsLine(kKey1, PrefsStringRawValue(uuid1))});

    EXPECT_FALSE(sync());

    EXPECT_EQ(list(), R"([{"key":")" + uuid1.toUtf8() +
                          R"(","body":"<p>new text</p>","color":"red","name":"All"},)"
                          R"({"key":"own","name":"Mine","body":"m"}])");
    EXPECT_EQ(pbSignatureKey(kKey1), uuid1);
}

}  // namespace
}  // namespace quillet
