// The seam where the syncs change a client, and the file of the person's replaced settings that
// they change beside it, against a failing disk and a dying process.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <thread>
#include <vector>

#include "app/clients/sync/ClientWrites.h"
#include "app/clients/sync/ReplacedSettings.h"
#include "common/Log.h"
#include "common/Logger.h"
#include "tests/support/FileFaults.h"

namespace quillet {
namespace {

// Each change in the client's folder, which holds "old" and "cache/a". A database's change is
// its commit, which the sync runs with the text the seam gives it: the process dies right then.
const std::pair<const char*, std::function<void(const QString&)>> kChanges[] = {
    {"a file", [](const QString& client) { DirectClientWrites().writeFile(client + "/new", "x"); }},
    {"a removed file",
     [](const QString& client) { DirectClientWrites().removeFile(client + "/old"); }},
    {"a removed folder",
     [](const QString& client) { DirectClientWrites().removeFolder(client + "/cache"); }},
    {"a database",
     [](const QString&) {
         DirectClientWrites().transactionEnd();
         std::raise(SIGKILL);
     }},
};

// The log's promise at the seam: a line logged before a change is in the log even when the
// process dies at the change's first file operation. Lines are otherwise gathered in memory, so
// each case fails without the seam's wait for the log.
TEST(ClientWritesFileFaultsTest, ALineLoggedBeforeAChangeSurvivesAKillAtTheChange) {
    ASSERT_TRUE(FileFaults::Available());
    for (const auto& [name, change] : kChanges) {
        SCOPED_TRACE(name);
        QTemporaryDir temporary;
        const QString logs = temporary.path() + "/Logs";
        const QString client = temporary.path() + "/client";
        ASSERT_TRUE(QDir().mkpath(client + "/cache/a"));
        ASSERT_TRUE(QFile(client + "/old").open(QIODevice::WriteOnly));
        const QString line = QString("Changing %1 in %2...").arg(name, client);
        // The log's batches may wait a minute: only the seam puts the line on disk in time.
        const LoggerLimits limits{kLogRotationBytes, std::chrono::minutes(1)};
        EXPECT_EXIT(
            {
                Logger logger(logs, "v", {}, limits);
                InstallProcessLogger(&logger);
                logger.sync();
                LogInfo(line);
                const FileFaults faults(client, FileFaultAction::kill, 1);
                change(client);
                std::_Exit(0);  // not reached: the change's first operation kills the process
            },
            testing::KilledBySignal(SIGKILL), "");
        QFile log(logs + "/" + kLogFileName);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        EXPECT_TRUE(log.readAll().contains(("Info: " + line + "\n").toUtf8()));
    }
}

constexpr auto kThunderbird = ClientKind::thunderbird;
constexpr auto kPostbox = ClientKind::postbox;

// Processes that sync at once (the application and a command) keep the settings of their own
// clients and accounts: each change is merged into what the file holds by then.
TEST(ReplacedSettingsFileFaultsTest, ChangesMadeAtOnceAreAllKept) {
    QTemporaryDir folder;
    const ReplacedSettings replaced(ReplacedSettingsPath(folder.path()));
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 6; ++writer) {
        writers.emplace_back([&replaced, writer] {
            // Each writer its own handle, as each process has.
            const ReplacedSettings mine(replaced.path());
            for (int account = 0; account < 8; ++account) {
                ReplacedSettingsChanges changes;
                changes.remembered[QString("a%1@x.org").arg(account)] = {
                    {"htmlSigText", QString("\"<p>%1</p>\"").arg(writer)}, {"sig_on_fwd", {}}};
                EXPECT_FALSE(mine.update(kThunderbird, QString("/profile%1").arg(writer), changes,
                                         DirectClientWrites()));
            }
        });
    }
    for (auto& writer : writers)
        writer.join();
    for (int writer = 0; writer < 6; ++writer) {
        const auto kept = replaced.read(kThunderbird, QString("/profile%1").arg(writer));
        ASSERT_EQ(kept.value_or(std::map<QString, ClientSettings>()).size(), 8u) << writer;
        EXPECT_EQ(kept->at("a7@x.org"),
                  (ClientSettings{{"htmlSigText", QString("\"<p>%1</p>\"").arg(writer)},
                                  {"sig_on_fwd", std::nullopt}}));
    }
}

// One file of kept settings over several clients and storages: forgetting touches only its own
// client, storage and accounts. A file that is there but cannot be read (a failing disk, no file
// handle left) holds other clients' settings: a change fails, and the file is neither replaced nor
// emptied. Nor does it read as empty: a sync would take Quillet's signature away without giving
// back the person's. A damaged one holds nothing to put back: it reads as empty and the next change
// replaces it.
TEST(ReplacedSettingsFileFaultsTest, AChangeTouchesOnlyItsOwnPlacesAndNeverAFileItCannotRead) {
    ASSERT_TRUE(FileFaults::Available());
    QTemporaryDir folder;
    const ReplacedSettings replaced(ReplacedSettingsPath(folder.path()));
    const auto update = [&](ClientKind kind, const QString& storage,
                            const ReplacedSettingsChanges& changes) {
        return replaced.update(kind, storage, changes, DirectClientWrites());
    };
    ReplacedSettingsChanges both, forget, thunderbird;
    both.remembered["a@x.org"] = {{"pbSignatureKey", "\"mine\""}};
    both.remembered["b@x.org"] = {{"pbSignatureKey", std::nullopt}};
    forget.forgotten.insert("a@x.org");
    thunderbird.remembered["t@x.org"] = {{"htmlSigText", "\"<p>Tom's own</p>\""}};
    ASSERT_FALSE(update(kPostbox, "/p", both));
    ASSERT_FALSE(update(kThunderbird, "/p", both));
    ASSERT_FALSE(update(kPostbox, "/q", both));
    ASSERT_FALSE(update(kPostbox, "/p", forget));
    const std::map<QString, ClientSettings> kept{{"b@x.org", {{"pbSignatureKey", std::nullopt}}}};
    EXPECT_EQ(replaced.read(kPostbox, "/p"), kept);
    EXPECT_EQ(replaced.read(kThunderbird, "/p")->size(), 2u);
    EXPECT_EQ(replaced.read(kPostbox, "/q")->size(), 2u);

    // It cannot be opened, then it gives only its first half: either way nothing is written.
    for (long target = 1, readCut = 0; !readCut; ++target) {
        FileFaults faulty(folder.path(), FileFaultAction::fail, target);
        faulty.faultReads(FileReadFault::cutShort);
        const auto error = update(kThunderbird, "/t", thunderbird);
        ASSERT_TRUE(faulty.fired()) << "the file was never read";
        const QString fault = faulty.lastFault();
        readCut = fault.startsWith("read " + replaced.path() + " ");
        if (!readCut && !fault.startsWith("open " + replaced.path() + " "))
            continue;
        SCOPED_TRACE(fault.toStdString());
        EXPECT_TRUE(error);
        EXPECT_EQ(replaced.read(kPostbox, "/p"), kept);
    }
    EXPECT_EQ(replaced.read(kThunderbird, "/t"), (std::map<QString, ClientSettings>()));
    for (long target = 1;; ++target) {
        FileFaults faulty(folder.path(), FileFaultAction::fail, target);
        faulty.faultReads(FileReadFault::cutShort);
        const auto read = replaced.read(kPostbox, "/p");
        if (!faulty.fired())
            break;
        EXPECT_EQ(read, std::nullopt) << faulty.lastFault().toStdString();
    }

    QFile damaged(replaced.path());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write("[{\"client\":") > 0);
    damaged.close();
    EXPECT_EQ(replaced.read(kPostbox, "/q"), (std::map<QString, ClientSettings>()));
    ASSERT_FALSE(update(kPostbox, "/q", both));
    EXPECT_EQ(replaced.read(kPostbox, "/q")->size(), 2u);
}

}  // namespace
}  // namespace quillet
