#include <gtest/gtest.h>

#include "common/Accounts.h"
#include "common/Signature.h"
#include "common/Text.h"

namespace quillet {
namespace {

TEST(SignatureDescription, NewSignatureHasOnlyTheAlwaysPresentItems) {
    Signature signature;
    signature.uuidX = QUuid("{6ba7b810-9dad-11d1-80b4-00c04fd430c8}");
    EXPECT_EQ(Describe(signature),
              "active: false, color index: 0, insert for replies/replies & forwards: false, "
              "insert for forwards: false, pending deletion: false, "
              "uuid: 6BA7B810-9DAD-11D1-80B4-00C04FD430C8, selected installations: [:], "
              "performed installations: [:]");
}

TEST(SignatureDescription, FilledFieldsAppearInOrderWithCharacterLengths) {
    Signature s;
    s.active = true;
    s.keyQe = "k1";
    s.mainTextQe = QString::fromUtf8("<b>👍🏽</b>");  // an emoji with a skin tone counts once
    s.lastUpdateUnixTimeQz = 42;
    s.nameQe = "Work";
    s.uuidX = QUuid::createUuid();
    SelectedInstallationsInfo all;
    all.allAccountsSelected = true;
    all.allAccountsPayloadX = SelectedInstallationPayload{true};
    all.accountEmailToPayloadMap["ignored@x.y"] = {};
    s.clientKindToSelectedInstallationsInfoMap[ClientKind::outlook] = all;
    PerformedInstallationsInfo performed;
    performed.accountEmailToPayloadMap["a@b.c"] = PerformedInstallationPayload{"ID", "héllo"};
    s.clientKindToPerformedInstallationsInfoMap[ClientKind::appleMail] = performed;
    const QString text = Describe(s);
    EXPECT_TRUE(
        text.contains("insert for forwards: false, key: k1, last update Unix time: 42, "
                      "main text: length 8, name: Work, pending deletion: false"))
        << text.toStdString();
    EXPECT_TRUE(text.contains(
        "selected installations: [Quillet.ClientKind.outlook: SelectedInstallationsInfo{all "
        "accounts selected, payload: SelectedInstallationPayload{pendingReinstallation: true}}]"));
    EXPECT_TRUE(text.contains(
        "performed installations: [Quillet.ClientKind.appleMail: PerformedInstallationsInfo{"
        "installed accounts and payloads: [\"a@b.c\": PerformedInstallationPayload{id: \"ID\", "
        "text length: 5}]}]"));
}

TEST(Accounts, DisplayNamesAndDescriptions) {
    const OutlookAccount noUserName("a@b.c", QString("Full"), std::nullopt);
    EXPECT_EQ(noUserName.displayName(), "a@b.c");
    EXPECT_EQ(noUserName.description(), "email: a@b.c, full name: Full");
    const SparkAccount owner("s@b.c", std::nullopt, QString("Owner"));
    EXPECT_EQ(owner.displayName(), "Owner - s@b.c");
    const SparkAccount titled("s@b.c", QString("Work"), QString("Owner"));
    EXPECT_EQ(titled.displayName(), "Work - s@b.c");
    const AppleMailAccount mail("m@b.c", "U", "imap", std::nullopt);
    EXPECT_EQ(mail.description(), "email: m@b.c, uuid: U, type: imap");
    const MozillaBasedClientAccount mozilla("z@b.c", "12", QString("Zed"));
    EXPECT_EQ(mozilla.displayName(), "Zed - z@b.c");
    EXPECT_EQ(mozilla.description(), "email: z@b.c, id: 12, full name: Zed");
}

TEST(Text, TypedTextLosesBreaksAndTabsThenIsTrimmed) {
    EXPECT_EQ(NormaliseTypedText(" \tab\ncd\r\n "), "abcd");
    EXPECT_EQ(NormaliseTypedText(QString::fromUtf8("\u00a0key one\u2028")), "key one");
    EXPECT_EQ(CharacterCount(QString::fromUtf8("e\u0301")), 1);  // e + combining accent
    EXPECT_EQ(CanonicalUuidText(*ParseUuid("6ba7b810-9dad-11d1-80b4-00c04fd430c8")),
              "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
    EXPECT_FALSE(ParseUuid("not a uuid"));
}

}  // namespace
}  // namespace quillet
