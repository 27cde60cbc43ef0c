#include <gtest/gtest.h>

#include "app/clients/sync/SyncPlan.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

constexpr ClientKind kPostbox = ClientKind::postbox;
constexpr ClientKind kThunderbird = ClientKind::thunderbird;
constexpr auto kSucceeded = AccountsInfoStatus::discoverySucceeded;
constexpr auto kFailed = AccountsInfoStatus::discoveryFailed;

QString Performed(const Signature& signature, ClientKind kind) {
    const auto& map = signature.clientKindToPerformedInstallationsInfoMap;
    return map.count(kind) ? Describe(map.at(kind)) : QString("none");
}

QString Selected(const Signature& signature, ClientKind kind) {
    const auto& map = signature.clientKindToSelectedInstallationsInfoMap;
    return map.count(kind) ? Describe(map.at(kind)) : QString("none");
}

QString PerAccount(const QString& entries) {
    return "PerformedInstallationsInfo{installed accounts and payloads: [" + entries + "]}";
}

QString Payload(const QString& id, int length) {
    return "PerformedInstallationPayload{id: \"" + id +
           "\", text length: " + QString::number(length) + "}";
}

void Update(Signature& signature, ClientKind kind, const AccountsInfo& accounts) {
    UpdateInstallations(kind, DiscoveryStateOf(accounts), signature);
}

TEST(SyncPlanTest, EffectiveTextPrefersTheServiceText) {
    Signature signature;
    EXPECT_FALSE(EffectiveText(signature));
    signature.localTextQe = "local";
    EXPECT_EQ(EffectiveText(signature), "local");
    signature.mainTextQe = "main";
    EXPECT_EQ(EffectiveText(signature), "main");
}

TEST(SyncPlanTest, InstallableSignaturesAreSelectedForAnAccountTheClientHolds) {
    TestSignatures signatures;
    Signature& s = signatures.add("<p>A</p>");
    EXPECT_FALSE(IsInstallable(s, kPostbox));  // not selected
    SelectAccounts(s, kPostbox, {});
    EXPECT_TRUE(IsInstallable(s, kPostbox));
    // Selected for no account at all: installable, but not something the client must hold.
    const AccountsInfo accounts = MozillaAccountsInfo({"a@x.org"});
    EXPECT_TRUE(InstallableSignatureIds(kPostbox, accounts, signatures.map()).empty());
    // Selected for an address that a successful discovery did not report: it waits elsewhere.
    SelectAccounts(s, kPostbox, {"gone@x.org"});
    EXPECT_TRUE(InstallableSignatureIds(kPostbox, accounts, signatures.map()).empty());
    EXPECT_EQ(InstallableSignatureIds(kPostbox,
                                      MozillaAccountsInfo({}, AccountsInfoStatus::discoveryFailed),
                                      signatures.map()),
              std::set{signatures.id(1)});
    SelectAllAccounts(s, kPostbox);
    EXPECT_EQ(InstallableSignatureIds(kPostbox, accounts, signatures.map()),
              std::set{signatures.id(1)});
}

TEST(SyncPlanTest, TheEarlierSignatureWinsAnAccountAndAllAccountsNeverEnter) {
    TestSignatures signatures;
    SelectAllAccounts(signatures.add("<p>all</p>"), kPostbox);
    SelectAccounts(signatures.add(""), kPostbox, {"a@x.org"});  // no text: skipped
    SelectAccounts(signatures.add("<p>3</p>"), kPostbox, {"a@x.org", "b@x.org"});
    SelectAccounts(signatures.add("<p>4</p>"), kPostbox, {"a@x.org", "c@x.org"});
    SelectAccounts(signatures.add("<p>5</p>"), kThunderbird, {"c@x.org"});
    const auto map = AccountEmailToSignatureIdMap(
        kPostbox, MozillaAccountsInfo({"a@x.org", "b@x.org", "c@x.org", "d@x.org"}),
        signatures.ids(), signatures.map());
    const std::map<QString, SignatureId> expected{{"a@x.org", signatures.id(3)},
                                                  {"b@x.org", signatures.id(3)},
                                                  {"c@x.org", signatures.id(4)}};
    EXPECT_EQ(map, expected);
}

TEST(SyncPlanTest, BookkeepingCases) {
    TestSignatures signatures;
    const QString uuid = TestUuidText(1);

    // All accounts with a failed discovery: installed for all accounts all the same.
    Signature& all = signatures.add("<p>all</p>");
    SelectAllAccounts(all, kPostbox, true);
    Update(all, kPostbox, MozillaAccountsInfo({}, kFailed));
    EXPECT_EQ(
        Performed(all, kPostbox),
        "PerformedInstallationsInfo{all accounts installed, payload: " + Payload(uuid, 10) + "}");
    EXPECT_EQ(Selected(all, kPostbox),
              "SelectedInstallationsInfo{all accounts selected, payload: "
              "SelectedInstallationPayload{pendingReinstallation: false}}");

    // An account that discovery did not report: nothing performed, the mark stays.
    Signature& unreported = signatures.add("<p>u</p>");
    SelectAccounts(unreported, kPostbox, {"gone@x.org", "here@x.org"}, true);
    Update(unreported, kPostbox, MozillaAccountsInfo({"here@x.org"}, kFailed));
    EXPECT_EQ(Performed(unreported, kPostbox),
              PerAccount("\"here@x.org\": " + Payload(TestUuidText(2), 8)));
    EXPECT_EQ(Selected(unreported, kPostbox),
              "SelectedInstallationsInfo{selected accounts and payloads: [\"gone@x.org\": "
              "SelectedInstallationPayload{pendingReinstallation: true}, \"here@x.org\": "
              "SelectedInstallationPayload{pendingReinstallation: false}]}");

    // Deselected while discovery failed: unknown accounts stay recorded, known ones go; the same
    // for a signature that became inactive. After a successful discovery everything goes.
    for (const bool inactive : {false, true}) {
        Signature& deselected = signatures.add("<p>d</p>");
        deselected.active = !inactive;
        RecordInstalled(deselected, kPostbox, "known@x.org", "id", "<p>d</p>");
        RecordInstalled(deselected, kPostbox, "unknown@x.org", "id", "<p>d</p>");
        Signature copy = deselected;
        Update(deselected, kPostbox, MozillaAccountsInfo({"known@x.org"}, kFailed));
        EXPECT_EQ(Performed(deselected, kPostbox),
                  PerAccount("\"unknown@x.org\": " + Payload("id", 8)))
            << inactive;
        Update(copy, kPostbox, MozillaAccountsInfo({"known@x.org"}, kSucceeded));
        EXPECT_EQ(Performed(copy, kPostbox), "none") << inactive;
    }

    // Without any text the signature is not installable and its record goes.
    Signature& textless = signatures.add("");
    SelectAccounts(textless, kPostbox, {"a@x.org"});
    RecordInstalled(textless, kPostbox, "a@x.org", "id", "<p>old</p>");
    EXPECT_FALSE(IsInstallable(textless, kPostbox));
    Update(textless, kPostbox, MozillaAccountsInfo({"a@x.org"}));
    EXPECT_EQ(Performed(textless, kPostbox), "none");
}

TEST(SyncPlanTest, AnAccountDefaultIsReleasedOnlyWhenQuilletSetItOrTheSignatureLeaves) {
    TestSignatures signatures;
    Signature& perAccount = signatures.add("<p>p</p>");
    SelectAccounts(perAccount, kPostbox, {"kept@x.org"});
    RecordInstalled(perAccount, kPostbox, "kept@x.org", TestUuidText(1), "<p>p</p>");
    RecordInstalled(perAccount, kPostbox, "dropped@x.org", TestUuidText(1), "<p>p</p>");
    Signature& all = signatures.add("<p>all</p>");
    SelectAllAccounts(all, kPostbox);
    RecordInstalled(all, kPostbox, "", TestUuidText(2), "<p>all</p>");

    const struct {
        Signature* signature;
        bool staysInClient;
        QString email;
        bool released;
    } cases[] = {
        {&perAccount, false, "kept@x.org", true},    // the signature leaves the client
        {&perAccount, true, "dropped@x.org", true},  // Quillet bound it, no longer selected
        {&perAccount, true, "kept@x.org", false},    // still selected (an unreported account)
        {&perAccount, true, "person@x.org", false},  // the person picked it
        {&all, true, "person@x.org", false},         // picked from an all-accounts signature
        {&all, false, "person@x.org", true},         // which then left the client
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReleasesAccountDefault(kPostbox, *c.signature, c.staysInClient, c.email),
                  c.released)
            << c.email.toStdString() << " " << c.staysInClient;
    }
}

}  // namespace
}  // namespace quillet
