// The log's promise at the seam where the syncs change a client: a line logged before a change
// is in the log even when the process dies at the change's first file operation. Lines are
// otherwise gathered in memory, so each case fails without the seam's wait for the log.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <optional>

#include "app/clients/sync/ClientWrites.h"
#include "common/Log.h"
#include "common/Logger.h"
#include "tests/support/FileFaults.h"

namespace quillet {
namespace {

// `make` lays out what the change needs in the client's folder, then changes the client through
// the sync pass's writes, arming the faults to kill at the change's first operation right before
// it (after counting, so that the files it opened earlier count too).
using Arm = std::function<void(FileFaultAction)>;
struct Change {
    const char* name;
    std::function<void(const QString& client, const Arm& arm)> make;
};

// Makes the change in a process of its own that logs the line first and is killed at the change.
void KillAtTheChange(const Change& change) {
    SCOPED_TRACE(change.name);
    QTemporaryDir temporary;
    const QString logs = temporary.path() + "/Logs";
    const QString client = temporary.path() + "/client";
    ASSERT_TRUE(QDir().mkpath(client));
    const QString line = QString("Changing %1 in %2...").arg(change.name, client);
    // The log's batches may wait a minute: only the seam puts the line on disk in time.
    const LoggerLimits limits{kLogRotationBytes, std::chrono::minutes(1)};
    EXPECT_EXIT(
        {
            Logger logger(logs, "v", {}, limits);
            InstallProcessLogger(&logger);
            logger.sync();
            LogInfo(line);
            std::optional<FileFaults> faults;
            change.make(client, [&](FileFaultAction action) {
                faults.reset();
                faults.emplace(client, action, action == FileFaultAction::kill ? 1 : 0);
            });
            std::_Exit(0);  // not reached: the change's first operation kills the process
        },
        testing::KilledBySignal(SIGKILL), "");
    QFile log(logs + "/" + kLogFileName);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains(("Info: " + line + "\n").toUtf8()));
}

const Change kChanges[] = {
    Change{"a file",
           [](const QString& client, const Arm& arm) {
               arm(FileFaultAction::kill);
               DirectClientWrites().writeFile(client + "/prefs.js", "user_pref(\"a\", 1);");
           }},
    Change{"a removed file",
           [](const QString& client, const Arm& arm) {
               QFile(client + "/old.mailsignature").open(QIODevice::WriteOnly);
               arm(FileFaultAction::kill);
               DirectClientWrites().removeFile(client + "/old.mailsignature");
           }},
    Change{"a removed folder",
           [](const QString& client, const Arm& arm) {
               QDir().mkpath(client + "/cache/a");
               arm(FileFaultAction::kill);
               DirectClientWrites().removeFolder(client + "/cache");
           }},
    Change{"a database",
           [](const QString& client, const Arm& arm) {
               // The commit is the change.
               arm(FileFaultAction::count);
               sqlite3* database = nullptr;
               sqlite3_open((client + "/settings.sqlite").toUtf8().constData(), &database);
               sqlite3_exec(database,
                            "CREATE TABLE settings (itemKey TEXT); BEGIN; "
                            "INSERT INTO settings VALUES ('k');",
                            nullptr, nullptr, nullptr);
               arm(FileFaultAction::kill);
               sqlite3_exec(database, DirectClientWrites().transactionEnd().toUtf8().constData(),
                            nullptr, nullptr, nullptr);
           }},
};

TEST(ClientWritesFileFaultsTest, ALineLoggedBeforeAChangeSurvivesAKillAtTheChange) {
    ASSERT_TRUE(FileFaults::Available());
    for (const Change& change : kChanges)
        KillAtTheChange(change);
}

}  // namespace
}  // namespace quillet
