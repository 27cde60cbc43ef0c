// The quillet command killed in the middle of its work: over copies of the sample Mac, each
// command that syncs one client (install, refresh, update) is killed with SIGKILL right before
// its Nth file operation, for every N from 1 until the command no longer reaches one. After each
// kill no file may be torn: every client file reads as it was or as the finished command leaves
// it, the store passes SQLite's integrity check, and running the command that finishes the work
// again leaves the client as the uninterrupted command does.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "app/clients/PrefsFile.h"
#include "platform/Plist.h"
#include "tests/support/FakeMacMozilla.h"
#include "tests/support/FakeMacSample.h"
#include "tests/support/FileFaults.h"
#include "tests/support/TestHelpers.h"
#include "tools/signature-service/SignatureService.h"

namespace quillet {
namespace {

// How many commands run at once.
constexpr int kParallelCommands = 2;

// Relative path -> contents: the files of the clients, with the random parts of a new
// signature's identity and Spark's times taken out, and SQLite databases by their rows.
using FileStates = std::map<QString, QByteArray>;

QByteArray Canonical(QByteArray text) {
    static const QRegularExpression uuid(
        "[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}");
    static const QRegularExpression date(R"re("(modificationDate|creationDate)":[0-9.e+]+,?)re");
    // A new signature's name counts the signatures, among them one that a killed install left.
    static const QRegularExpression name("Signature Name [0-9]+");
    return QString::fromUtf8(text)
        .replace(uuid, "UUID")
        .remove(date)
        .replace(name, "Signature Name N")
        .toUtf8();
}

// Opened for writing, as its owner would, so that a journal left by a kill is rolled back first.
// Empty when the database does not pass its integrity check.
std::optional<QStringList> CheckedDatabaseRows(const QString& path, const QString& query) {
    sqlite3* database = nullptr;
    std::optional<QStringList> rows;
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK &&
        QuerySqliteRows(database, "PRAGMA integrity_check") == QStringList{"ok"}) {
        rows = query.isEmpty() ? QStringList() : QuerySqliteRows(database, query);
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
    QStringList unreadable;  // files that do not parse, databases that fail their check
    int temporaryFiles = 0;  // left by a write that was killed before its rename
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
                snapshot.files[relative] = Canonical(rows->join('\n').toUtf8());
            continue;  // Quillet's store: checked, its contents are the engine's business
        }
        if (!Parses(path))
            snapshot.unreadable << relative;
        // Quillet's own files: the accounts cache is rewritten by every discovery.
        if (!relative.contains("/Application Support/Quillet/"))
            snapshot.files[relative] = Canonical(ReadFakeFile(path).value_or("(unreadable)"));
    }
    // Outlook's signatures live in the stand-in's state, which its scripts change one by one.
    const QString outlook = folder + "/root/var/fake-mac/clients.json";
    if (!Parses(outlook))
        snapshot.unreadable << outlook;
    return snapshot;
}

// Copies a fake Mac; the programs and resources, which nothing writes, as hard links.
void CopyFakeMac(const QString& from, const QString& to) {
    QDirIterator files(from, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    QDir().mkpath(to);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString relative = path.mid(from.size());
        const QString target = to + relative;
        if (files.fileInfo().isDir()) {
            QDir().mkpath(target);
        } else if (relative.startsWith("/Resources/") || relative.startsWith("/root/usr/bin/")) {
            ::link(QFile::encodeName(path).constData(), QFile::encodeName(target).constData());
        } else {
            QFile::copy(path, target);
        }
    }
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
    long tornFiles = 0;
    long unreadableFiles = 0;
    long failedReruns = 0;
    long temporaryFiles = 0;
};

class QuilletCrashTest : public testing::TestWithParam<ClientKind> {
protected:
    QuilletCrashTest() {
        service = std::make_unique<SignatureService>(SignatureServiceOptions{
            serviceFolder.path().toStdString(), "127.0.0.1", 0, [](const std::string&) {}});
        EXPECT_TRUE(service->start()) << service->error();
    }

    void setServiceText(const QString& text) const {
        QFile file(serviceFolder.path() + "/k-crash.html");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    QStringList commonArguments(const QString& folder) const {
        return {"--root",    folder + "/root",
                "--home",    folder + "/home",
                "--bundle",  folder + "/Resources",
                "--service", QString::fromStdString(service->baseUrl()),
                "--yes"};
    }

    // Starts quillet over the fake Mac in the folder, its own process group leader, so that the
    // scripts it was running can be waited for after it is killed.
    std::unique_ptr<QProcess> start(const QString& folder, const QStringList& arguments,
                                    const QProcessEnvironment& environment) const {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setChildProcessModifier([] { ::setpgid(0, 0); });
        process->start(QUILLET_QUILLET_PATH, commonArguments(folder) + arguments);
        return process;
    }

    static void finish(QProcess& process) {
        EXPECT_TRUE(process.waitForFinished(120000)) << process.errorString().toStdString();
        // Scripts left running by a killed command finish their own work first.
        const qint64 group = process.processId();
        for (int i = 0; group > 0 && i < 500 && ::kill(-pid_t(group), 0) == 0; ++i)
            QThread::msleep(10);
    }

    int runClean(const QString& folder, const QStringList& arguments) const {
        auto process = start(folder, arguments, CleanEnvironment());
        process->waitForFinished(120000);
        if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
            std::cerr << arguments.join(' ').toStdString() << ": "
                      << process->readAllStandardError().toStdString() << std::endl;
        }
        return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }

    // The command that finishes what a killed command began. A killed install may have stored
    // its signature with its installations (reinstalling it finishes the work), or only the new
    // empty record that the form fills in (the person installs again).
    QStringList finishingArguments(const QString& folder, const Command& command) const {
        QProcess process;
        process.start(QUILLET_QUILLET_PATH,
                      commonArguments(folder) + QStringList{"--json", "list"});
        process.waitForFinished(120000);
        const auto list =
            nlohmann::json::parse(process.readAllStandardOutput().toStdString(), nullptr, false);
        for (const auto& signature : list.is_array() ? list : nlohmann::json::array()) {
            if (!signature["selected"].empty())
                return {"update", QString::fromStdString(signature["id"].get<std::string>())};
        }
        return command.arguments;
    }

    // Kills the command at every operation in turn; returns the number of kill points.
    long walkKills(const QString& before, const Command& command, const Snapshot& old,
                   const Snapshot& done, long operations, Totals& totals) {
        long killPoints = 0;
        std::set<QByteArray> rerunStates;
        for (long first = 1; first <= operations; first += kParallelCommands) {
            std::vector<std::pair<QString, std::unique_ptr<QProcess>>> running;
            for (long target = first; target < first + kParallelCommands && target <= operations;
                 ++target) {
                const QString folder = work.path() + "/kill-" + QString::number(target);
                CopyFakeMac(before, folder);
                running.emplace_back(folder,
                                     start(folder, command.arguments,
                                           FileFaultsEnvironment(CleanEnvironment(), folder,
                                                                 FileFaultAction::kill, target)));
            }
            for (auto& [folder, process] : running) {
                finish(*process);
                if (process->exitStatus() == QProcess::CrashExit) {
                    ++killPoints;
                    checkKilled(folder, command, old, done, rerunStates, totals);
                }
                QDir(folder).removeRecursively();
            }
        }
        return killPoints;
    }

    void checkKilled(const QString& folder, const Command& command, const Snapshot& old,
                     const Snapshot& done, std::set<QByteArray>& rerunStates, Totals& totals) {
        const Snapshot killed = TakeSnapshot(folder);
        totals.unreadableFiles += killed.unreadable.size();
        totals.temporaryFiles += killed.temporaryFiles;
        EXPECT_EQ(killed.unreadable, QStringList()) << folder.toStdString();
        std::set<QString> paths;
        for (const FileStates* states : {&old.files, &done.files, &killed.files}) {
            for (const auto& [path, contents] : *states)
                paths.insert(path);
        }
        for (const QString& path : paths) {
            auto state = [&path](const FileStates& states) {
                const auto found = states.find(path);
                return found == states.end() ? QByteArray("(none)") : found->second;
            };
            const QByteArray now = state(killed.files);
            if (now != state(old.files) && now != state(done.files)) {
                ++totals.tornFiles;
                ADD_FAILURE() << command.name << ": " << path.toStdString()
                              << " is neither as before nor as after:\n"
                              << now.toStdString();
            }
        }
        // Killed states that are alike finish alike: one rerun of each is enough.
        QByteArray key;
        for (const auto& [path, contents] : killed.files)
            key += path.toUtf8() + '\0' + contents + '\0';
        key += ReadFakeFile(folder + "/home/Library/Application Support/Quillet/DataV2.sqlite")
                   .value_or("") +
               ReadFakeFile(folder + "/home/Library/Application Support/Quillet/DataV2.sqlite-wal")
                   .value_or("");
        if (!rerunStates.insert(key).second)
            return;
        const QStringList finishing = finishingArguments(folder, command);
        const int status = runClean(folder, finishing);
        const Snapshot rerun = TakeSnapshot(folder);
        if (status != 0 || rerun.files != done.files) {
            ++totals.failedReruns;
            for (const auto& [path, contents] : rerun.files) {
                if (done.files.count(path) == 0 || done.files.at(path) != contents) {
                    std::cerr << path.toStdString() << ":\n"
                              << contents.toStdString() << "\ninstead of\n"
                              << (done.files.count(path) ? done.files.at(path).toStdString()
                                                         : std::string("(none)"))
                              << std::endl;
                }
            }
            ADD_FAILURE() << command.name << " killed, then " << finishing.join(' ').toStdString()
                          << ": exit status " << status << ", "
                          << (rerun.files == done.files ? "finished" : "not finished");
        }
    }

    QTemporaryDir serviceFolder;
    std::unique_ptr<SignatureService> service;
    QTemporaryDir work;
};

TEST_P(QuilletCrashTest, AKilledSyncTearsNoFileAndARerunFinishesIt) {
    ASSERT_TRUE(QFile::exists(FileFaultsLibraryPath()));
    const ClientKind kind = GetParam();
    const QString client = StoredText(kind);
    QStringList install{"install", "--key", "k-crash", "--client", client};
    if (kind == ClientKind::appleMail)
        install << "--account"
                << "ann@example.com";
    if (kind == ClientKind::thunderbird)
        install << "--account"
                << "tom@example.com";
    const std::vector<Command> commands = {
        {"install", "<p>First</p>", install},
        {"refresh", "<p>Second</p>", {"refresh"}},
        {"update", "<p>Third</p>", {"update", "1"}},
    };

    FakeMac sample(work.path() + "/stage-0");
    BuildSampleMac(sample);
    QString before = sample.folder();
    Totals totals;
    for (size_t i = 0; i < commands.size(); ++i) {
        const Command& command = commands[i];
        SCOPED_TRACE(command.name);
        setServiceText(command.serviceText);
        // The uninterrupted command: how many operations it makes and what it leaves.
        const QString after = work.path() + "/stage-" + QString::number(i + 1);
        CopyFakeMac(before, after);
        const QString countFile = work.path() + "/operations";
        auto counted = start(
            after, command.arguments,
            FileFaultsEnvironment(CleanEnvironment(), after, FileFaultAction::count, 0, countFile));
        finish(*counted);
        ASSERT_EQ(counted->exitCode(), 0) << counted->readAllStandardError().toStdString();
        const long operations = ReadFakeFile(countFile).value_or("0").trimmed().toLong();
        const Snapshot old = TakeSnapshot(before);
        const Snapshot done = TakeSnapshot(after);
        ASSERT_NE(old.files, done.files);

        const long killPoints = walkKills(before, command, old, done, operations, totals);
        std::cout << client.toStdString() << " " << command.name << ": " << operations
                  << " file operations, kill points: " << killPoints << std::endl;
        totals.killPoints += killPoints;
        before = after;
    }
    std::cout << client.toStdString() << ": kill points: " << totals.killPoints
              << ", torn files: " << totals.tornFiles
              << ", unreadable files: " << totals.unreadableFiles
              << ", reruns that did not finish: " << totals.failedReruns
              << ", temporary files left beside their targets: " << totals.temporaryFiles
              << std::endl;
    EXPECT_GE(totals.killPoints, 200);
    EXPECT_EQ(totals.tornFiles, 0);
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

}  // namespace
}  // namespace quillet
