#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>

#include "app/base/AppleScript.h"
#include "app/clients/Detection.h"
#include "app/clients/DetectionProfiles.h"
#include "app/clients/LinuxDetection.h"
#include "app/clients/ProfilesIni.h"
#include "app/clients/accounts/AccountsCache.h"
#include "app/clients/accounts/AppleMailAccounts.h"
#include "app/clients/accounts/DiscoverAccounts.h"
#include "app/clients/accounts/DiscoveredAccounts.h"
#include "app/clients/accounts/MozillaAccounts.h"
#include "app/clients/accounts/OutlookAccounts.h"
#include "app/clients/accounts/SparkAccounts.h"
#include "app/clients/sync/OutlookDefaults.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacMozilla.h"
#include "common/Log.h"
#include "platform/EventLoop.h"
#include "platform/QtMainQueue.h"
#include "tests/support/DataTable.h"
#include "tests/support/SyncTestSupport.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

// The rows that a case expects to find; every other row lays the machine out.
const QStringList kFound{"list",     "detect",     "default-profile",
                         "default",  "text",       "no-text",
                         "account",  "none",       "published",
                         "ran",      "profile",    "config",
                         "log",      "notice",     "alert",
                         "opened",   "version",    "account-id",
                         "save",     "discovered", "info",
                         "cache-is", "discover",   "handed",
                         "finished", "probe",      "probed"};

const QStringList kOutlookClasses{"16.80 or newer", "16.41 to 79", "16 before 41", "15",
                                  "14 or older"};

// How the script runner tells of each run, which is its own (AppleScriptTest), not the listing's.
const QRegularExpression kRunnersLine(
    "^(Info: Running AppleScript|Info: Raw output from|(Error|Info): Could not execute AppleScript|"
    "Error: Last error line:|Error: No last error line)");

// Counts what a discovery posts, so that a case can stop it while a hand-over waits there.
struct CountingMainQueue : QtMainQueue {
    void post(std::function<void()> fn) override {
        ++posted;
        QtMainQueue::post(std::move(fn));
    }
    std::atomic<int> posted = 0;
};

// A fake Mac (or Linux desktop) laid out by the rows of a case of tests/data/clients/listings or
// tests/data/clients/detection; see the README there.
class ClientCase {
public:
    // Applies a row; one that lists accounts or detects clients gives all it found, as rows.
    QStringList apply(const QStringList& row) {
        const QString& what = row[0];
        const auto cell = [&](int i) { return row.value(i); };
        const auto unescaped = [&](int i) { return row.value(i).replace("\\n", "\n"); };
        if (what == "script")
            _mac.setScriptResult(cell(1), unescaped(2), cell(4), cell(3).toInt());
        else if (what == "crash")
            _mac.setScriptCrash(cell(1));
        else if (what == "mail")
            _mail.push_back({cell(1), cell(2), cell(3), cell(4), cell(5) != "false"});
        else if (what == "outlook")
            _outlook.push_back({cell(1), cell(2), cell(3), cell(4)});
        else if (what == "spark")
            _spark.push_back({unescaped(1), unescaped(2), cell(3),
                              cell(4).isEmpty() ? std::nullopt : std::optional(cell(4).toInt())});
        else if (what == "prefs")
            _prefs.append(cell(1));
        else if (what == "app")
            _mac.installApplication(cell(1), cell(2), cell(3), cell(4), cell(5),
                                    cell(6) == "binary");
        else if (what == "client")
            _mac.installClient(*ClientKindFromStoredText(cell(1)), cell(2), cell(3));
        else if (what == "mail-data")
            _mac.addAppleMailData(cell(1));
        else if (what == "folder")
            QDir().mkpath(place(cell(1)));
        else if (what == "file")
            _mac.writeFile(place(cell(1)), unescaped(2).replace("~/", _mac.home() + "/").toUtf8());
        else if (what == "copy")
            _mac.writeFile(place(cell(2)), ReadDataBytes("clients/detection/" + cell(1)));
        else if (what == "remove")
            EXPECT_TRUE(QFile::remove(place(cell(1))) || QDir(place(cell(1))).removeRecursively());
        else if (what == "defaults")
            _mac.setDefaults(cell(1), cell(2), cell(3));
        else if (what == "found")
            _infos[*ClientKindFromStoredText(cell(1))] = {
                StatusNamed(cell(2)), AccountsOf(cell(1), cell(3)), AccountsOf(cell(1), cell(4))};
        else if (what == "other-process")
            _infos.clear();
        else if (what == "discovered")
            return discovered(row);
        else if (what == "save")
            return save();
        else if (what == "discover")
            return discover(row);
        else if (what == "probe")
            return probe(row);
        else if (what == "cache-is")
            return {"cache-is\t" + QString(ReadFakeFile(place("cache")).value_or("-"))
                                       .remove(QRegularExpression("\\s*\n\\s*"))};
        else if (what == "text" || what == "no-text")  // what a script does, the stand-in cannot
            return _runner.appleScriptText(cell(1)).value_or("").contains(cell(2)) ==
                           (what == "text")
                       ? QStringList{row.join('\t')}
                       : QStringList{};
        else if (what == "list")
            return outcomes(row, listAccounts(cell(1), cell(2)), {});
        else if (what == "detect")
            return outcomes(row, std::nullopt, detect(cell(1)));
        else if (what == "default-profile")
            return outcomes(row, std::nullopt, {defaultProfile()});
        else if (what == "version")  // Outlook's version class, or how two versions compare
            return {row.mid(0, 3).join('\t') + '\t' +
                    (cell(2).isEmpty()
                         ? kOutlookClasses[int(OutlookVersionKindFor(cell(1)))]
                         : QString::number(std::clamp(CompareVersions(cell(1), cell(2)), -1, 1)))};
        else if (what == "notice")  // the new-Outlook notice, answered with the button named
            return notice(row);
        else if (what == "account-id")  // how the window of Outlook's version names an account
            return {row.mid(0, 4).join('\t') + '\t' + AccountIdString(row)};
        return {};
    }

private:
    // "~/..." in the home, a place the listings use, or a path in the fake root.
    QString place(const QString& path) const {
        if (path == "cache")
            return CachedAccountsPath(_folder);
        if (path == "spark-database")
            return SparkMessagesDatabasePath(_mac.paths());
        return path.startsWith("~/") ? _mac.home() + path.mid(1) : _mac.rootPath(path);
    }
    QString shown(QString text) const {
        return text.replace(_mac.root(), "").replace(_mac.home(), "~").replace("\n", "\\n");
    }

    QStringList outcomes(const QStringList& row, const std::optional<QStringList>& accounts,
                         const QStringList& found) {
        QStringList rows{row.join('\t')};
        for (const QString& account : accounts.value_or(QStringList{}))
            rows.append("account\t" + account);
        if (!accounts && row[0] == "list")
            rows.append("none");
        for (const QStringList& emails : _published)
            rows.append("published\t" + emails.join(','));
        if (!_mac.osascriptRuns().isEmpty())
            rows.append("ran\t" + _mac.osascriptRuns().join(','));
        rows += found;
        for (const QString& line : _log.lines()) {
            if (!kRunnersLine.match(line).hasMatch())
                rows.append("log\t" + shown(line));
        }
        _log.clear();
        return rows;
    }

    // The clients' accounts as the rows so far give them.
    void layOutAccounts() {
        if (!_mail.empty())
            SetFakeAppleMailAccounts(_mac, _mail);
        if (!_outlook.empty())
            SetFakeOutlookAccounts(_mac, _outlook);
        if (!_spark.empty())
            CreateFakeSparkMessagesDatabase(_mac, _spark);
        if (!_prefs.isEmpty())
            WriteFakePrefsFile(_profile, _prefs);
    }

    std::optional<QStringList> listAccounts(const QString& name, const QString& version) {
        layOutAccounts();
        const auto publish = [this](const Accounts& accounts) {
            _published.push_back(Emails(accounts));
        };
        std::optional<Accounts> accounts;
        if (name == "AppleMail")
            accounts =
                DiscoverAppleMailAccounts(_runner, ClientInfo("/Applications/Mail.app", "", ""));
        if (name == "Outlook-A") {
            ClientInfo info("/Applications/Microsoft Outlook.app", version, version);
            info.outlookVersionKindQ = OutlookVersionKindFor(version);
            accounts = DiscoverOutlookAccountsA(_runner, info, publish);
        }
        if (name == "Outlook-B")
            accounts = DiscoverOutlookAccountsB(_runner, publish);
        if (name == "Spark")
            accounts = DiscoverSparkAccounts(_mac.paths());
        if (name == "Thunderbird" || name == "Postbox") {
            ClientInfo info("/Applications/X.app", "1", "1");
            info.mozillaBasedClientProfilePathQ = _profile;
            accounts = DiscoverMozillaBasedClientAccounts(*ClientKindFromStoredText(name), info);
        }
        if (name == "Cache")
            return cachedAccounts();
        return accounts ? std::optional(Descriptions(accounts)) : std::nullopt;
    }

    // Each account as "Client: ..."; whatever the client, what is loaded is saved as it was read.
    QStringList cachedAccounts() {
        const auto loaded = LoadCachedAccounts(_folder);
        EXPECT_EQ(loaded.size(), kAllClientKinds.size());
        LogLoadedCachedAccounts(loaded);
        std::map<ClientKind, AccountsInfo> infos;
        QStringList descriptions;
        for (const auto& [kind, accounts] : loaded) {
            infos[kind] = {AccountsInfoStatus::discoverySucceeded, accounts, {}};
            for (const QString& description : Descriptions(accounts))
                descriptions.append(StoredText(kind) + ": " + description);
        }
        const QString again = _folder + " again";
        SaveCachedAccounts(again, infos);
        for (const auto& [kind, accounts] : LoadCachedAccounts(again))
            EXPECT_EQ(Descriptions(accounts), Descriptions(loaded.at(kind)));
        return descriptions;
    }

    // The default that Thunderbird's profiles.ini names, and the profile that detection takes.
    QString defaultProfile() const {
        const QString home = _mac.paths().userLibrary() + "/Thunderbird";
        return shown(
            "default\t" + ProfilesIniDefaultProfile(home).value_or("-") + "\t" +
            FindDefaultMozillaProfile(ClientKind::thunderbird, {home}, {home + "/Profiles"})
                .value_or("-"));
    }

    // The client's accounts of those emails (comma-separated), each with any field the cache
    // requires.
    static Accounts AccountsOf(const QString& client, const QString& emails) {
        QStringList accounts = emails.split(',', Qt::SkipEmptyParts);
        for (QString& account : accounts)
            account += "|uuid=U|type=imap|idString=1";
        return CachedAccountsInfo(*ClientKindFromStoredText(client), accounts).accounts;
    }
    static AccountsInfoStatus StatusNamed(const QString& name) {
        using enum AccountsInfoStatus;
        for (const auto status : {discovering, discoverySucceeded, discoveryFailed}) {
            if (CaseName(status) == name)
                return status;
        }
        return loadedFromCacheOrEmpty;
    }

    // A discovery's result (`failed`, `partial` or `complete`, then its emails) applied to what
    // this process holds for the client.
    QStringList discovered(const QStringList& row) {
        AccountsInfo& info = _infos[*ClientKindFromStoredText(row[1])];
        ApplyDiscoveredAccounts(
            info, row[2] == "failed" ? std::nullopt : std::optional(AccountsOf(row[1], row[3])),
            row[2] == "partial");
        return {row.join('\t'), "info\t" + CaseName(info.status) + '\t' +
                                    Emails(info.accounts).join(',') + '\t' +
                                    Emails(info.cachedAccounts).join(',')};
    }

    // Discovers the accounts of the clients named, as the application does: in the background,
    // each result handed over on the main thread as a `handed` row. `stop` drops the discovery
    // at its first hand-over, `stop-waiting` while that hand-over waits for the main thread:
    // nothing is handed over after, nor `finished`.
    QStringList discover(const QStringList& row) {
        layOutAccounts();
        std::vector<std::pair<ClientKind, ClientInfoPtr>> clients;
        for (const QString& name : row.value(1).split(',', Qt::SkipEmptyParts)) {
            const ClientKind kind = *ClientKindFromStoredText(name);
            const QString bundle = _mac.installClient(kind, "16.0");
            auto info = std::make_shared<ClientInfo>(bundle, "16.0", "16.0");
            info->outlookVersionKindQ = OutlookVersionKind::v16_80OrNewer;
            info->mozillaBasedClientProfilePathQ = _profile;
            clients.emplace_back(kind, info);
        }
        const QString stop = row.value(2);
        const QThread* mainThread = QThread::currentThread();
        QStringList found;
        bool finished = false;
        std::unique_ptr<AccountDiscovery> discovery;
        // "Client[ partial]: emails" ("absent": none), marked when off the main thread, with
        // the number of scripts run before it.
        const auto handOver = [&](ClientKind kind, const std::optional<Accounts>& accounts,
                                  bool partial) {
            found.append("handed\t" + StoredText(kind) + (partial ? " partial: " : ": ") +
                         (accounts ? Emails(*accounts).join(',') : "absent") +
                         (QThread::currentThread() == mainThread ? "" : " (off the main thread)") +
                         " after " + QString::number(_mac.osascriptRuns().size()));
            if (stop == "stop")
                discovery.reset();
        };
        const int posted = _queue.posted;
        discovery = DiscoverAccounts(clients, _runner, _mac.paths(), _queue, handOver,
                                     [&finished] { finished = true; });
        EXPECT_FALSE(finished);  // started in the background
        if (stop == "stop-waiting") {
            for (int waited = 0; _queue.posted == posted && waited < 30'000; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_GT(_queue.posted, posted);
            discovery.reset();
        }
        EXPECT_TRUE(RunEventLoopUntil([&] { return finished || !discovery; }, 30));
        // Once the handle is gone its thread has been joined: whatever it had posted runs now.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        if (finished && discovery->isFinished())
            found.append("finished");
        return outcomes(row, std::nullopt, found);
    }

    // Saves what this process holds; a save that changes nothing must not replace the file.
    QStringList save() {
        const auto inode = [this] {
            struct stat status {};
            ::stat(QFile::encodeName(place("cache")).constData(), &status);
            return status.st_ino;
        };
        const auto before = inode();
        SaveCachedAccounts(_folder, _infos);
        return {QString("save\t") + (inode() == before ? "file unchanged" : "file written")};
    }

    // "-" stands for a name the account lacks, and for no identifier at all.
    static QString AccountIdString(const QStringList& row) {
        const auto name = [&](int i) {
            return row.value(i) == "-" ? std::nullopt : std::optional(row.value(i));
        };
        const OutlookAccount account("e@x.org", name(2), name(3));
        return OutlookAccountIdString(account, OutlookVersionKindFor(row[1])).value_or("-");
    }

    QStringList notice(const QStringList& row) {
        if (!row.value(1).isEmpty())
            _platform.prompter.answerWith(row[1]);
        ShowNewOutlookNotice(_platform.prompter, _platform.workspace, *_brand);
        const Alert& alert = _platform.prompter.shown().back();
        return {
            row.join('\t'),
            "alert\t" + alert.title + "\t" + alert.informativeText + "\t" + alert.buttons.join(','),
            "opened\t" + _mac.workspaceLog().join(',')};
    }

    // Detects and logs as a start-up does; gives each Mozilla profile picked.
    QStringList detect(const QString& system) {
        const OutlookModeProbe probe(_mac.paths());
        const bool onLinux = system == "linux";
        const ClientInfoMap map =
            onLinux ? FindLinuxClients(_mac.paths()) : FindInstalledClients(_mac.paths(), probe);
        onLinux ? LogAvailableClients(map, AvailableClientKinds(map))
                : LogDetectedClients(map, AvailableClientKinds(map), _mac.paths(), probe, *_brand);
        QStringList profiles;
        for (const auto& [kind, info] : map) {
            if (info->mozillaBasedClientProfilePathQ)
                profiles.append("profile\t" + shown(*info->mozillaBasedClientProfilePathQ));
            if (info->linuxConfigFolderQ)
                profiles.append("config\t" + shown(*info->linuxConfigFolderQ));
        }
        return profiles;
    }

    // Threads that ask one probe for Outlook's mode at once: how many were told the legacy
    // Outlook runs, and how many times `defaults` was asked (a stand-in that counts its runs).
    QStringList probe(const QStringList& row) {
        const QString runs = place("/var/fake-mac/defaults-runs");
        const QString defaults = place("/usr/bin/defaults");
        _mac.writeFile(defaults, ("#!/bin/sh\necho run >> '" + runs + "'\necho 0\n").toUtf8());
        QFile::setPermissions(defaults, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const OutlookModeProbe probe(_mac.paths());
        std::atomic<int> legacy{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < row.value(1).toInt(); ++i)
            threads.emplace_back([&] { legacy += probe.get().mode == OutlookMode::legacy; });
        for (auto& thread : threads)
            thread.join();
        probe.get();
        return {row.join('\t'), QString("probed\t%1 legacy\t%2 runs")
                                    .arg(legacy.load())
                                    .arg(QString(ReadFakeFile(runs).value_or("")).count("run"))};
    }

    FakeMac _mac;
    TestPlatform _platform{_mac};
    AppleScriptRunner _runner{_mac.paths(), *_platform.bundle};
    Result<Brand> _brand = Brand::load(*_platform.bundle, Brand::Deliverable::desktopApp);
    QString _folder = _mac.paths().applicationSupport() + "/Quillet";
    QString _profile = _mac.paths().userLibrary() + "/Thunderbird/Profiles/qlt1.default";
    CountingMainQueue _queue;
    LogTap _log;
    std::vector<FakeAppleMailAccount> _mail;
    std::vector<FakeOutlookAccount> _outlook;
    std::vector<FakeSparkAccountRow> _spark;
    QStringList _prefs;
    std::vector<QStringList> _published;
    std::map<ClientKind, AccountsInfo> _infos;  // what this process holds when it saves the cache
};

// Each file lays out a machine, hostile and damaged inputs included; after each "list" or
// "detect" row come the rows of all it must find, and nothing else may be found.
TEST(ClientCasesTest, EveryCaseFindsExactlyWhatItsRowsSay) {
    int count = 0;
    for (const QString folder : {"clients/listings/", "clients/detection/"}) {
        for (const QString& name :
             QDir(DataPath(folder)).entryList({"*.tsv"}, QDir::Files, QDir::Name)) {
            SCOPED_TRACE((folder + name).toStdString());
            ClientCase machine;
            QStringList expected, found;
            for (const QStringList& row : ReadDataTable(folder + name)) {
                found += machine.apply(row);
                if (kFound.contains(row[0]))
                    expected.append(row.join('\t'));
            }
            EXPECT_EQ(found.join('\n').toStdString(), expected.join('\n').toStdString());
            ++count;
        }
    }
    EXPECT_GE(count, 40);
}

}  // namespace
}  // namespace quillet
