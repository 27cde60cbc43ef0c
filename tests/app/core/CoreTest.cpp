#include <gtest/gtest.h>

#include "app/core/NewSignature.h"
#include "app/demo/FakeMacAccounts.h"
#include "platform/EventLoop.h"
#include "tests/support/DataTable.h"
#include "tests/support/EngineHarness.h"
#include "tests/support/FakeMacManaged.h"
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
            if (row[0] != "?") {
                _steps.at(row[0])(row.mid(1));
                continue;
            }
            const QString expected = row.size() > 2 ? row.back() : QString();
            EXPECT_EQ(_states.at(row[1])(row.mid(2, row.size() - 3)).toStdString(),
                      expected.toStdString());
        }
    }

private:
    using Args = const QStringList&;
    Signature& signature(const QString& name) { return *engine().signature(_ids.at(name)); }
    static QString YesNo(bool yes) { return yes ? "yes" : "no"; }
    static ClientKind Kind(const QString& text) { return *ClientKindFromStoredText(text); }

    const std::map<QString, std::function<void(Args)>> _steps = {
        {"store", [this](Args a) { _ids[a[0]] = storeSignature(a[1], a[2], a[3].toLongLong()); }},
        {"service",
         [this](Args a) { service.setSignature(a[0], QString(a[1]).replace("\\n", "\n")); }},
        {"unservice", [this](Args a) { service.removeSignature(a[0]); }},
        {"fail", [this](Args a) { service.failUpdates(a[0].toInt(), a.value(1)); }},
        {"hold", [this](Args) { service.holdUpdates(); }},
        {"release", [this](Args) { service.release(); }},
        {"offline",
         [this](Args) {
             options.serviceUrl = QUrl("http://127.0.0.1:1");  // nothing listens there
             reopen();
         }},
        {"linux",
         [this](Args) {
             layout = SystemLayout::linuxDesktop;
             LayOutLinuxClients(mac);
         }},
        {"windowKey", [this](Args) { _windowIsKey = true; }},
        {"start", [this](Args) { engine().start(); }},
        {"refresh", [this](Args) { engine().refreshFromServer(); }},
        {"refreshIfPossible", [this](Args) { engine().refreshFromServerIfPossible(); }},
        {"awaitRequests",
         [this](Args a) {
             ASSERT_TRUE(
                 RunEventLoopUntil([&] { return service.updateRequests() == a[0].toInt(); }, 10));
         }},
        {"wait", [this](Args) { waitUntilIdle(); }},
        {"finish", [this](Args) { finish(); }},
        {"advance", [this](Args a) { platform.mainQueue.advance(a[0].toDouble()); }},
        {"reopen", [this](Args) { reopen(); }},
        {"clear",
         [this](Args) {
             _log.clear();
             syncPasses.clear();
             platform.prompter.clear();
             _accountNotices = 0;
         }},
        {"running", [this](Args a) { mac.setRunning(a); }},
        {"appleMailAccounts",
         [this](Args a) {
             std::vector<FakeAppleMailAccount> listed;
             for (int i = 0; i + 2 < a.size(); i += 3)
                 listed.push_back({a[i], a[i + 1], a[i + 2]});
             SetFakeAppleMailAccounts(mac, listed);
         }},
        {"automationDenied", [this](Args a) { SetFakeAutomationDenied(mac, a[0], true); }},
        {"rediscover",
         [this](Args a) {
             std::vector<ClientKind> kinds;
             for (const QString& kind : a)
                 kinds.push_back(Kind(kind));
             engine().rediscoverAccounts(kinds);
         }},
        {"add", [this](Args a) { _ids[a[0]] = engine().addSignature(); }},
        // As the form and the command fill a new one: client, replies and forwards switches.
        {"fill",
         [this](Args a) {
             FillNewSignature(signature(a[0]), {Kind(a[1]), "", a[2] == "on", a[3] == "on", 0},
                              {false, "k", "t", 1});
         }},
        {"set",
         [this](Args a) {
             Signature& s = signature(a[0]);
             const std::map<QString, QString*> texts = {
                 {"name", &s.nameQe}, {"key", &s.keyQe}, {"text", &s.mainTextQe}};
             a[1] == "pendingDeletion" ? void(s.pendingDeletion = true)
                                       : void(*texts.at(a[1]) = a[2]);
         }},
        {"select",
         [this](Args a) {
             auto& selected = signature(a[0]).clientKindToSelectedInstallationsInfoMap[Kind(a[1])];
             if (a.size() > 2)
                 selected.accountEmailToPayloadMap[a[2]] = {};
             else
                 selected = {true, SelectedInstallationPayload{}, {}};
         }},
        {"save", [this](Args a) { engine().saveSignature(_ids.at(a[0]), true, false); }},
        {"saveNextTurn", [this](Args a) { engine().saveSignature(_ids.at(a[0]), true, true); }},
        {"reinstall", [this](Args a) { engine().reinstallSignature(_ids.at(a[0])); }},
        {"removeElsewhere",
         [this](Args a) {
             const auto other = elsewhere();
             other->LoadRecords();
             EXPECT_TRUE(other->RemoveRecord(_ids.at(a[0])));
         }},
        // The passes are recorded; the first is held (say, waiting for its 1-second delay)
        // until "finishPass", and the later ones fail.
        {"holdPasses",
         [this](Args) {
             engine().setSyncPassRunner(
                 [this](const SignatureIds& ids, std::function<void(WorkOutcome)> done) {
                     syncPasses.push_back(ids);
                     if (!_heldPass)
                         _heldPass = done;
                     else
                         done({false, "There were problems updating some signatures.", "details"});
                 });
         }},
        {"finishPass", [this](Args) { _heldPass({}); }},
        {"postbox",
         [this](Args) {
             mac.installClient(ClientKind::postbox, "7.0.60");
             WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::postbox, "m1x2.default"),
                                FakeIdentityPrefsLines("1", "pat@example.com"));
         }},
        {"managed",
         [this](Args a) {
             Plist entries = Plist::array();
             entries.node().append(ManagedEntryPlist(a[0], a[1], a[2]));
             Plist configuration = Plist::dictionary();
             configuration.node().set("ManagedSignatures", std::move(entries));
             WriteManagedConfiguration(mac, configuration);
         }},
        // As `quillet run` does: its signatures go while it waits.
        {"letGo",
         [this](Args) {
             options.letSignaturesGoWhenIdle = true;
             reopen();
         }},
        // Another process takes the signatures' table away, and puts it back.
        {"breakStore", [this](Args) { TakeSignaturesTableAway(engine().dataFolder()); }},
        {"mendStore", [this](Args) { TakeSignaturesTableAway(engine().dataFolder(), false); }},
        {"sync", [this](Args a) { engine().syncSignatures({SignatureId{a[0].toLongLong()}}); }},
    };

    const std::map<QString, std::function<QString(Args)>> _states = {
        {"log",
         [this](Args a) {
             return YesNo(a.size() > 1 ? _log.containsText(a[0]) : _log.contains(a[0]));
         }},
        {"requests", [this](Args) { return QString::number(service.updateRequests()); }},
        {"notified", [this](Args) { return _notified.join('|'); }},
        {"alerts", [this](Args) { return alertTitles().join('|'); }},
        {"critical",
         [this](Args) {
             return YesNo(std::ranges::all_of(platform.prompter.shown(), [](const Alert& shown) {
                 return shown.style == AlertStyle::critical;
             }));
         }},
        {"informs",
         [this](Args a) {
             return YesNo(std::ranges::all_of(platform.prompter.shown(), [&](const Alert& shown) {
                 return shown.informativeText.contains(a[0]);
             }));
         }},
        {"passes",
         [this](Args) {
             QStringList passes;
             for (const SignatureIds& ids : syncPasses)
                 passes << names(ids);
             return passes.join('|');
         }},
        {"idle", [this](Args) { return YesNo(engine().isIdle()); }},
        {"visible", [this](Args) { return names(engine().visibleSignatureIds()); }},
        {"ids", [this](Args) { return names(engine().signatureIds()); }},
        {"refreshes", [this](Args) { return Outcomes(engine().refreshOutcomes()); }},
        {"syncs", [this](Args) { return Outcomes(engine().syncOutcomes()); }},
        {"storedElsewhere",
         [this](Args) { return QString::number(elsewhere()->LoadRecords().size()); }},
        {"storedText",
         [this](Args a) {
             for (const auto& [id, record] : elsewhere()->LoadRecords()) {
                 if (record.attributes.keyQe == a[0])
                     return record.attributes.mainTextQe;
             }
             return QString("none");
         }},
        {"scripts", [this](Args a) { return QString::number(mac.osascriptRuns().count(a[0])); }},
        {"accountNotices", [this](Args) { return QString::number(_accountNotices); }},
        {"accounts",
         [this](Args a) {
             const AccountsInfo& info = engine().clientKindToAccountsInfoMap().at(Kind(a[0]));
             QStringList shown{CaseName(info.status)};
             for (const auto& account : info.accounts)
                 shown << account->email();
             return shown.join('|');
         }},
        {"reinstalling",
         [this](Args a) {
             const SelectedInstallationsInfo& selected =
                 signature(a[0]).clientKindToSelectedInstallationsInfoMap.at(Kind(a[1]));
             return YesNo(a.size() > 2
                              ? selected.accountEmailToPayloadMap.at(a[2]).pendingReinstallation
                              : selected.allAccountsPayloadX->pendingReinstallation);
         }},
        {"field",
         [this](Args a) {
             const Signature& s = signature(a[0]);
             const auto now = static_cast<std::int64_t>(platform.mainQueue.now());
             const std::map<QString, QString> fields = {
                 {"name", s.nameQe},
                 {"text", s.mainTextQe},
                 {"active", YesNo(s.active)},
                 {"replies", YesNo(s.insertForRepliesForwards)},
                 {"forwards", YesNo(s.insertForForwards)},
                 {"time",
                  s.lastUpdateUnixTimeQz == now ? "now" : QString::number(s.lastUpdateUnixTimeQz)}};
             return fields.at(a[1]);
         }},
    };

    static QString Outcomes(const std::vector<WorkOutcome>& all) {
        QStringList shown;
        for (const WorkOutcome& outcome : all)
            shown << (outcome.success ? "ok" : "failed: " + outcome.title);
        return shown.join('|');
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

    bool _windowIsKey = false;
    int _accountNotices = 0;
    std::map<QString, SignatureId> _ids;
    QStringList _notified;
    std::function<void(WorkOutcome)> _heldPass;
    LogTap _log;
};

// The stories of tests/data/core/stories.tsv, each on an engine of its own.
TEST(CoreTest, EachStoryLeavesTheStatesItsRowsName) {
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

}  // namespace
}  // namespace quillet
