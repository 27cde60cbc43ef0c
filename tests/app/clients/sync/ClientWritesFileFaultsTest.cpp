// The log's promise at the seam where the syncs change a client: a line logged before a change
// is in the log even when the process dies at the change's first file operation. Lines are
// otherwise gathered in memory, so each case fails without the seam's wait for the log.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <functional>

#include "app/clients/sync/ClientWrites.h"
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

}  // namespace
}  // namespace quillet
