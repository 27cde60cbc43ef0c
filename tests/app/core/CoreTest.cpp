#include <gtest/gtest.h>

#include "app/core/NewSignature.h"
#include "app/demo/FakeMacAccounts.h"
#include "platform/EventLoop.h"
#include "tests/support/DataTable.h"
#include "tests/support/EngineHarness.h"
#include "tests/support/LinuxClientAdapters.h"
#include "tests/support/StoreHarness.h"

namespace quillet {
namespace {

// An engine over a fake Mac with Apple Mail and Thunderbird, talking to a test service, with the
// sync passes it asks for recorded instead of run.
class CoreEngine : protected EngineHarness {
public:
    CoreEngine() {
        mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0",
                               "3774");
        mac.addAppleMailData();
        SetFakeAppleMailAccounts(mac, {{"U-1", "ann@example.com", "Ann"}});
        mac.setAccessibilityTrusted(true);
        mac.installClient(ClientKind::thunderbird, "128.5.0");
        WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird),
                           FakeIdentityPrefsLines("1", "tom@example.com", "Tom"));
        options.mainWindowIsVisibleAndKey = [this] { return _windowIsKey; };
        recordSyncPasses();
        platform.notificationCenter.addObserver(
            kSignaturesUpdatedFromServerNotification, [this](const QString&, const UserInfo& info) {
                _notified << names(std::any_cast<SignatureIds>(info.at(kUpdatedSignatureIdsKey))) +
                                 "/" +
                                 names(std::any_cast<SignatureIds>(
                                     info.at(kModifiedOnlySignatureIdsKey)));
            });
        platform.notificationCenter.addObserver(
            kAccountsInfoUpdatedNotification,
            [this](const QString&, const UserInfo&) { ++_accountNotices; });
    }

    // Plays the rows of a story: a step of the engine, or "?", a state and what it must read.
    void play(const std::vector<QStringList>& rows) {
        for (const QStringList& row : rows) {
            SCOPED_TRACE(row.join(" | ").toStdString());
            if (row[0] == "?") {
                EXPECT_EQ(state(row[1], row.mid(2, row.size() - 3)).toStdString(),
                          row.size() > 2 ? row.back().toStdString() : "");
            } else {
                act(row[0], row.mid(1));
            }
        }
    }

protected:
    void act(const QString& step, const QStringList& a) {
        Core& core = engine();
        const auto id = [&](int i) { return _ids.at(a[i]); };
        if (step == "store") {
            _ids[a[0]] = storeSignature(a[1], a[2], a[3].toLongLong());
        } else if (step == "service") {
            service.setSignature(a[0], QString(a[1]).replace("\\n", "\n"));
        } else if (step == "unservice") {
            service.removeSignature(a[0]);
        } else if (step == "fail") {
            service.failUpdates(a[0].toInt(), a.value(1));
        } else if (step == "hold" || step == "release") {
            step == "hold" ? service.holdUpdates() : service.release();
        } else if (step == "offline") {
            options.serviceUrl = QUrl("http://127.0.0.1:1");  // nothing listens there
            reopen();
        } else if (step == "windowKey") {
            _windowIsKey = true;
        } else if (step == "start" || step == "refresh" || step == "refreshIfPossible") {
            step == "start" ? core.start()
                            : (step == "refresh" ? core.refreshFromServer()
                                                 : core.refreshFromServerIfPossible());
        } else if (step == "awaitRequests") {
            ASSERT_TRUE(
                RunEventLoopUntil([&] { return service.updateRequests() == a[0].toInt(); }, 10));
        } else if (step == "wait") {
            waitUntilIdle();
        } else if (step == "advance") {
            platform.mainQueue.advance(a[0].toDouble());
        } else if (step == "reopen") {
            reopen();
        } else if (step == "clear") {
            log.clear();
            syncPasses.clear();
            platform.prompter.clear();
            _accountNotices = 0;
        } else if (step == "running") {
            mac.setRunning(a);
        } else if (step == "appleMailAccounts") {
            std::vector<FakeAppleMailAccount> listed;
            for (int i = 0; i + 2 < a.size(); i += 3)
                listed.push_back({a[i], a[i + 1], a[i + 2]});
            SetFakeAppleMailAccounts(mac, listed);
        } else if (step == "automationDenied") {
            SetFakeAutomationDenied(mac, a[0], true);
        } else if (step == "rediscover") {
            std::vector<ClientKind> kinds;
            for (const QString& kind : a)
                kinds.push_back(*ClientKindFromStoredText(kind));
            core.rediscoverAccounts(kinds);
        } else if (step == "add") {
            _ids[a[0]] = core.addSignature();
        } else if (step == "set") {
            Signature& signature = *core.signature(id(0));
            const std::map<QString, QString*> texts = {{"name", &signature.nameQe},
                                                       {"key", &signature.keyQe},
                                                       {"text", &signature.mainTextQe}};
            if (a[1] == "pendingDeletion")
                signature.pendingDeletion = true;
            else
                *texts.at(a[1]) = a[2];
        } else if (step == "select") {
            auto& selected = core.signature(id(0))->clientKindToSelectedInstallationsInfoMap;
            const ClientKind kind = *ClientKindFromStoredText(a[1]);
            if (a.size() > 2)
                selected[kind].accountEmailToPayloadMap[a[2]] = {};
            else
                selected[kind] = {true, SelectedInstallationPayload{}, {}};
        } else if (step == "save" || step == "saveNextTurn") {
            core.saveSignature(id(0), true, step == "saveNextTurn");
        } else if (step == "reinstall") {
            core.reinstallSignature(id(0));
        } else if (step == "removeElsewhere") {
            const auto other = elsewhere();
            other->LoadRecords();
            EXPECT_TRUE(other->RemoveRecord(id(0)));
        } else {
            FAIL() << "no step " << step.toStdString();
        }
    }

    QString state(const QString& what, const QStringList& a) {
        Core& core = engine();
        const auto yes = [](bool b) { return QString(b ? "yes" : "no"); };
        const auto outcomes = [](const std::vector<WorkOutcome>& all) {
            QStringList shown;
            for (const WorkOutcome& outcome : all)
                shown << (outcome.success ? "ok" : "failed: " + outcome.title);
            return shown.join('|');
        };
        if (what == "log")
            return yes(a.size() > 1 ? log.containsText(a[0]) : log.contains(a[0]));
        if (what == "requests")
            return QString::number(service.updateRequests());
        if (what == "notified")
            return _notified.join('|');
        if (what == "alerts")
            return alertTitles().join('|');
        if (what == "critical")
            return yes(std::ranges::all_of(platform.prompter.shown(), [](const Alert& shown) {
                return shown.style == AlertStyle::critical;
            }));
        if (what == "passes") {
            QStringList passes;
            for (const SignatureIds& ids : syncPasses)
                passes << names(ids);
            return passes.join('|');
        }
        if (what == "visible" || what == "ids")
            return names(what == "visible" ? core.visibleSignatureIds() : core.signatureIds());
        if (what == "refreshes" || what == "syncs")
            return outcomes(what == "syncs" ? core.syncOutcomes() : core.refreshOutcomes());
        if (what == "scripts")
            return QString::number(mac.osascriptRuns().count(a[0]));
        if (what == "accounts")
            return accountsOf(*ClientKindFromStoredText(a[0])).join('|');
        if (what == "accountNotices")
            return QString::number(_accountNotices);
        if (what == "informs")
            return yes(std::ranges::all_of(platform.prompter.shown(), [&](const Alert& shown) {
                return shown.informativeText.contains(a[0]);
            }));
        if (what == "storedElsewhere")
            return QString::number(elsewhere()->LoadRecords().size());
        const Signature& signature = *core.signature(_ids.at(a[0]));
        if (what == "reinstalling") {
            const SelectedInstallationsInfo& selected =
                signature.clientKindToSelectedInstallationsInfoMap.at(
                    *ClientKindFromStoredText(a[1]));
            return yes(a.size() > 2
                           ? selected.accountEmailToPayloadMap.at(a[2]).pendingReinstallation
                           : selected.allAccountsPayloadX->pendingReinstallation);
        }
        const auto now = static_cast<std::int64_t>(platform.mainQueue.now());
        const std::map<QString, QString> fields = {
            {"name", signature.nameQe},
            {"text", signature.mainTextQe},
            {"active", yes(signature.active)},
            {"time", signature.lastUpdateUnixTimeQz == now
                         ? "now"
                         : QString::number(signature.lastUpdateUnixTimeQz)}};
        return fields.at(a[1]);
    }

    // A stored service signature, as if a previous run had left it.
    SignatureId storeSignature(const QString& key, const QString& text, std::int64_t time) {
        Signature signature = StoreHarness::NamedSignature(key);
        signature.keyQe = key;
        signature.mainTextQe = text;
        signature.lastUpdateUnixTimeQz = time;
        const QString store = reopen().dataFolder() + "/" + kStoreFileName;
        closeEngine();
        return Store::openStore("DataV2", store, nullptr)->AddSignatureRecord(signature);
    }
    // The store as another process (the command beside the application) opens it.
    std::unique_ptr<Store> elsewhere() {
        return Store::openStore("DataV2", engine().dataFolder() + "/" + kStoreFileName, nullptr);
    }
    QString names(const SignatureIds& ids) const {
        QStringList shown;
        for (SignatureId id : ids) {
            const auto named = std::ranges::find_if(_ids, [id](auto& n) { return n.second == id; });
            shown << (named == _ids.end() ? QString::number(id.value) : named->first);
        }
        return shown.join(',');
    }
    // The client's discovery state, then its accounts' addresses.
    QStringList accountsOf(ClientKind kind) {
        const AccountsInfo& info = engine().clientKindToAccountsInfoMap().at(kind);
        QStringList result{CaseName(info.status)};
        for (const auto& account : info.accounts)
            result << account->email();
        return result;
    }

    LogTap log;

private:
    bool _windowIsKey = false;
    int _accountNotices = 0;
    std::map<QString, SignatureId> _ids;
    QStringList _notified;
};

class CoreTest : public testing::Test, protected CoreEngine {};

// The stories of tests/data/core/stories.tsv, each on an engine of its own.
TEST(CoreStoryTest, EachStoryLeavesTheStatesItsRowsName) {
    std::vector<std::pair<QString, std::vector<QStringList>>> stories;
    for (const QStringList& row : ReadDataTable("core/stories.tsv")) {
        if (row[0] == "story")
            stories.push_back({row[1], {}});
        else
            stories.back().second.push_back(row);
    }
    for (const auto& [name, rows] : stories) {
        SCOPED_TRACE(name.toStdString());
        CoreEngine().play(rows);
    }
}

TEST_F(CoreTest, SyncPassAskedForWhileAnotherRunsWaitsItsTurn) {
    Core& core = reopen();
    std::vector<SignatureIds> started;
    std::function<void(WorkOutcome)> finishFirst;
    core.setSyncPassRunner([&](const SignatureIds& ids, std::function<void(WorkOutcome)> done) {
        started.push_back(ids);
        if (!finishFirst) {
            finishFirst = done;  // the first pass goes on (say, waiting for its 1-second delay)
        } else {
            done({false, "There were problems updating some signatures.", "details"});
        }
    });
    core.syncSignatures({SignatureId{1}});
    core.syncSignatures({SignatureId{2}});
    EXPECT_EQ(started, std::vector<SignatureIds>{SignatureIds{SignatureId{1}}});
    EXPECT_FALSE(core.isIdle());
    finishFirst({});
    waitUntilIdle();
    EXPECT_EQ(started, std::vector<SignatureIds>(
                           {SignatureIds{SignatureId{1}}, SignatureIds{SignatureId{2}}}));
    ASSERT_EQ(core.syncOutcomes().size(), 2u);
    EXPECT_TRUE(core.syncOutcomes()[0].success);
    EXPECT_FALSE(core.syncOutcomes()[1].success);
}

// KMail's and Geary's identities are in their files: the application reads them at start
// though the clients are closed, or a lost accounts cache would leave their identities unknown
// and a sync could neither write nor give back theirs.
TEST_F(CoreTest, StartReadsTheIdentitiesOfClosedLinuxClientsFromTheirFiles) {
    layout = SystemLayout::linuxDesktop;
    LayOutLinuxClients(mac);
    Core& core = reopen();
    core.start();
    waitUntilIdle();
    for (ClientKind kind : {ClientKind::kmail, ClientKind::geary})
        EXPECT_EQ(accountsOf(kind),
                  (QStringList{"discoverySucceeded", "tim@example.com", "tim.work@example.com"}));
}

// Outlook's one switch sets both insertions; Spark offers none, so both are on whatever the
// switches said.
TEST(NewSignatureTest, TheSwitchesAClientOffersSetItsInsertions) {
    Signature outlook;
    FillNewSignature(outlook, {ClientKind::outlook, "", false, true, 7}, {false, "k", "t", 1});
    EXPECT_FALSE(outlook.insertForRepliesForwards);
    EXPECT_FALSE(outlook.insertForForwards);
    Signature spark;
    FillNewSignature(spark, {ClientKind::spark, "", false, false, 0}, {false, "k", "t", 1});
    EXPECT_TRUE(spark.insertForRepliesForwards);
    EXPECT_TRUE(spark.insertForForwards);
}

}  // namespace
}  // namespace quillet
