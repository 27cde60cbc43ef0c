#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <map>

#include "platform/Plist.h"
#include "tests/support/FakeMacMozilla.h"
#include "tests/support/FakeMacOutlook.h"
#include "tests/support/FakeMacSpark.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

using Files = std::map<QString, QByteArray>;

// What a person can compare: a binary property list as its XML text.
QByteArray Comparable(const QByteArray& bytes) {
    if (!bytes.startsWith("bplist"))
        return bytes;
    const auto plist = Plist::parse(bytes);
    return plist ? plist->toXml() : bytes;
}

// Applies a unified diff to `before` with patch(1).
QByteArray Patched(const QByteArray& before, const std::string& diff) {
    QTemporaryDir folder;
    QFile target(folder.filePath("file"));
    EXPECT_TRUE(target.open(QIODevice::WriteOnly));
    target.write(Comparable(before));
    target.close();
    QProcess patch;
    patch.start("patch", {"--quiet", "--force", folder.filePath("file")});
    patch.write(QByteArray::fromStdString(diff));
    patch.closeWriteChannel();
    EXPECT_TRUE(patch.waitForFinished(30000));
    EXPECT_EQ(patch.exitCode(), 0) << patch.readAllStandardOutput().toStdString() << diff;
    return ReadFakeFile(folder.filePath("file")).value_or("(none)");
}

// Spark's rows as key and value, without the times a sync writes (they move with the clock).
QStringList WithoutDates(const QStringList& rows) {
    static const QRegularExpression date("\"(creation|modification)Date\":[0-9.e+]+");
    QStringList result;
    for (const QString& row : rows)
        result << row.section('|', 1, 2).replace(date, "DATE");
    return result;
}

// Spark's rows (key and value) after the statements ran on a copy of the database as it was.
QStringList SparkRowsAfterStatements(const QString& database, const nlohmann::json& statements) {
    QTemporaryDir folder;
    const QString copy = folder.filePath("settings.sqlite");
    EXPECT_TRUE(QFile::copy(database, copy));
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(copy.toUtf8().constData(), &db), SQLITE_OK);
    for (const auto& statement : statements) {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, statement.get<std::string>().c_str(), nullptr, nullptr, &error),
                  SQLITE_OK)
            << (error ? error : "");
        sqlite3_free(error);
    }
    sqlite3_close(db);
    return WithoutDates(FakeSparkSettingsRows(copy));
}

class QuilletDryRunCommandTest : public testing::Test, public SampleMacCommand {
protected:
    // The dry run changes nothing, and the real command then does exactly what it showed.
    void expectPreviewIsWhatHappens(const QStringList& arguments) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Files before = machineFiles();
        const QStringList workspace = mac.workspaceLog();
        const QStringList scriptsBefore = mac.osascriptRuns();
        const QSet<QString> uuidsBefore = Uuids(json({"list", "--all"}).dump());
        const CommandRun preview = quillet(QStringList{"--yes", "--dry-run", "--json"} + arguments);
        ASSERT_EQ(preview.exitCode, 0) << preview.err.toStdString();
        QString planText = preview.out;
        EXPECT_EQ(machineFiles(), before);
        EXPECT_EQ(mac.workspaceLog(), workspace);
        for (const QString& run : mac.osascriptRuns().mid(scriptsBefore.size()))
            EXPECT_FALSE(run.contains("Create") || run.contains("Delete")) << run.toStdString();

        const QStringList scriptsBeforeRun = mac.osascriptRuns();
        const CommandRun real = quillet(QStringList{"--yes"} + arguments);
        ASSERT_EQ(real.exitCode, 0) << real.err.toStdString();
        const Files after = machineFiles();
        // A new signature gets a new random uuid in each run: the plan's stands for the real one.
        const QSet<QString> created = Uuids(json({"list", "--all"}).dump()) - uuidsBefore;
        const QSet<QString> previewed =
            Uuids(planText.toStdString()) - uuidsBefore - OwnUuids(before);
        if (created.size() == 1 && previewed.size() == 1)
            planText.replace(*previewed.begin(), *created.begin(), Qt::CaseInsensitive);
        const auto plan = nlohmann::json::parse(planText.toStdString());

        std::set<QString> planned;
        QStringList plannedScripts;
        for (const auto& client : plan["clients"]) {
            for (const auto& file : client["files"]) {
                const QString path = QString::fromStdString(file["path"]);
                planned.insert(path);
                const auto was = before.find(path);
                const auto is = after.find(path);
                if (file["change"] == "delete") {
                    EXPECT_TRUE(is == after.end()) << path.toStdString();
                    continue;
                }
                ASSERT_TRUE(is != after.end()) << path.toStdString();
                EXPECT_EQ(Patched(was == before.end() ? QByteArray() : was->second,
                                  file["diff"].get<std::string>()),
                          Comparable(is->second))
                    << path.toStdString();
            }
            if (client["client"] == "Spark") {
                EXPECT_EQ(SparkRowsAfterStatements(sample.sparkSettings + ".before", client["sql"])
                              .join('\n')
                              .toStdString(),
                          SparkRows(sample.sparkSettings).join('\n').toStdString());
            }
            for (const auto& script : client["scripts"])
                plannedScripts << QString::fromStdString(script["name"]);
        }
        // Every file the command changed was in the plan (Spark's database and the stand-in
        // Outlook's state aside: their statements and scripts are compared).
        for (const auto& [path, bytes] : after) {
            const auto was = before.find(path);
            const bool described = path == sample.outlookState || path == sample.sparkSettings;
            if ((was == before.end() || was->second != bytes) && !described) {
                EXPECT_TRUE(planned.contains(path)) << "not in the plan: " << path.toStdString();
            }
        }
        for (const auto& [path, bytes] : before) {
            if (!after.contains(path)) {
                EXPECT_TRUE(planned.contains(path)) << "not in the plan: " << path.toStdString();
            }
        }
        QStringList changingRuns;
        for (const QString& run : mac.osascriptRuns().mid(scriptsBeforeRun.size())) {
            if (run.startsWith("Outlook-CreateSignature") ||
                run.startsWith("Outlook-DeleteSignature") || run.endsWith("-Main-B") ||
                run.endsWith("-Main-A"))
                changingRuns << run;
        }
        EXPECT_EQ(changingRuns, plannedScripts);
    }

    static QSet<QString> Uuids(const std::string& text) {
        static const QRegularExpression uuid(
            "[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}",
            QRegularExpression::CaseInsensitiveOption);
        QSet<QString> found;
        for (const auto& match : uuid.globalMatch(QString::fromStdString(text)))
            found.insert(match.captured().toUpper());
        return found;
    }
    // The uuids the clients' files held before: the person's own entries.
    static QSet<QString> OwnUuids(const Files& files) {
        QSet<QString> found;
        for (const auto& [path, bytes] : files)
            found += Uuids((path + "\n").toStdString() + bytes.toStdString());
        return found;
    }

    static QStringList SparkRows(const QString& path) {
        return WithoutDates(FakeSparkSettingsRows(path));
    }

    // Keeps the Spark database as it is now, for the statements of the next preview.
    void keepSparkDatabase() const {
        QFile::remove(sample.sparkSettings + ".before");
        ASSERT_TRUE(QFile::copy(sample.sparkSettings, sample.sparkSettings + ".before"));
    }
};

TEST_F(QuilletDryRunCommandTest, ThePreviewOfEachCommandIsWhatTheCommandThenDoes) {
    setSignature("k-team", "<p>Team</p>");
    const std::vector<QStringList> steps = {
        {"install", "--key", "k-team", "--client", "applemail", "--account", "ann@example.com"},
        {"install", "--key", "k-team", "--client", "outlook"},
        {"install", "--key", "k-team", "--client", "postbox"},
        {"install", "--key", "k-team", "--client", "spark"},
        {"install", "--key", "k-team", "--client", "thunderbird", "--account", "tom@example.com"},
        {"update", "Signature Name 2"},
        {"rename", "Signature Name 3", "The Team"},
        {"refresh"},
        {"uninstall", "Signature Name 1"},
        {"uninstall", "Signature Name 4"},
    };
    for (const QStringList& step : steps) {
        if (step.first() == "refresh")
            setSignature("k-team", "<p>Team, changed</p>");
        keepSparkDatabase();
        expectPreviewIsWhatHappens(step);
    }
}

// An uninstall changes more than the signature's own file (a client's lists of signatures and
// each account's default): its preview names every file the uninstall then changes.
class UninstallPreviewTest : public QuilletDryRunCommandTest,
                             public testing::WithParamInterface<QStringList> {};

TEST_P(UninstallPreviewTest, ThePreviewOfAnUninstallIsEveryChangeItMakes) {
    setSignature("k-team", "<p>Team</p>");
    const CommandRun install =
        quillet(QStringList{"--yes", "install", "--key", "k-team", "--client"} + GetParam());
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    keepSparkDatabase();
    expectPreviewIsWhatHappens({"uninstall", "1"});
}

INSTANTIATE_TEST_SUITE_P(
    Clients, UninstallPreviewTest,
    testing::Values(QStringList{"applemail", "--account", "ann@example.com"},
                    QStringList{"outlook"}, QStringList{"postbox"}, QStringList{"spark"},
                    QStringList{"thunderbird", "--account", "tom@example.com"}),
    [](const auto& info) { return info.param.first().toStdString(); });

TEST_F(QuilletDryRunCommandTest, ADryRunPrintsDiffsAndRefusesWhatItCannotPreview) {
    setSignature("k-tom", "<p>Tom</p>");
    const CommandRun text = quillet({"--yes", "--dry-run", "install", "--key", "k-tom", "--client",
                                     "thunderbird", "--account", "tom@example.com"});
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains("--- " + sample.thunderbirdPrefs + "\n+++ " +
                                  sample.thunderbirdPrefs + "\n@@ "))
        << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("+user_pref(\"mail.identity.id1.htmlSigText\", \"<p>Tom</p>\");"))
        << text.out.toStdString();
    EXPECT_EQ(json({"list"}), nlohmann::json::array());
    EXPECT_EQ(quillet({"--dry-run", "list"}).exitCode, 2);
    const CommandRun refused =
        quillet({"--yes", "--dry-run", "install", "--key", "k-nobody", "--client", "outlook"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("Signature key not found.")) << refused.err.toStdString();
}

}  // namespace
}  // namespace quillet
