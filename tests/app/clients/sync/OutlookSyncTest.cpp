#include <gtest/gtest.h>

#include <QFile>

#include "app/base/AppleScript.h"
#include "app/clients/accounts/OutlookAccounts.h"
#include "app/clients/sync/OutlookSync.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacOutlook.h"
#include "tests/support/SyncTestSupport.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

using Kind = SyncOutlookSignaturesError::Kind;
const QString kGet = "Outlook-GetSignatures";
const QString kCreate = "Outlook-CreateSignature";
const QString kDelete = "Outlook-DeleteSignature";
const QString kMainB = "Outlook-SetDefaultSignatures16-Main-B";
const QString kReadB = "Outlook-ReadDefaultSignatures16-Main-B";
constexpr auto kOutlook = ClientKind::outlook;

class OutlookSyncTest : public testing::Test {
protected:
    // Outlook's accounts in the stand-in, and as the version's listing reports them.
    void setAccounts(const std::vector<FakeOutlookAccount>& fakeAccounts,
                     OutlookVersionKind kind = OutlookVersionKind::v16_80OrNewer) {
        SetFakeOutlookAccounts(mac, fakeAccounts);
        accounts = AccountsInfo{};
        accounts.status = AccountsInfoStatus::discoverySucceeded;
        accounts.accounts = *(kind == OutlookVersionKind::v16_80OrNewer
                                  ? DiscoverOutlookAccountsB(runner, {})
                                  : DiscoverOutlookAccountsA(runner, clientInfo(kind), {}));
    }

    static ClientInfo clientInfo(OutlookVersionKind kind) {
        ClientInfo info("/Applications/Microsoft Outlook.app", "16.80", "16.80");
        info.outlookVersionKindQ = kind;
        return info;
    }

    std::optional<SyncOutlookSignaturesError> sync(
        OutlookVersionKind kind = OutlookVersionKind::v16_80OrNewer) {
        const ClientInfo info = clientInfo(kind);
        SyncInputs inputs{info, accounts, signatures.ids(), signatures.map(), saver, mac.paths()};
        return SyncOutlookSignatures(inputs, environment);
    }

    // A signature selected for the accounts and recorded as installed in Outlook under `name`.
    Signature& installed(const QString& text, const QString& name, const QStringList& emails) {
        Signature& signature = signatures.add(text, name);
        SelectAccounts(signature, kOutlook, emails);
        for (const QString& email : emails)
            RecordInstalled(signature, kOutlook, email, name, text);
        return signature;
    }

    // The sync's script runs (the listing that found the accounts left out).
    QStringList runs() const {
        QStringList names = mac.osascriptRuns();
        names.removeIf([](const QString& name) {
            return name.isEmpty() || name.startsWith("Outlook-ListAccounts");
        });
        return names;
    }

    FakeMac mac;
    TestPlatform platform{mac};
    AppleScriptRunner runner{mac.paths(), *platform.bundle};
    OutlookSyncEnvironment environment{runner, *platform.bundle, std::chrono::milliseconds(0)};
    TestSignatures signatures;
    RecordingSignatureSaver saver;
    AccountsInfo accounts;
};

// The store as a sync killed right after Outlook created the signature leaves it: signature 1's
// record as saved last before the create script ran.
struct KilledAtCreate : SignatureSaver {
    explicit KilledAtCreate(const FakeMac& mac) : mac(mac) {}
    void saveSignatures(const SignatureIds&, const IdToSignatureMap& map) override {
        if (!mac.osascriptRuns().contains(kCreate))
            kept = *map.at(SignatureId{1});
    }
    const FakeMac& mac;
    std::optional<Signature> kept;
};

TEST_F(OutlookSyncTest, ASignatureCreatedByASyncKilledBeforeItsRecordIsReinstalledNotRefused) {
    setAccounts({{"jane@x.org", "", "jane@x.org"}});
    SetFakeOutlookSignatures(mac, {{"Mine", "<p>mine</p>"}});
    Signature& signature = signatures.add("<p>a</p>", "Work");
    SelectAccounts(signature, kOutlook, {"jane@x.org"});
    const Signature before = signature;
    KilledAtCreate killed(mac);
    ClientInfo info("/Applications/Microsoft Outlook.app", "16.80", "16.80");
    SyncInputs inputs{info, accounts, signatures.ids(), signatures.map(), killed, mac.paths()};
    ASSERT_FALSE(SyncOutlookSignatures(inputs, environment));
    ASSERT_EQ(runs(), (QStringList{kGet, kReadB, kCreate, kMainB}));

    signature = killed.kept.value_or(before);
    EXPECT_FALSE(sync());
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{"Mine", "<p>mine</p>"}, {"Work", "<p>a</p>"}}));
    EXPECT_EQ(signature.clientKindToPerformedInstallationsInfoMap.at(kOutlook)
                  .accountEmailToPayloadMap.at("jane@x.org")
                  .idStringQe,
              "Work");
    EXPECT_FALSE(signature.clientKindToSelectedInstallationsInfoMap.at(kOutlook)
                     .accountEmailToPayloadMap.at("jane@x.org")
                     .pendingReinstallation);

    // A create script that fails leaves the record as it was before the sync.
    Signature& other = signatures.add("<p>b</p>", "Other");
    SelectAccounts(other, kOutlook, {"jane@x.org"});
    const QString beforeFailure = Describe(other);
    FailFakeOutlookScript(mac, kCreate, 1);
    EXPECT_TRUE(sync());
    EXPECT_EQ(Describe(other), beforeFailure);
}

// The person's signature of the name Quillet's would take is never touched: not by a new
// signature of that name, not by an update of a copy the person replaced with their own, not by
// a rename onto it. The sync refuses, Quillet's record stays, and once deselected only a copy
// whose content Quillet wrote leaves Outlook.
struct PersonsName {
    std::vector<FakeOutlookSignature> outlook;
    const char* installedAs;  // with installedText; empty: never installed
    const char* installedText;
    const char* name;
    const char* text;
};

const PersonsName kPersonsNames[] = {
    {{{"Work", "<p>mine</p>"}}, "", "", "Work", "<p>ours</p>"},
    {{{"Work", "<p>mine</p>"}}, "Work", "<p>ours</p>", "Work", "<p>ours 2</p>"},
    {{{"Old", "<p>a</p>"}, {"New", "<p>mine</p>"}}, "Old", "<p>a</p>", "New", "<p>a</p>"},
};

TEST_F(OutlookSyncTest, ThePersonsSignatureOfTheNameIsNeverTouched) {
    setAccounts({{"jane@x.org", "", "jane@x.org"}});
    for (const PersonsName& row : kPersonsNames) {
        SCOPED_TRACE(std::string(row.installedAs) + " -> " + row.name);
        signatures = TestSignatures();
        saver = RecordingSignatureSaver();
        SetFakeOutlookSignatures(mac, row.outlook);
        Signature& signature = signatures.add(row.text, row.name);
        SelectAccounts(signature, kOutlook, {"jane@x.org"});
        if (*row.installedAs)
            RecordInstalled(signature, kOutlook, "jane@x.org", row.installedAs, row.installedText);
        const QString record = Describe(signature);

        const auto error = sync();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind, Kind::duplicate);
        EXPECT_EQ(error->signatureNameX, row.name);
        EXPECT_EQ(FakeOutlookSignatures(mac), row.outlook);
        EXPECT_EQ(Describe(signature), record);
        EXPECT_TRUE(saver.savedIds.empty());

        signature.clientKindToSelectedInstallationsInfoMap.clear();
        EXPECT_FALSE(sync());
        std::vector<FakeOutlookSignature> left = row.outlook;
        std::erase(left, FakeOutlookSignature{row.installedAs, row.installedText});
        EXPECT_EQ(FakeOutlookSignatures(mac), left);
        EXPECT_FALSE(signature.clientKindToPerformedInstallationsInfoMap.count(kOutlook));
    }
}

TEST_F(OutlookSyncTest, OfTwoOfQuilletsSignaturesOfOneNameOnlyTheFirstIsInstalled) {
    setAccounts({{"jane@x.org", "", "jane@x.org"}});
    SelectAccounts(signatures.add("<p>ours</p>", "Work"), kOutlook, {"jane@x.org"});
    SelectAccounts(signatures.add("<p>other</p>", "Work"), kOutlook, {"jane@x.org"});
    for (int pass = 0; pass < 2; ++pass) {
        // The next pass recognises the first as Quillet's own and refuses the second again.
        const auto error = sync();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind, Kind::duplicate);
        EXPECT_EQ(FakeOutlookSignatures(mac),
                  (std::vector<FakeOutlookSignature>{{"Work", "<p>ours</p>"}}));
    }
    EXPECT_TRUE(signatures[1].clientKindToPerformedInstallationsInfoMap.count(kOutlook));
    EXPECT_FALSE(signatures[2].clientKindToPerformedInstallationsInfoMap.count(kOutlook));
}

// Outlook lets the person add a signature of a name Quillet's already has, and its delete script
// takes the first of that name: Quillet deletes only a copy whose content it wrote, and neither
// replaces nor removes its own while the person's shares the name.
TEST_F(OutlookSyncTest, UpdatesNeverDeleteThePersonsSignatureOfTheSameName) {
    setAccounts({{"jane@x.org", "", "jane@x.org"}});
    Signature& work = installed("<p>ours</p>", "Work", {"jane@x.org"});
    for (const bool personsFirst : {false, true}) {
        const std::vector<FakeOutlookSignature> outlook =
            personsFirst ? std::vector<FakeOutlookSignature>{{"Work", "<p>mine</p>"},
                                                             {"Work", "<p>ours</p>"}}
                         : std::vector<FakeOutlookSignature>{{"Work", "<p>ours</p>"},
                                                             {"Work", "<p>mine</p>"}};
        SetFakeOutlookSignatures(mac, outlook);
        for (const char* text : {"<p>ours 2</p>", "<p>ours 3</p>"}) {
            work.mainTextQe = text;
            const auto error = sync();
            ASSERT_TRUE(error) << personsFirst;
            EXPECT_EQ(error->kind, Kind::duplicate);
            EXPECT_EQ(error->signatureNameX, "Work");
            EXPECT_EQ(FakeOutlookSignatures(mac), outlook) << personsFirst;
        }
        // Deselected: Quillet's copy goes when it comes first; else nothing is deleted.
        work.clientKindToSelectedInstallationsInfoMap.clear();
        const auto error = sync();
        EXPECT_EQ(error.has_value(), personsFirst);
        EXPECT_EQ(
            FakeOutlookSignatures(mac),
            (std::vector<FakeOutlookSignature>{personsFirst ? outlook : std::vector{outlook[1]}}));
        SelectAccounts(work, kOutlook, {"jane@x.org"});
        RecordInstalled(work, kOutlook, "jane@x.org", "Work", "<p>ours</p>");
    }
    EXPECT_FALSE(runs().contains(kCreate));
}

// A signature of Quillet's is its own whatever Outlook makes of its name, its account's
// address or its text: Outlook's list of names comes back trimmed and without ";;;", an address
// may be selected in another letter case, and values go into the scripts as they are (neither
// the placeholder text of the scripts nor characters a script cannot carry change them). It
// then gets its default once, is replaced rather than doubled when its text changes, and leaves
// Outlook when deselected.
struct OwnSignature {
    const char* name;
    const char* selectedEmail;
    QString text;
    QString inOutlook;  // the text as Outlook holds it
};

const QString kScriptText = "<p>**SIGNATURE_NAME** **SIGNATURE_CONTENT** \"\\</p>";

class OutlookOwnSignatureTest : public OutlookSyncTest,
                                public testing::WithParamInterface<OwnSignature> {};

TEST_P(OutlookOwnSignatureTest, IsRecognisedAsQuilletsOnEveryPass) {
    const OwnSignature& row = GetParam();
    setAccounts({{"a@x.org", "", "a@x.org"}});
    Signature& signature = signatures.add(row.text, row.name);
    SelectAccounts(signature, kOutlook, {row.selectedEmail});

    EXPECT_FALSE(sync());
    EXPECT_FALSE(sync());
    EXPECT_EQ(runs().count(kCreate), 1);
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{row.name, row.inOutlook}}));
    // The account's default is set once (the second pass finds it set), where the account is
    // selected by its own address.
    const bool selected = row.selectedEmail == QString("a@x.org");
    EXPECT_EQ(runs().count(kMainB), selected ? 1 : 0);
    EXPECT_EQ(FakeOutlookDefaultSignatures(mac).count("a@x.org"), selected ? 1u : 0u);
    if (selected) {
        EXPECT_EQ(FakeOutlookDefaultSignatures(mac).at("a@x.org"),
                  (FakeOutlookDefaults{row.name, "None"}));
    }

    signature.mainTextQe = "<p>b</p>";
    EXPECT_FALSE(sync());
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{row.name, "<p>b</p>"}}));

    signature.clientKindToSelectedInstallationsInfoMap.clear();
    EXPECT_FALSE(sync());
    EXPECT_TRUE(FakeOutlookSignatures(mac).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutlookOwnSignatureTest,
    testing::Values(OwnSignature{"Work ", "a@x.org", "<p>a</p>", "<p>a</p>"},
                    OwnSignature{"Home;;;Office", "a@x.org", "<p>a</p>", "<p>a</p>"},
                    OwnSignature{"Work", "A@X.org", "<p>a</p>", "<p>a</p>"},
                    OwnSignature{"Work", "a@x.org", QString(kScriptText).insert(3, QChar(0)),
                                 kScriptText}));

// A signature the person deleted in Outlook is not deleted again, and comes back only when
// reinstalled.
TEST_F(OutlookSyncTest, ASignatureThePersonDeletedIsRecreatedOnlyWhenReinstalled) {
    setAccounts({{"jane@x.org", "", "jane@x.org"}});
    SetFakeOutlookSignatures(mac, {});
    Signature& signature = installed("<p>b</p>", "Kept", {"jane@x.org"});
    EXPECT_FALSE(sync());
    EXPECT_TRUE(FakeOutlookSignatures(mac).empty());

    signature.markForReinstallation();
    EXPECT_FALSE(sync());
    EXPECT_FALSE(runs().contains(kDelete));
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{"Kept", "<p>b</p>"}}));
}

// An Outlook signature serves every account: once reinstalled, it is reinstalled for all of
// them, including a selected account that Outlook no longer reports.
TEST_F(OutlookSyncTest, AReinstallationIsDoneOnceEvenForAnAccountOutlookDoesNotReport) {
    setAccounts({{"a@x.org", "", "a@x.org"}});
    SetFakeOutlookSignatures(mac, {{"S", "<p>s</p>"}});
    Signature& signature = installed("<p>s</p>", "S", {"a@x.org"});
    SelectAccounts(signature, kOutlook, {"a@x.org", "gone@x.org"});
    signature.markForReinstallation();

    EXPECT_FALSE(sync());
    EXPECT_FALSE(sync());
    EXPECT_FALSE(sync());
    EXPECT_EQ(runs().count(kDelete), 1);
    EXPECT_EQ(runs().count(kCreate), 1);
    EXPECT_EQ(FakeOutlookSignatures(mac), (std::vector<FakeOutlookSignature>{{"S", "<p>s</p>"}}));
}

TEST_F(OutlookSyncTest, DefaultsThatFailTwiceStillCloseTheSync) {
    setAccounts({{"a@x.org", "", "a@x.org"}});
    SelectAccounts(signatures.add("<p>s</p>", "S"), kOutlook, {"a@x.org"});
    FailFakeOutlookScript(mac, kMainB);

    const auto error = sync();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::defaultSignature);
    EXPECT_EQ(runs(), (QStringList{kGet, kReadB, kCreate, kMainB, kMainB}));
    EXPECT_EQ(saver.savedIds.back(), SignatureIds{});  // the new one was saved at its script

    // One failure: the retry sets them.
    FailFakeOutlookScript(mac, kMainB, 1);
    EXPECT_FALSE(sync());
    EXPECT_EQ(FakeOutlookDefaultSignatures(mac).at("a@x.org"), (FakeOutlookDefaults{"S", "None"}));
}

TEST_F(OutlookSyncTest, MissingAccountFragmentScriptFailsTheDefaultsInsteadOfSettingNone) {
    setAccounts({{"a@x.org", "", "a@x.org"}});
    SelectAccounts(signatures.add("<p>s</p>", "S"), kOutlook, {"a@x.org"});
    // A broken installation: the per-account fragment is missing from the bundle.
    ASSERT_TRUE(QFile::remove(
        platform.bundle->resourcePath("Outlook-SetDefaultSignatures16-Account", "applescript")));

    const auto error = sync();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::defaultSignature);
    EXPECT_FALSE(runs().contains(kMainB));
    EXPECT_TRUE(FakeOutlookDefaultSignatures(mac).empty());
}

TEST_F(OutlookSyncTest, ScriptFailuresStopTheSyncWithTheirKind) {
    setAccounts({{"a@x.org", "", "a@x.org"}});
    Signature& signature = installed("<p>s</p>", "S", {"a@x.org"});
    FailFakeOutlookScript(mac, kGet, 1);
    auto error = sync();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::appleScript);

    SetFakeOutlookSignatures(mac, {{"S", "<p>s</p>"}});
    signature.clientKindToSelectedInstallationsInfoMap.clear();
    FailFakeOutlookScript(mac, kDelete, 1);
    error = sync();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::uninstallation);
    EXPECT_EQ(error->appSignatureNameX, "S");
    EXPECT_EQ(error->clientSignatureNameX, "S");
    EXPECT_TRUE(signature.clientKindToPerformedInstallationsInfoMap.count(kOutlook));

    SelectAccounts(signatures.add("<p>t</p>", "T"), kOutlook, {"a@x.org"});
    FailFakeOutlookScript(mac, kCreate, 1);
    error = sync();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::appleScript);
    EXPECT_TRUE(FakeOutlookSignatures(mac).empty());  // S was uninstalled before
}

// Each version's window names an account its own way; the identifier the sync builds from what
// the version's listing reported must be the one the window shows, or no default is ever set.
TEST_F(OutlookSyncTest, EachVersionSetsTheDefaultsOfTheAccountsItsListingReports) {
    using V = OutlookVersionKind;
    const struct {
        V kind;
        const char* mainScript;
        const char* accountLine;
    } cases[] = {
        {V::v16_80OrNewer, "Outlook-SetDefaultSignatures16-Main-B",
         "my setDefaultSignatures(\"Ann Example (ann@x.org)\", \"S\", \"None\")"},
        {V::v16_41To79, "Outlook-SetDefaultSignatures16-Main-A",
         "my setDefaultSignatures(\"Ann Example (ann)\", \"S\", \"None\")"},
        {V::v16_Pre41, "Outlook-SetDefaultSignatures16-Main-A",
         "my setDefaultSignatures(\"ann (Ann Example)\", \"S\", \"None\")"},
        {V::v15, "Outlook-SetDefaultSignatures15-Main",
         "my setDefaultSignatures(\"ann (Ann Example)\", \"S\", \"None\")"},
        {V::v14OrOlder, "Outlook-SetDefaultSignatures14-Main",
         "my setDefaultSignatures(\"ann\", \"S\", \"None\")"},
    };
    for (const auto& c : cases) {
        SetFakeOutlookSignatures(mac, {});
        SetFakeOutlookDefaultSignatures(mac, {});
        signatures = TestSignatures();
        setAccounts({{"ann@x.org", "Ann Example", "ann"}, {"bob@x.org", "", "bob"}}, c.kind);
        SelectAccounts(signatures.add("<p>s</p>", "S"), kOutlook, {"ann@x.org"});

        EXPECT_FALSE(sync(c.kind)) << c.mainScript;
        EXPECT_TRUE(mac.lastScriptText(c.mainScript).contains(c.accountLine)) << c.mainScript;
        EXPECT_EQ(FakeOutlookDefaultSignatures(mac).at("ann@x.org"),
                  (FakeOutlookDefaults{"S", "None"}))
            << c.mainScript;
    }
}

}  // namespace
}  // namespace quillet
