// The quillet command killed in the middle of its work: over copies of the sample Mac, each command
// that syncs one client (install, refresh, update) is killed with SIGKILL right before its Nth file
// operation, for every N from 1 until the command no longer reaches one, and the power cut with it
// (what it wrote and never synchronised is dropped). A kill at any other moment leaves what the
// kill before the next operation leaves. After each kill no file may be torn: every client file
// reads as it was or as the finished command leaves it, and the store passes SQLite's integrity
// check; a client that lacks the text the store holds is pending in `status`; and what the person
// would run next (a plain refresh, or the install again when nothing of it was stored) leaves the
// client as the uninterrupted command does.
//
// The command is launched over a thousand times per client: tools/crash-test.sh gives it the
// release build's command and stand-ins (tests/support/CommandBuild.h); the file operations and
// what they leave are the same.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <iostream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>

#include "app/clients/PrefsFile.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/SampleMac.h"
#include "platform/Plist.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/FileFaults.h"
#include "tests/support/MachineSnapshot.h"
#include "tests/support/SampleMacCommand.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

// How many killed commands are walked at once: much of a command's time is spent waiting for
// its files to reach the disk and for the stand-ins it starts, so more than the cores.
constexpr int kParallelWalks = 6;

QByteArray Canonical(QByteArray text) {
    static const QRegularExpression uuid(
        "[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}");
    static const QRegularExpression date(R"re("(modificationDate|creationDate)":[0-9.e+]+,?)re");
    return QString::fromUtf8(text).replace(uuid, "UUID").remove(date).toUtf8();
}

// Every row of every table, the times of the last update aside.
QStringList AllRows(sqlite3* database) {
    static const QRegularExpression time(R"re((^|\|)1[0-9]{9}(\||$))re");
    QStringList rows;
    for (const QString& table :
         QuerySqliteRows(database,
                         "SELECT name FROM sqlite_master WHERE type = 'table' "
                         "ORDER BY name")) {
        rows << table;
        for (const QString& row : QuerySqliteRows(database, "SELECT * FROM \"" + table + "\""))
            rows << QString(row).replace(time, "\\1TIME\\2");
    }
    return rows;
}

// Opened for writing, as its owner would, so that a journal left by a kill is rolled back first.
// Empty when the database does not pass its integrity check; without a query, all its rows.
std::optional<QStringList> CheckedDatabaseRows(const QString& path, const QString& query) {
    sqlite3* database = nullptr;
    std::optional<QStringList> rows;
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK &&
        QuerySqliteRows(database, "PRAGMA integrity_check") == QStringList{"ok"}) {
        rows = query.isEmpty() ? AllRows(database) : QuerySqliteRows(database, query);
    }
    sqlite3_close(database);
    return rows;
}

// Whether a client file reads as its kind of file.
bool Parses(const QString& path) {
    if (path.endsWith(".plist"))
        return ReadPlistFile(path).has_value();
    if (path.endsWith("/prefs.js"))
        return ReadPrefsFileLines(path).has_value();
    if (path.endsWith("/postbox-signatures") || path.endsWith(".json")) {
        return nlohmann::json::accept(ReadFakeFile(path).value_or("").toStdString());
    }
    return true;
}

struct Snapshot {
    // The files of the clients, with the random parts of a new signature's identity and Spark's
    // times taken out, and SQLite databases by their rows.
    FolderFiles files;
    // Outlook's signatures, which its scripts change one by one, and what Quillet's store holds:
    // not files that are either old or new, but what a rerun must bring to the finished state.
    QByteArray outlook;
    QByteArray store;
    QStringList unreadable;  // files that do not parse, databases that fail their check

    // What the clients hold; a rerun may store its bookkeeping in its own way.
    bool sameClients(const Snapshot& other) const {
        return files == other.files && outlook == other.outlook;
    }
    bool operator==(const Snapshot& other) const {
        return sameClients(other) && store == other.store;
    }
};

Snapshot TakeSnapshot(const QString& folder) {
    Snapshot snapshot;
    // The durable write's temporary file beside its target: ".NAME.RANDOM.tmp".
    static const QRegularExpression temporary(R"re(/\.[^/]+\.[0-9a-z]+\.tmp$)re");
    const auto leftOut = [&](const QString& path) {
        const QString relative = path.mid(folder.size());
        // Restore points are Quillet's keepsakes, not client state: one cut off half-way has no
        // manifest and is pruned later (the restore test checks the points). The rest is left by
        // a write that was killed before its rename.
        return relative.contains("/Restore Points/") || temporary.match(relative).hasMatch() ||
               relative.contains("/Logs/") || relative.endsWith("-wal") ||
               relative.endsWith("-shm") || relative.endsWith("-journal");
    };
    for (const auto& [path, contents] : ReadFolderFiles(folder + "/home", leftOut)) {
        const QString relative = path.mid(folder.size());
        if (relative.endsWith(".sqlite")) {
            const bool spark = relative.endsWith("/settings.sqlite");
            const auto rows = CheckedDatabaseRows(
                path, spark ? "SELECT itemGroup, itemKey, itemValue, syncStatus FROM settings "
                              "ORDER BY rowid"
                            : QString());
            if (!rows)
                snapshot.unreadable << relative;
            else if (spark)
                snapshot.files[QString::fromUtf8(Canonical(relative.toUtf8()))] =
                    Canonical(rows->join('\n').toUtf8());
            else
                snapshot.store += Canonical(rows->join('\n').toUtf8());
            continue;
        }
        if (!Parses(path))
            snapshot.unreadable << relative;
        // Quillet's own files: the accounts cache is rewritten by every discovery.
        if (!relative.contains("/Application Support/Quillet/"))
            snapshot.files[QString::fromUtf8(Canonical(relative.toUtf8()))] = Canonical(contents);
    }
    // Outlook's signatures live in the stand-in's state, which its scripts change one by one.
    const QString outlook = folder + "/root/var/fake-mac/clients.json";
    if (!Parses(outlook))
        snapshot.unreadable << outlook;
    snapshot.outlook = Canonical(ReadFakeFile(outlook).value_or("(unreadable)"));
    return snapshot;
}

// Leak checks at every exit would cost more than the commands themselves; the other tests of
// the command do them.
QProcessEnvironment CleanEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString asan = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS",
                       (asan.isEmpty() ? QString() : asan + ":") + "detect_leaks=0");
    return environment;
}

struct Command {
    const char* name;
    QString serviceText;    // what the service answers for the key while the command runs
    QStringList arguments;  // after --yes
};

class QuilletCrashTest : public testing::Test,
                         public TestService,
                         public testing::WithParamInterface<ClientKind> {
protected:
    // Starts quillet over the fake Mac in the folder, its own process group leader, so that the
    // scripts it was running can be waited for after it is killed.
    std::unique_ptr<QProcess> start(const QString& folder, const QStringList& arguments,
                                    const QProcessEnvironment& environment) const {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setChildProcessModifier([] { ::setpgid(0, 0); });
        process->start(
            build.quillet,
            QStringList{"--root", folder + "/root", "--home", folder + "/home", "--bundle",
                        folder + "/Resources", "--service", url().toString(), "--yes"} +
                arguments);
        return process;
    }

    static CommandRun finish(QProcess& process) {
        const CommandRun run = FinishQuillet(process);
        // Scripts left running by a killed command finish their own work first.
        const qint64 group = process.processId();
        for (int i = 0; group > 0 && i < 500 && ::kill(-pid_t(group), 0) == 0; ++i)
            QThread::msleep(10);
        return run;
    }

    CommandRun run(const QString& folder, const QStringList& arguments) const {
        return finish(*start(folder, arguments, CleanEnvironment()));
    }

    // The signatures the store holds; a killed install never leaves a half-made one: the store
    // holds it whole, with its choices, or not at all.
    nlohmann::json stored(const QString& folder) const {
        const auto list = nlohmann::json::parse(run(folder, {"--json", "list"}).out.toStdString(),
                                                nullptr, false);
        EXPECT_TRUE(list.is_array());
        for (const auto& signature : list.is_array() ? list : nlohmann::json::array())
            EXPECT_FALSE(signature["selected"].empty()) << signature.dump();
        return list.is_array() ? list : nlohmann::json::array();
    }

    // Kills the command at every operation in turn, several at once, each over its own copy of
    // the fake Mac; returns the number of kill points.
    long walkKills(const QString& before, const Command& command, const Snapshot& old,
                   const Snapshot& done, long operations) {
        std::atomic<long> next{1};
        std::atomic<long> killPoints{0};
        Walk walk{command, old, done, {}, {}};
        auto walker = [&] {
            for (long target = next++; target <= operations; target = next++) {
                const QString folder = work.path() + "/kill-" + QString::number(target);
                const QString journal = folder + ".unsynced";
                CopyFakeMacFolder(before, folder);
                auto process =
                    start(folder, command.arguments,
                          NoteUnsyncedWrites(FileFaultsEnvironment(CleanEnvironment(), folder,
                                                                   FileFaultAction::kill, target),
                                             journal));
                if (finish(*process).exitCode == -1) {
                    ++killPoints;
                    // The kill is a power cut: what never reached the disk is gone too.
                    CutPower(folder, journal);
                    checkKilled(folder, walk);
                }
                QDir(folder).removeRecursively();
                QFile::remove(journal);
            }
        };
        // QThreads, not bare threads: QProcess wants an event dispatcher in its thread.
        std::vector<std::unique_ptr<QThread>> walkers;
        for (int i = 0; i < kParallelWalks; ++i) {
            walkers.emplace_back(QThread::create(walker));
            walkers.back()->start();
        }
        for (auto& thread : walkers)
            thread->wait();
        return killPoints;
    }

    // What the walkers of one command share; the mutex guards the rerun states.
    struct Walk {
        const Command& command;
        const Snapshot& old;
        const Snapshot& done;
        std::mutex mutex;
        std::set<QByteArray> rerunStates;
    };

    void checkKilled(const QString& folder, Walk& walk) const {
        const Command& command = walk.command;
        const Snapshot killed = TakeSnapshot(folder);
        EXPECT_EQ(killed.unreadable, QStringList()) << folder.toStdString();
        std::set<QString> paths;
        for (const FolderFiles* states : {&walk.old.files, &walk.done.files, &killed.files}) {
            for (const auto& [path, contents] : *states)
                paths.insert(path);
        }
        for (const QString& path : paths) {
            auto state = [&path](const FolderFiles& states) {
                const auto found = states.find(path);
                return found == states.end() ? QByteArray("(none)") : found->second;
            };
            const QByteArray now = state(killed.files);
            if (now != state(walk.old.files) && now != state(walk.done.files)) {
                ADD_FAILURE() << command.name << ": " << path.toStdString()
                              << " is neither as before nor as after:\n"
                              << now.toStdString();
            }
        }
        // A kill before anything was stored leaves the state that the uninterrupted command
        // started from, and one after all was stored the state it finished with: nothing to
        // rerun. Other killed states that are alike finish alike: one rerun of each is enough.
        QByteArray key = killed.outlook + '\0' + killed.store + '\0';
        for (const auto& [path, contents] : killed.files)
            key += path.toUtf8() + '\0' + contents + '\0';
        bool rerun = false;
        {
            const std::lock_guard lock(walk.mutex);
            rerun = !(killed == walk.old) && !(killed == walk.done) &&
                    walk.rerunStates.insert(key).second;
        }
        if (!rerun)
            return;
        const nlohmann::json list = stored(folder);
        // Laying the fake Mac out again puts this build's stand-ins back in.
        const FakeMac mac(folder);
        EXPECT_TRUE(build.installStandIns(mac.root()));
        bool stale = false;
        for (const auto& signature : list)
            stale = stale || SignaturesHolding(mac, GetParam(),
                                               QString::fromStdString(signature["mainText"])) == 0;
        const bool inOrder = run(folder, {"status"}).exitCode == 0;
        // What the person runs next: the install again when it stored nothing.
        const QStringList finishing = command.name == std::string("install") && list.empty()
                                          ? command.arguments
                                          : QStringList{"refresh"};
        const int status = run(folder, finishing).exitCode;
        const Snapshot rerunState = TakeSnapshot(folder);
        EXPECT_FALSE(stale && inOrder) << command.name << " killed: the client lacks the stored "
                                       << "text while status calls all in order";
        EXPECT_TRUE(status == 0 && rerunState.sameClients(walk.done))
            << command.name << " killed, then " << finishing.join(' ').toStdString()
            << ": exit status " << status << ", not as the uninterrupted command left it";
    }

    const CommandBuild build = CommandBuild::Fastest();
    QTemporaryDir work;
};

TEST_P(QuilletCrashTest, AKilledSyncTearsNoFileAndARerunFinishesIt) {
    ASSERT_TRUE(QFile::exists(FileFaultsLibraryPath()));
    ASSERT_TRUE(QFile::exists(build.quillet)) << build.quillet.toStdString();
    const ClientKind kind = GetParam();
    const QString client = StoredText(kind);
    QStringList install{"install", "--key", "k-crash", "--client", client};
    const std::map<ClientKind, QString> accounts = {{ClientKind::appleMail, "ann@example.com"},
                                                    {ClientKind::thunderbird, "tom@example.com"}};
    if (accounts.count(kind))
        install << "--account" << accounts.at(kind);
    // A refresh (or update) killed after it stored the new text leaves nothing new for the next
    // refresh to fetch: what it left pending, and what the clients hold against the stored text,
    // make the next refresh finish it.
    const std::vector<Command> commands = {
        {"install", "<p>First</p>", install},
        {"refresh", "<p>Second</p>", {"refresh"}},
        {"update", "<p>Third</p>", {"update", "1"}},
    };

    FakeMac mac(work.path() + "/stage-0");
    BuildSampleMac(mac);
    ASSERT_TRUE(build.installStandIns(mac.root()));
    QString before = mac.folder();
    long totalKillPoints = 0;
    for (size_t i = 0; i < commands.size(); ++i) {
        const Command& command = commands[i];
        SCOPED_TRACE(command.name);
        setSignature("k-crash", command.serviceText);
        // The uninterrupted command: how many operations it makes and what it leaves.
        const QString after = work.path() + "/stage-" + QString::number(i + 1);
        CopyFakeMacFolder(before, after);
        const QString countFile = work.path() + "/operations";
        const CommandRun counted =
            finish(*start(after, command.arguments,
                          FileFaultsEnvironment(CleanEnvironment(), after, FileFaultAction::count,
                                                0, countFile)));
        ASSERT_EQ(counted.exitCode, 0) << counted.err.toStdString();
        const long operations = ReadFakeFile(countFile).value_or("0").trimmed().toLong();
        const Snapshot old = TakeSnapshot(before);
        const Snapshot done = TakeSnapshot(after);
        ASSERT_FALSE(old == done);

        const long killPoints = walkKills(before, command, old, done, operations);
        std::cout << client.toStdString() << " " << command.name << ": " << operations
                  << " file operations, kill points: " << killPoints << std::endl;
        totalKillPoints += killPoints;
        before = after;
    }
    EXPECT_GE(totalKillPoints, 200);
}

INSTANTIATE_TEST_SUITE_P(Clients, QuilletCrashTest,
                         testing::Values(ClientKind::appleMail, ClientKind::outlook,
                                         ClientKind::postbox, ClientKind::spark,
                                         ClientKind::thunderbird),
                         [](const testing::TestParamInfo<ClientKind>& info) {
                             return StoredText(info.param).toStdString();
                         });

}  // namespace
}  // namespace quillet
