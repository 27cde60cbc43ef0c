#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <nlohmann/json.hpp>

#include <csignal>

#include "app/clients/PrefsFile.h"
#include "app/clients/sync/PostboxSync.h"
#include "app/demo/FakeMacAppleMail.h"
#include "app/demo/FakeMacDatabase.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacSpark.h"
#include "platform/EventLoop.h"
#include "platform/FileLock.h"
#include "tests/support/SampleMacCommand.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

const QString kWaitingLine =
    "Info: Sync pass: waiting for the sync pass of another process to finish...";

QString Integrity(const QString& path) {
    sqlite3* database = nullptr;
    QStringList result = {"(cannot open)"};
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK)
        result = QuerySqliteRows(database, "PRAGMA integrity_check");
    sqlite3_close(database);
    return result.join('\n');
}

// Several real quillet processes at once over the sample Mac, each answering Yes.
class QuilletConcurrencyTest : public testing::Test, public SampleMacCommand {
protected:
    std::unique_ptr<QProcess> start(const QStringList& arguments) const {
        return SampleMacCommand::start(QStringList{"--yes"} + arguments);
    }

    QString dataFolder() const { return mac.homePath("Library/Application Support/Quillet"); }
    QString log() const {
        return QString::fromUtf8(
            ReadFakeFile(mac.homePath("Library/Logs/Quillet/Quillet.log")).value_or(""));
    }
};

// A sync pass waits while another process holds the sync lock, and then writes what the store
// holds: what the other process saved meanwhile (here a name, changed in the store's file), never
// the state it read before.
TEST_F(QuilletConcurrencyTest, ASyncPassWaitsForTheLockThenWritesWhatTheStoreHolds) {
    const CommandRun installed =
        finish(*start({"--json", "install", "--file", setSignature("first", "<p>First</p>"),
                       "--client", "postbox"}));
    ASSERT_EQ(installed.exitCode, 0) << installed.err.toStdString();
    const auto signature = nlohmann::json::parse(installed.out.toStdString());
    const QByteArray postboxBefore = ReadFakeFile(sample.postboxSignatures).value_or("");

    auto other = std::make_unique<FileLock>(dataFolder() + "/SyncPass.lock", [] {});
    ASSERT_TRUE(other->isHeld());
    auto second = start({"--json", "install", "--file", setSignature("second", "<p>Second</p>"),
                         "--client", "postbox"});
    // The line comes before the wait; the process then blocks until the lock is free.
    ASSERT_TRUE(RunEventLoopUntil([&] { return log().contains(kWaitingLine); }, 60))
        << log().toStdString() << second->readAllStandardError().toStdString();
    EXPECT_EQ(second->state(), QProcess::Running);
    EXPECT_EQ(ReadFakeFile(sample.postboxSignatures).value_or(""), postboxBefore);
    ASSERT_TRUE(ExecuteFakeDatabaseSql(
        dataFolder() + "/DataV2.sqlite",
        "UPDATE ZSIGNATUREENTITYV2 SET ZNAMEQE = 'Renamed elsewhere' WHERE Z_PK = " +
            QString::fromStdString(signature["id"])));
    other.reset();

    const CommandRun run = finish(*second);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const auto list =
        ParsePostboxSignatureList(ReadFakeFile(sample.postboxSignatures).value_or(""));
    ASSERT_TRUE(list.has_value());
    EXPECT_TRUE(QString::fromStdString(list->dump()).contains("<p>Second</p>")) << list->dump();
    const auto entry = std::find_if(list->begin(), list->end(), [&](const auto& candidate) {
        return candidate["key"].template get<std::string>() ==
               signature["uuid"].template get<std::string>();
    });
    ASSERT_NE(entry, list->end()) << list->dump();
    EXPECT_EQ((*entry)["name"], "Renamed elsewhere");
}

// The person uninstalls a signature while `quillet run` (as the application, or the web-mail
// host) holds its older copy; the record goes once no client holds it. A refresh of the running
// process that then finds the signature changed on the service must not bring it back, neither
// into the store nor into the client.
TEST_F(QuilletConcurrencyTest, AnUninstalledSignatureStaysGoneWhenABackgroundRefreshUpdatesIt) {
    setSignature("k-tom", "<p>Tom</p>");
    const CommandRun installed = finish(*start(
        {"install", "--key", "k-tom", "--client", "thunderbird", "--account", "tom@example.com"}));
    ASSERT_EQ(installed.exitCode, 0) << installed.err.toStdString();
    const auto refreshes = [this] {
        return log().count("signature(s) via RequestUpdatedSignatures");
    };
    const auto before = refreshes();
    auto background = start({"run"});
    ASSERT_TRUE(RunEventLoopUntil([&] { return refreshes() > before; }, 60)) << log().toStdString();

    const CommandRun uninstalled = finish(*start({"uninstall", "1"}));
    ASSERT_EQ(uninstalled.exitCode, 0) << uninstalled.err.toStdString();
    ASSERT_EQ(finish(*start({"--json", "list", "--all"})).out.trimmed(), "[]");
    ASSERT_FALSE(ReadFakeFile(sample.thunderbirdPrefs).value_or("").contains("<p>Tom"));

    setSignature("k-tom", "<p>Tom 2</p>");
    const auto beforeWake = refreshes();
    ::kill(static_cast<pid_t>(background->processId()), SIGHUP);
    ASSERT_TRUE(RunEventLoopUntil([&] { return refreshes() > beforeWake; }, 60))
        << log().toStdString();
    // The refresh's pass runs in the same turn of the main loop as the update, before the end.
    ::kill(static_cast<pid_t>(background->processId()), SIGTERM);
    EXPECT_EQ(finish(*background).exitCode, 0);

    EXPECT_EQ(finish(*start({"--json", "list", "--all"})).out.trimmed(), "[]");
    EXPECT_FALSE(ReadFakeFile(sample.thunderbirdPrefs).value_or("").contains("<p>Tom"));
    EXPECT_TRUE(log().contains("Not writing signature 1, which another process deleted"))
        << log().toStdString();
}

// Installs into four clients, refreshes, renames and uninstalls, several processes at a time,
// round after round; then every signature each process stored is there, written into its client,
// and every store, database and client file is whole.
TEST_F(QuilletConcurrencyTest, ProcessesSyncingAtOnceLoseNothingAndTearNothing) {
    constexpr int kRounds = 3;
    setSignature("k-team", "<p>Team 0</p>");
    std::map<QString, nlohmann::json> installed;  // by the text installed
    QString renamedId, uninstalledText;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::pair<QString, std::unique_ptr<QProcess>>> installs;
        for (const QString client : {"applemail", "postbox", "spark"}) {
            const QString text = QString("<p>%1 %2</p>").arg(client).arg(round);
            const QString file = setSignature(QString("r%1-%2").arg(round).arg(client), text);
            QStringList arguments = {"--json", "install", "--file", file, "--client", client};
            if (client == "applemail")
                arguments << "--account"
                          << "ann@example.com";
            installs.emplace_back(text, start(arguments));
        }
        std::vector<std::unique_ptr<QProcess>> others;
        if (round == 0) {
            installs.emplace_back(
                "k-team", start({"--json", "install", "--key", "k-team", "--client", "thunderbird",
                                 "--account", "tom@example.com"}));
        } else if (round == 1) {
            setSignature("k-team", "<p>Team 1</p>");
            others.push_back(start({"refresh"}));
        } else {
            renamedId = QString::fromStdString(installed.at("<p>postbox 0</p>")["id"]);
            uninstalledText = "<p>spark 0</p>";
            others.push_back(start({"rename", renamedId, "Renamed"}));
            others.push_back(
                start({"uninstall", QString::fromStdString(installed.at(uninstalledText)["id"])}));
        }
        for (auto& [text, process] : installs) {
            const CommandRun run = finish(*process);
            ASSERT_EQ(run.exitCode, 0) << text.toStdString() << run.err.toStdString();
            installed[text] = nlohmann::json::parse(run.out.toStdString());
        }
        for (auto& process : others) {
            const CommandRun run = finish(*process);
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        }
    }
    installed.erase(uninstalledText);

    // Every signature stored is listed, with its client performed.
    auto list = start({"--json", "list"});
    const auto listed = nlohmann::json::parse(finish(*list).out.toStdString());
    std::map<std::string, nlohmann::json> byId;
    for (const auto& signature : listed)
        byId[signature["id"]] = signature;
    EXPECT_EQ(byId.size(), installed.size());
    for (const auto& [text, signature] : installed) {
        ASSERT_TRUE(byId.contains(signature["id"])) << text.toStdString();
        EXPECT_EQ(byId[signature["id"]]["performed"].size(), 1u) << text.toStdString();
    }
    EXPECT_EQ(byId[renamedId.toStdString()]["name"], "Renamed");

    // Written into the clients, and nothing torn.
    EXPECT_EQ(Integrity(dataFolder() + "/DataV2.sqlite"), "ok");
    EXPECT_EQ(Integrity(sample.sparkSettings), "ok");
    const QString sparkRows = FakeSparkSettingsRows(sample.sparkSettings).join('\n');
    const auto postboxList =
        ParsePostboxSignatureList(ReadFakeFile(sample.postboxSignatures).value_or(""));
    ASSERT_TRUE(postboxList.has_value());
    const QString postbox = QString::fromStdString(postboxList->dump());
    for (const auto& [text, signature] : installed) {
        const QString client = QString::fromStdString(signature["performed"].begin().key());
        const QString uuid = QString::fromStdString(signature["uuid"]);
        if (client == "AppleMail") {
            EXPECT_TRUE(ReadFakeFile(FakeAppleMailFiles(mac).signatureFile(uuid.toUpper()))
                            .value_or("")
                            .endsWith(text.toUtf8()))
                << text.toStdString();
        } else if (client == "Postbox") {
            EXPECT_TRUE(postbox.contains(text)) << text.toStdString();
        } else if (client == "Spark") {
            EXPECT_TRUE(sparkRows.contains(text)) << text.toStdString();
        }
    }
    // Spark keeps the uninstalled signature's row, marked deleted, for its own cloud sync.
    for (const QString& row : FakeSparkSettingsRows(sample.sparkSettings)) {
        if (row.contains(uninstalledText)) {
            EXPECT_TRUE(row.contains("\"deleted\":true")) << row.toStdString();
        }
    }
    EXPECT_TRUE(postbox.contains("\"name\":\"Renamed\"")) << postbox.toStdString();
    for (const QString& prefs : {sample.thunderbirdPrefs, sample.postboxPrefs})
        ASSERT_TRUE(SplitPrefsFileText(ReadFakeFile(prefs).value_or("\xff")).has_value());
    EXPECT_TRUE(ReadFakeFile(sample.thunderbirdPrefs).value_or("").contains("<p>Team 1</p>"));
    const FakeAppleMailFiles mail(mac);
    for (const QString& plist : {mail.accountsMap, mail.allSignatures})
        EXPECT_TRUE(ReadPlistFile(plist).has_value()) << plist.toStdString();
}

}  // namespace
}  // namespace quillet
