#include <gtest/gtest.h>

#include "app/clients/sync/SyncPlan.h"
#include "common/Log.h"
#include "platform/Paths.h"
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

TEST(SyncPlanTest, InstallableNeedsAnActiveSelectedSignatureWithText) {
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

    const struct {
        const char* name;
        void (*change)(Signature&);
    } cases[] = {
        {"inactive", [](Signature& x) { x.active = false; }},
        {"pending deletion", [](Signature& x) { x.pendingDeletion = true; }},
        {"no text", [](Signature& x) { x.mainTextQe.clear(); }},
    };
    for (const auto& c : cases) {
        Signature changed = s;
        c.change(changed);
        EXPECT_FALSE(IsInstallable(changed, kPostbox)) << c.name;
    }
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

TEST(SyncPlanTest, EachClientRecordsItsOwnIdentifier) {
    TestSignatures signatures;
    Signature& s = signatures.add("", "Work");
    s.localTextQe = "<p>file</p>";
    const struct {
        ClientKind kind;
        QString id;
    } cases[] = {{ClientKind::appleMail, TestUuidText(1)},
                 {ClientKind::outlook, "Work"},
                 {ClientKind::postbox, TestUuidText(1)},
                 {ClientKind::spark, TestUuidText(1)},
                 {ClientKind::thunderbird, ""}};
    for (const auto& c : cases) {
        SelectAccounts(s, c.kind, {"a@x.org"});
        Update(s, c.kind, MozillaAccountsInfo({"a@x.org"}));
        EXPECT_EQ(Performed(s, c.kind), PerAccount("\"a@x.org\": " + Payload(c.id, 11)))
            << CaseName(c.kind).toStdString();
    }
}

TEST(SyncPlanTest, PerformedEntriesOfUnreportedAccountsSurviveOnlyAFailedDiscovery) {
    TestSignatures signatures;
    Signature& s = signatures.add("<p>new</p>");
    SelectAccounts(s, kThunderbird, {"a@x.org", "b@x.org"});
    RecordInstalled(s, kThunderbird, "b@x.org", "", "<p>old</p>");
    Signature afterSuccess = s;
    Update(s, kThunderbird, MozillaAccountsInfo({"a@x.org"}, kFailed));
    EXPECT_EQ(Performed(s, kThunderbird),
              PerAccount("\"a@x.org\": " + Payload("", 10) + ", \"b@x.org\": " + Payload("", 10)));
    Update(afterSuccess, kThunderbird, MozillaAccountsInfo({"a@x.org"}, kSucceeded));
    EXPECT_EQ(Performed(afterSuccess, kThunderbird), PerAccount("\"a@x.org\": " + Payload("", 10)));
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

// The closing sequence lists and saves the signatures whose installations it changed, however
// many others there are.
TEST(SyncPlanTest, FinishSyncListsAndSavesTheSignaturesItChanges) {
    TestSignatures signatures;
    SelectAccounts(signatures.add("<p>1</p>"), kThunderbird, {"a@x.org"});
    signatures.add("<p>2</p>");
    const AccountsInfo accounts = MozillaAccountsInfo({"a@x.org"});
    const ClientInfo client("/Applications/Thunderbird.app", "1", "1");
    const Paths paths("/home", "/");
    RecordingSignatureSaver saver;
    const SyncInputs inputs{client, accounts, signatures.ids(), signatures.map(), saver, paths};
    const Signature before = signatures[1];

    LogTap log;
    const QString name = SyncName("SyncThunderbirdSignatures");
    EXPECT_EQ(name, "SyncThunderbirdSignatures(_:_:_:_:_:)()");
    FinishSync(kThunderbird, inputs, name, true);

    const Signature& after = signatures[1];
    EXPECT_EQ(log.lines(),
              (std::vector<QString>{
                  "Info: SyncThunderbirdSignatures(_:_:_:_:_:): Old idToSignatureMap signatures "
                  "(2 signature(s)):\n1:\n" +
                      Describe(before) + "\n(1 other signature(s) unchanged)",
                  "Info: SyncThunderbirdSignatures(_:_:_:_:_:): New idToSignatureMap signatures "
                  "(2 signature(s)):\n1:\n" +
                      Describe(after) + "\n(1 other signature(s) unchanged)",
              }));
    EXPECT_EQ(Performed(after, kThunderbird), PerAccount("\"a@x.org\": " + Payload("", 8)));
    ASSERT_EQ(saver.savedIds.size(), 1u);
    EXPECT_EQ(saver.savedIds[0], SignatureIds{signatures.ids()[0]});
    EXPECT_EQ(saver.savedDescriptions[0][0], Describe(after));

    // Nothing left to change: nothing listed, and the store still saves what it holds.
    log.clear();
    FinishSync(kThunderbird, inputs, name, false);
    EXPECT_EQ(log.lines(),
              std::vector<QString>{"Info: SyncThunderbirdSignatures(_:_:_:_:_:): New "
                                   "idToSignatureMap signatures (2 signature(s)):\n(2 other "
                                   "signature(s) unchanged)"});
    ASSERT_EQ(saver.savedIds.size(), 2u);
    EXPECT_EQ(saver.savedIds[1], SignatureIds{});
}

}  // namespace
}  // namespace quillet
