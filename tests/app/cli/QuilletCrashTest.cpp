// The quillet command killed in the middle of its work: over copies of the sample Mac, each command
// that syncs one client (install, refresh, update) is killed with SIGKILL right before its Nth file
// operation, for every N from 1 until the command no longer reaches one, and the power cut with it
// (what it wrote and never synchronised is dropped). After each kill no file may be torn: every
// client file reads as it was or as the finished command leaves it, the store passes SQLite's
// integrity check, and what the person would run next (a plain refresh, or the install again when
// nothing of it was stored) leaves the client as the uninterrupted command does.
//
// The command is launched over a thousand times per client: tools/crash-test.sh gives it the
// release build's command and stand-ins (tests/support/CommandBuild.h); the file operations and
// what they leave are the same.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "app/clients/PrefsFile.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/SampleMac.h"
#include "platform/Plist.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/FileFaults.h"
#include "tests/support/SampleMacCommand.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

// How many killed commands are walked at once: much of a command's time is spent waiting for
// its files to reach the disk and for the stand-ins it starts, so more than the cores.
constexpr int kParallelWalks = 6;

const QString kLogPath = "/home/Library/Logs/Quillet/Quillet.log";

// Relative path -> contents: the files of the clients, with the random parts of a new
// signature's identity and Spark's times taken out, and SQLite databases by their rows.
using FileStates = std::map<QString, QByteArray>;

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
    FileStates files;
    // Outlook's signatures, which its scripts change one by one, and what Quillet's store holds:
    // not files that are either old or new, but what a rerun must bring to the finished state.
    QByteArray outlook;
    QByteArray store;
    QStringList unreadable;  // files that do not parse, databases that fail their check
    int temporaryFiles = 0;  // left by a write that was killed before its rename

    // What the clients hold; a rerun may store its bookkeeping in its own way.
    bool sameClients(const Snapshot& other) const {
        return files == other.files && outlook == other.outlook;
    }
    bool operator==(const Snapshot& other) const {
        return sameClients(other) && store == other.store;
    }
};

// The durable write's temporary file beside its target: ".NAME.RANDOM.tmp".
bool IsTemporaryFile(const QString& path) {
    static const QRegularExpression temporary(R"re(/\.[^/]+\.[0-9a-z]+\.tmp$)re");
    return temporary.match(path).hasMatch();
}

Snapshot TakeSnapshot(const QString& folder) {
    Snapshot snapshot;
    QDirIterator files(folder + "/home", QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString relative = path.mid(folder.size());
        // Restore points are Quillet's keepsakes, not client state: one cut off half-way has no
        // manifest and is pruned later (the restore test checks the points).
        if (relative.contains("/Restore Points/"))
            continue;
        if (IsTemporaryFile(relative)) {
            ++snapshot.temporaryFiles;
            continue;
        }
        if (relative.contains("/Logs/") || relative.endsWith("-wal") || relative.endsWith("-shm") ||
            relative.endsWith("-journal")) {
            continue;
        }
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
            snapshot.files[QString::fromUtf8(Canonical(relative.toUtf8()))] =
                Canonical(ReadFakeFile(path).value_or("(unreadable)"));
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

struct Totals {
    long killPoints = 0;
    long untoldChanges = 0;
    long tornFiles = 0;
    long unreadableFiles = 0;
    long failedReruns = 0;
    long temporaryFiles = 0;
    long reruns = 0;
};

// The quillet command over copies of a fake Mac, started and killed: what both tests share.
class KilledCommands : public testing::Test, public ServedSignatures {
protected:
    void setServiceText(const QString& text) const { setSignature("k-crash", text); }

    QStringList commonArguments(const QString& folder) const {
        return {"--root",         folder + "/root", "--home",
                folder + "/home", "--bundle",       folder + "/Resources",
                "--service",      serviceUrl(),     "--yes"};
    }

    // Starts quillet over the fake Mac in the folder, its own process group leader, so that the
    // scripts it was running can be waited for after it is killed.
    std::unique_ptr<QProcess> start(const QString& folder, const QStringList& arguments,
                                    const QProcessEnvironment& environment) const {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setChildProcessModifier([] { ::setpgid(0, 0); });
        process->start(build.quillet, commonArguments(folder) + arguments);
        return process;
    }

    static void finish(QProcess& process) {
        // A command that ended before its kill was due has finished already, and QProcess's
        // wait says false for a process that is no longer running.
        if (process.state() != QProcess::NotRunning) {
            EXPECT_TRUE(process.waitForFinished(120000)) << process.errorString().toStdString();
        }
        // Scripts left running by a killed command finish their own work first.
        const qint64 group = process.processId();
        for (int i = 0; group > 0 && i < 500 && ::kill(-pid_t(group), 0) == 0; ++i)
            QThread::msleep(10);
    }

    CommandRun run(const QString& folder, const QStringList& arguments) const {
        return FinishQuillet(*start(folder, arguments, CleanEnvironment()));
    }

    int runClean(const QString& folder, const QStringList& arguments) const {
        const CommandRun ran = run(folder, arguments);
        if (ran.exitCode != 0)
            std::cerr << arguments.join(' ').toStdString() << ": " << ran.err.toStdString() << "\n";
        return ran.exitCode;
    }

    // Runs kParallelWalks copies of the walk at once and waits for them. QThreads, not bare
    // threads: QProcess wants an event dispatcher in its thread.
    static void RunWalkers(const std::function<void()>& walker) {
        std::vector<std::unique_ptr<QThread>> walkers;
        for (int i = 0; i < kParallelWalks; ++i) {
            walkers.emplace_back(QThread::create(walker));
            walkers.back()->start();
        }
        for (auto& thread : walkers)
            thread->wait();
    }

    const CommandBuild build = CommandBuild::Fastest();
    QTemporaryDir work;
};

class QuilletCrashTest : public KilledCommands, public testing::WithParamInterface<ClientKind> {
protected:
    // What the person runs after a kill: a plain refresh finishes whatever the store holds;
    // an install killed before it stored its signature is run again. A killed install never
    // leaves a half-made signature: the store holds it whole, with its choices, or not at all.
    QStringList finishingArguments(const QString& folder, const Command& command) const {
        const auto list = nlohmann::json::parse(run(folder, {"--json", "list"}).out.toStdString(),
                                                nullptr, false);
        EXPECT_TRUE(list.is_array());
        for (const auto& signature : list.is_array() ? list : nlohmann::json::array())
            EXPECT_FALSE(signature["selected"].empty()) << signature.dump();
        const bool stored = list.is_array() && !list.empty();
        return command.name == std::string("install") && !stored ? command.arguments
                                                                 : QStringList{"refresh"};
    }

    // Kills the command at every operation in turn, several at once, each over its own copy of
    // the fake Mac; returns the number of kill points.
    long walkKills(const QString& before, const Command& command, const Snapshot& old,
                   const Snapshot& done, long operations, Totals& totals) {
        std::atomic<long> next{1};
        std::atomic<long> killPoints{0};
        const qint64 logSizeBefore = ReadFakeFile(before + kLogPath).value_or("").size();
        Walk walk{command, old, done, logSizeBefore, totals, {}, {}};
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
                finish(*process);
                if (process->exitStatus() == QProcess::CrashExit) {
                    ++killPoints;
                    // The kill is a power cut: what never reached the disk is gone too.
                    CutPower(folder, journal);
                    checkKilled(folder, walk);
                }
                QDir(folder).removeRecursively();
                QFile::remove(journal);
            }
        };
        RunWalkers(walker);
        return killPoints;
    }

    // What the walkers of one command share; the mutex guards the totals and the rerun states.
    struct Walk {
        const Command& command;
        const Snapshot& old;
        const Snapshot& done;
        qint64 logSizeBefore;  // the log's lines before the command's
        Totals& totals;
        std::mutex mutex;
        std::set<QByteArray> rerunStates;
    };

    void checkKilled(const QString& folder, Walk& walk) const {
        const Command& command = walk.command;
        const Snapshot killed = TakeSnapshot(folder);
        const long untold = countUntoldChanges(folder, walk, killed);
        EXPECT_EQ(killed.unreadable, QStringList()) << folder.toStdString();
        std::set<QString> paths;
        for (const FileStates* states : {&walk.old.files, &walk.done.files, &killed.files}) {
            for (const auto& [path, contents] : *states)
                paths.insert(path);
        }
        long torn = 0;
        for (const QString& path : paths) {
            auto state = [&path](const FileStates& states) {
                const auto found = states.find(path);
                return found == states.end() ? QByteArray("(none)") : found->second;
            };
            const QByteArray now = state(killed.files);
            if (now != state(walk.old.files) && now != state(walk.done.files)) {
                ++torn;
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
            walk.totals.unreadableFiles += killed.unreadable.size();
            walk.totals.temporaryFiles += killed.temporaryFiles;
            walk.totals.tornFiles += torn;
            walk.totals.untoldChanges += untold;
            rerun = !(killed == walk.old) && !(killed == walk.done) &&
                    walk.rerunStates.insert(key).second;
            walk.totals.reruns += rerun ? 1 : 0;
        }
        if (!rerun)
            return;
        const QStringList finishing = finishingArguments(folder, command);
        const int status = runClean(folder, finishing);
        const Snapshot rerunState = TakeSnapshot(folder);
        if (status == 0 && rerunState.sameClients(walk.done))
            return;
        const std::lock_guard lock(walk.mutex);
        ++walk.totals.failedReruns;
        for (const auto& [path, contents] : rerunState.files) {
            const auto expected = walk.done.files.find(path);
            if (expected == walk.done.files.end() || expected->second != contents) {
                std::cerr << path.toStdString() << ":\n"
                          << contents.toStdString() << "\ninstead of\n"
                          << (expected != walk.done.files.end() ? expected->second.toStdString()
                                                                : std::string("(none)"))
                          << std::endl;
            }
        }
        if (rerunState.outlook != walk.done.outlook) {
            std::cerr << "Outlook:\n"
                      << rerunState.outlook.toStdString() << "\ninstead of\n"
                      << walk.done.outlook.toStdString() << std::endl;
        }
        ADD_FAILURE() << command.name << " killed, then " << finishing.join(' ').toStdString()
                      << ": exit status " << status << ", "
                      << (rerunState.sameClients(walk.done) ? "finished" : "not finished");
    }

    // The changes the kill left made that the command's own log lines do not tell: a line that
    // describes a change is on disk before the change is made.
    long countUntoldChanges(const QString& folder, const Walk& walk, const Snapshot& killed) const {
        const QString log = QString::fromUtf8(
            Canonical(ReadFakeFile(folder + kLogPath).value_or("").mid(walk.logSizeBefore)));
        long untold = 0;
        const auto told = [&](const QString& what, const QString& line) {
            if (log.contains(line))
                return;
            ++untold;
            ADD_FAILURE() << walk.command.name << ": " << what.toStdString()
                          << " changed, and the log does not tell it:\n"
                          << log.toStdString();
        };
        for (const auto& [path, contents] : killed.files) {
            const auto old = walk.old.files.find(path);
            const auto done = walk.done.files.find(path);
            const bool finished = done != walk.done.files.end() && done->second == contents;
            if (finished && (old == walk.old.files.end() || old->second != contents))
                told(path, folder + path);
        }
        for (const auto& [path, contents] : walk.old.files) {
            if (!killed.files.count(path) && !walk.done.files.count(path))
                told(path, folder + path);
        }
        if (killed.outlook != walk.old.outlook)
            told("Outlook's signatures", "stalling signature \"");
        return untold;
    }
};

TEST_P(QuilletCrashTest, AKilledSyncTearsNoFileAndARerunFinishesIt) {
    ASSERT_TRUE(QFile::exists(FileFaultsLibraryPath()));
    ASSERT_TRUE(QFile::exists(build.quillet)) << build.quillet.toStdString();
    const ClientKind kind = GetParam();
    const QString client = StoredText(kind);
    QStringList install{"install", "--key", "k-crash", "--client", client};
    if (kind == ClientKind::appleMail)
        install << "--account"
                << "ann@example.com";
    if (kind == ClientKind::thunderbird)
        install << "--account"
                << "tom@example.com";
    // A refresh (or update) killed after it stored the new text leaves nothing new for the next
    // refresh to fetch: what it left pending, and what the clients hold against the stored text,
    // make the next refresh finish it.
    const std::vector<Command> commands = {
        {"install", "<p>First</p>", install},
        {"refresh", "<p>Second</p>", {"refresh"}},
        {"update", "<p>Third</p>", {"update", "1"}},
    };

    FakeMac sample(work.path() + "/stage-0");
    BuildSampleMac(sample);
    ASSERT_TRUE(build.installStandIns(sample.root()));
    QString before = sample.folder();
    Totals totals;
    for (size_t i = 0; i < commands.size(); ++i) {
        const Command& command = commands[i];
        SCOPED_TRACE(command.name);
        setServiceText(command.serviceText);
        // The uninterrupted command: how many operations it makes and what it leaves.
        const QString after = work.path() + "/stage-" + QString::number(i + 1);
        CopyFakeMacFolder(before, after);
        const QString countFile = work.path() + "/operations";
        auto counted = start(
            after, command.arguments,
            FileFaultsEnvironment(CleanEnvironment(), after, FileFaultAction::count, 0, countFile));
        finish(*counted);
        ASSERT_EQ(counted->exitCode(), 0) << counted->readAllStandardError().toStdString();
        const long operations = ReadFakeFile(countFile).value_or("0").trimmed().toLong();
        const Snapshot old = TakeSnapshot(before);
        const Snapshot done = TakeSnapshot(after);
        ASSERT_FALSE(old == done);

        const long killPoints = walkKills(before, command, old, done, operations, totals);
        std::cout << client.toStdString() << " " << command.name << ": " << operations
                  << " file operations, kill points: " << killPoints << std::endl;
        totals.killPoints += killPoints;
        before = after;
    }
    std::cout << client.toStdString() << ": kill points: " << totals.killPoints
              << ", changes the log does not tell: " << totals.untoldChanges
              << ", torn files: " << totals.tornFiles
              << ", unreadable files: " << totals.unreadableFiles << ", reruns: " << totals.reruns
              << ", reruns that did not finish: " << totals.failedReruns
              << ", temporary files left beside their targets: " << totals.temporaryFiles
              << std::endl;
    EXPECT_GE(totals.killPoints, 200);
    EXPECT_EQ(totals.tornFiles, 0);
    EXPECT_EQ(totals.untoldChanges, 0);
    EXPECT_EQ(totals.unreadableFiles, 0);
    EXPECT_EQ(totals.failedReruns, 0);
}

INSTANTIATE_TEST_SUITE_P(Clients, QuilletCrashTest,
                         testing::Values(ClientKind::appleMail, ClientKind::outlook,
                                         ClientKind::postbox, ClientKind::spark,
                                         ClientKind::thunderbird),
                         [](const testing::TestParamInfo<ClientKind>& info) {
                             return StoredText(info.param).toStdString();
                         });

// How many kills the random walk makes of each command: QUILLET_RANDOM_KILLS, else a few
// dozen (tools/random-kills.sh asks for hundreds).
long RandomKillTarget() {
    const long wanted = qEnvironmentVariable("QUILLET_RANDOM_KILLS").toLong();
    return wanted > 0 ? wanted : 30;
}

// The quillet command killed with SIGKILL at random moments (not at file operations), each over
// a fresh copy of the sample Mac: "refresh" of a signature installed in all five clients whose
// text changed on the service, and "install" into each client in turn. After each kill, any
// client that lacks the text the store now holds for it must be pending in `status` (exit status
// 1); and what the person runs next (a plain refresh; the install again when it stored nothing)
// must leave every client with the service's text and `status` clean.
class QuilletRandomKillTest : public KilledCommands,
                              public testing::WithParamInterface<const char*> {
protected:
    struct Totals {
        long trials = 0;
        long kills = 0;
        long staleAfterKill = 0;  // a client lacking the store's text right after the kill
        long staleInOrder = 0;    // ... while status called everything in order
        long unfinished = 0;      // not finished by what the person runs next
    };

    // Every client that lacks the text the store holds for a signature selected there.
    QStringList staleClients(const QString& folder) const {
        QStringList stale;
        const auto list = nlohmann::json::parse(run(folder, {"--json", "list"}).out.toStdString(),
                                                nullptr, false);
        for (const auto& signature : list.is_array() ? list : nlohmann::json::array()) {
            const QString text = QString::fromStdString(signature.value("mainText", ""));
            for (const ClientKind kind : kClients) {
                if (signature["selected"].contains(StoredText(kind).toStdString()) &&
                    !holds(folder, kind, text)) {
                    stale << StoredText(kind);
                }
            }
        }
        return stale;
    }

    // Whether the client of the sample's copy in the folder holds the text.
    bool holds(const QString& folder, ClientKind kind, const QString& text) const {
        return SampleClientHolds(MovedSampleMac(*sample, sampleFolder, folder), kind, text);
    }

    static constexpr ClientKind kClients[] = {ClientKind::appleMail, ClientKind::outlook,
                                              ClientKind::postbox, ClientKind::spark,
                                              ClientKind::thunderbird};
    std::optional<SampleMac> sample;
    QString sampleFolder;
};

TEST_P(QuilletRandomKillTest, NoKillLeavesAStaleClientThatStatusCallsInOrder) {
    ASSERT_TRUE(QFile::exists(build.quillet)) << build.quillet.toStdString();
    const bool refresh = QString(GetParam()) == "refresh";
    FakeMac mac(work.path() + "/base");
    sample = BuildSampleMac(mac);
    sampleFolder = mac.folder();
    ASSERT_TRUE(build.installStandIns(mac.root()));
    const auto installArguments = [](ClientKind kind) {
        QStringList arguments{"install", "--key", "k-crash", "--client", StoredText(kind)};
        if (kind == ClientKind::appleMail)
            arguments << "--account"
                      << "ann@example.com";
        if (kind == ClientKind::thunderbird)
            arguments << "--account"
                      << "tom@example.com";
        return arguments;
    };
    if (refresh) {
        setServiceText("<p>Before</p>");
        for (const ClientKind kind : kClients)
            ASSERT_EQ(runClean(mac.folder(), installArguments(kind)), 0);
    }
    const QString text = refresh ? "<p>After</p>" : "<p>Installed</p>";
    setServiceText(text);
    const auto commandOf = [&](long trial) {
        return refresh ? QStringList{"refresh"} : installArguments(kClients[trial % 5]);
    };
    // How long the uninterrupted command takes: the kills fall anywhere in it.
    QElapsedTimer timer;
    timer.start();
    {
        const QString folder = work.path() + "/timed";
        CopyFakeMacFolder(mac.folder(), folder);
        ASSERT_EQ(runClean(folder, commandOf(0)), 0);
        QDir(folder).removeRecursively();
    }
    const qint64 duration = std::max<qint64>(timer.elapsed(), 50);

    const long target = RandomKillTarget();
    Totals totals;
    std::mutex mutex;
    std::atomic<long> next{0};
    auto walker = [&] {
        std::mt19937 random(std::random_device{}());
        for (long trial = next++; trial < target * 4; trial = next++) {
            {
                const std::lock_guard lock(mutex);
                if (totals.kills >= target)
                    return;
                ++totals.trials;
            }
            const QString folder = work.path() + "/trial-" + QString::number(trial);
            CopyFakeMacFolder(mac.folder(), folder);
            auto process = start(folder, commandOf(trial), CleanEnvironment());
            const int delay = std::uniform_int_distribution<int>(0, int(duration))(random);
            const bool killed = process->waitForStarted(60000) && process->processId() > 0 &&
                                !process->waitForFinished(delay) &&
                                process->state() != QProcess::NotRunning;
            if (killed)
                ::kill(pid_t(process->processId()), SIGKILL);
            finish(*process);
            if (!killed) {
                QDir(folder).removeRecursively();
                continue;
            }
            const QStringList stale = staleClients(folder);
            const int status = run(folder, {"status"}).exitCode;
            // What the person runs next: the install again when nothing of it was stored.
            const bool stored = run(folder, {"--json", "list"}).out.trimmed() != "[]";
            const CommandRun following =
                run(folder, refresh || stored ? QStringList{"refresh"} : commandOf(trial));
            bool finished = following.exitCode == 0 && run(folder, {"status"}).exitCode == 0;
            for (const ClientKind kind : kClients) {
                if ((refresh || kind == kClients[trial % 5]) && !holds(folder, kind, text))
                    finished = false;
            }
            const std::lock_guard lock(mutex);
            ++totals.kills;
            totals.staleAfterKill += stale.isEmpty() ? 0 : 1;
            if (!stale.isEmpty() && status == 0) {
                ++totals.staleInOrder;
                ADD_FAILURE() << commandOf(trial).join(' ').toStdString() << " killed after "
                              << delay << " ms: " << stale.join(", ").toStdString()
                              << " stale while status calls all in order";
            }
            if (!finished) {
                ++totals.unfinished;
                ADD_FAILURE() << commandOf(trial).join(' ').toStdString() << " killed after "
                              << delay << " ms, then "
                              << (refresh || stored ? "refresh" : "install") << " (exit "
                              << following.exitCode << "): not finished\n"
                              << following.err.toStdString();
            }
            QDir(folder).removeRecursively();
        }
    };
    RunWalkers(walker);
    std::cout << GetParam() << ": " << totals.trials << " runs of " << duration
              << " ms, kills: " << totals.kills
              << ", kills that left a client without the stored text: " << totals.staleAfterKill
              << ", of those called in order by status: " << totals.staleInOrder
              << ", not finished by the next command: " << totals.unfinished << std::endl;
    EXPECT_GE(totals.kills, target);
    EXPECT_EQ(totals.staleInOrder, 0);
    EXPECT_EQ(totals.unfinished, 0);
}

INSTANTIATE_TEST_SUITE_P(Commands, QuilletRandomKillTest, testing::Values("refresh", "install"));

}  // namespace
}  // namespace quillet
