// Outlook's sync through the stand-in's scripts. The stories of what it does with the person's
// signatures and Quillet's are rows under tests/data/sync/outlook (see the README there).
#include <gtest/gtest.h>

#include <QFile>

#include "app/base/AppleScript.h"
#include "app/clients/Detection.h"
#include "app/clients/accounts/OutlookAccounts.h"
#include "app/clients/sync/OutlookSync.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacOutlook.h"
#include "tests/support/SyncTestSupport.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

constexpr auto kOutlook = ClientKind::outlook;
const QStringList kKinds{"appleScript", "uninstallation", "duplicate", "defaultSignature"};

// "ok", or the error's kind and the names it gives.
QString Outcome(const std::optional<SyncOutlookSignaturesError>& error) {
    if (!error)
        return "ok";
    QStringList words{kKinds[int(error->kind)]};
    for (const auto& name :
         {error->signatureNameX, error->appSignatureNameX, error->clientSignatureNameX}) {
        if (name)
            words << *name;
    }
    return words.join(' ');
}

// The store as a sync killed right after Outlook created the signature leaves it: the
// signature's record as saved last before the create script ran.
struct KilledAtCreate : SignatureSaver {
    KilledAtCreate(const FakeMac& mac, SignatureId id, const Signature& signature)
        : mac(mac), id(id), kept(signature) {}
    void saveSignatures(const SignatureIds&, const IdToSignatureMap& map) override {
        if (!mac.osascriptRuns().contains("Outlook-CreateSignature"))
            kept = *map.at(id);
    }
    const FakeMac& mac;
    const SignatureId id;
    Signature kept;
};

// A Mac with Outlook, its signatures and accounts, and Quillet's store.
class OutlookWorld : public SyncWorld {
public:
    explicit OutlookWorld(const QString& = {}) : SyncWorld(kOutlook) {}

    std::optional<SyncOutlookSignaturesError> sync(SignatureSaver& saver) {
        SyncInputs inputs{*info, accounts,   store.signatures.ids(), store.signatures.map(),
                          saver, mac.paths()};
        return SyncOutlookSignatures(inputs, environment);
    }

    // The sync's script runs (the listing that found the accounts left out).
    QStringList runs() const {
        QStringList names = mac.osascriptRuns();
        names.removeIf([](const QString& name) {
            return name.isEmpty() || name.startsWith("Outlook-ListAccounts");
        });
        return names;
    }

    // Plays one row of a story.
    void apply(const QStringList& row) {
        const QString& what = row[0];
        const auto cell = [&](int i) { return UnescapedCell(row.value(i)); };
        if (what == "accounts") {
            // Outlook of that version, its accounts as its own listing gives them.
            std::vector<FakeOutlookAccount> fakeAccounts;
            for (const QString& account : row.mid(2)) {
                const QStringList parts = account.split('|');
                fakeAccounts.push_back({parts[0], parts.value(1), parts.value(2)});
            }
            info.emplace("/Applications/Microsoft Outlook.app", cell(1), cell(1));
            info->outlookVersionKindQ = OutlookVersionKindFor(cell(1));
            SetFakeOutlookAccounts(mac, fakeAccounts);
            accounts = {AccountsInfoStatus::discoverySucceeded, {}, {}};
            accounts.accounts = *(info->outlookVersionKindQ == OutlookVersionKind::v16_80OrNewer
                                      ? DiscoverOutlookAccountsB(runner, {})
                                      : DiscoverOutlookAccountsA(runner, *info, {}));
        } else if (what == "outlook") {
            std::vector<FakeOutlookSignature> signatures;
            for (const QString& one : row.mid(1))
                signatures.push_back({one.section('|', 0, 0), UnescapedCell(one.section('|', 1))});
            SetFakeOutlookSignatures(mac, signatures);
        } else if (what == "fail") {
            FailFakeOutlookScript(mac, cell(1), row.value(2).isEmpty() ? -1 : cell(2).toInt());
        } else if (what == "remove-script") {
            EXPECT_TRUE(QFile::remove(platform.bundle->resourcePath(cell(1), "applescript")));
        } else if (what == "sync") {
            EXPECT_EQ(Outcome(sync(store.saver)), cell(1));
        } else if (what == "killed-at-create") {
            Signature& signature = store.signatures[cell(1).toInt()];
            KilledAtCreate killed(mac, SignatureId{cell(1).toInt()}, signature);
            EXPECT_EQ(Outcome(sync(killed)), "ok");
            signature = killed.kept;
        } else if (what == "outlook-has") {
            QStringList held, expected;
            for (const FakeOutlookSignature& one : FakeOutlookSignatures(mac))
                held << one.name + "|" + one.content;
            for (const QString& listed : row.mid(1))
                expected << UnescapedCell(listed);
            EXPECT_EQ(held, expected);
        } else if (what == "default") {
            const auto defaults = FakeOutlookDefaultSignatures(mac);
            const auto found = defaults.find(cell(1));
            EXPECT_EQ(found == defaults.end()
                          ? "-"
                          : found->second.newMessages + "|" + found->second.repliesForwards,
                      cell(2));
        } else if (what == "ran") {
            EXPECT_EQ(runs().count(cell(1)), cell(2).toInt()) << cell(1).toStdString();
        } else if (what == "runs") {
            EXPECT_EQ(runs(), row.mid(1));
        } else if (what == "script-line") {
            EXPECT_TRUE(mac.lastScriptText(cell(1)).contains(cell(2))) << cell(1).toStdString();
        } else {
            ADD_FAILURE() << "no such row: " << what.toStdString();
        }
    }

    TestPlatform platform{mac};
    AppleScriptRunner runner{mac.paths(), *platform.bundle};
    OutlookSyncEnvironment environment{runner, *platform.bundle, std::chrono::milliseconds(0)};
    std::optional<ClientInfo> info;  // as the accounts row says
};

TEST(OutlookSyncTest, EveryStoryEndsAsItsRowsSay) {
    PlayStories<OutlookWorld>("sync/outlook");
}

}  // namespace
}  // namespace quillet
