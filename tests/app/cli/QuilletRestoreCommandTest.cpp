#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <functional>

#include "platform/AtomicFile.h"
#include "tests/support/FakeMacOutlook.h"
#include "tests/support/FakeMacSpark.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

using Files = std::map<QString, QByteArray>;

// What a restore must bring back, each part as the person's clients would read it.
struct MachineState {
    Files files;  // every client file (Spark's database and the stand-in Outlook's state apart)
    QStringList sparkRows;
    std::vector<FakeOutlookSignature> outlookSignatures;
    nlohmann::json list;
};

class QuilletRestoreCommandTest : public testing::Test, public SampleMacCommand {
protected:
    MachineState state() const {
        Files files = machineFiles();
        files.erase(sample.sparkSettings);
        files.erase(sample.outlookState);
        // The workspace's record of closed and opened clients is not the clients' state.
        std::erase_if(
            files, [](const auto& entry) { return entry.first.contains("/var/run/workspace/"); });
        return {files, FakeSparkSettingsRows(sample.sparkSettings), FakeOutlookSignatures(mac),
                json({"list", "--all"})};
    }

    static void expectSame(const MachineState& actual, const MachineState& expected) {
        EXPECT_EQ(actual.files.size(), expected.files.size());
        for (const auto& [path, bytes] : expected.files) {
            const auto found = actual.files.find(path);
            ASSERT_TRUE(found != actual.files.end()) << "missing: " << path.toStdString();
            EXPECT_EQ(found->second.toStdString(), bytes.toStdString()) << path.toStdString();
        }
        for (const auto& [path, bytes] : actual.files)
            EXPECT_TRUE(expected.files.contains(path)) << "left over: " << path.toStdString();
        EXPECT_EQ(actual.sparkRows.join('\n').toStdString(),
                  expected.sparkRows.join('\n').toStdString());
        EXPECT_TRUE(actual.outlookSignatures == expected.outlookSignatures);
        EXPECT_EQ(actual.list.dump(1), expected.list.dump(1));
    }

    // The restore points, newest first.
    QStringList pointIds() const {
        QStringList ids;
        for (const auto& point : json({"backups"}))
            ids << QString::fromStdString(point["id"]);
        return ids;
    }

    // Runs the command; the points it made, newest first.
    QStringList run(const QStringList& arguments) const {
        const QStringList before = pointIds();
        const CommandRun result = quillet(QStringList{"--yes"} + arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments.join(' ').toStdString() << "\n"
                                      << result.err.toStdString();
        QStringList made;
        for (const QString& id : pointIds()) {
            if (!before.contains(id))
                made << id;
        }
        return made;
    }

    QString pointFolder(const QString& id) const {
        return mac.home() + "/Library/Application Support/Quillet/Restore Points/" + id;
    }
};

TEST_F(QuilletRestoreCommandTest,
       RestoringTheInstallsPointsPutsEveryClientBackAndUndoingBringsThem) {
    setSignature("k-team", "<p>Team \"quoted\"</p>");
    const MachineState original = state();
    QStringList installPoints;  // newest first
    for (const QStringList& install :
         std::vector<QStringList>{{"--client", "applemail", "--account", "ann@example.com"},
                                  {"--client", "outlook"},
                                  {"--client", "postbox"},
                                  {"--client", "spark"},
                                  {"--client", "thunderbird", "--account", "tom@example.com"}}) {
        const QStringList made = run(QStringList{"install", "--key", "k-team"} + install);
        ASSERT_FALSE(made.isEmpty()) << install.join(' ').toStdString();
        installPoints = made + installPoints;
    }
    const MachineState installed = state();
    ASSERT_EQ(installed.list.size(), 5u);
    ASSERT_NE(installed.sparkRows, original.sparkRows);
    ASSERT_NE(installed.outlookSignatures.size(), original.outlookSignatures.size());

    const auto backups = json({"backups"});
    EXPECT_EQ(backups[0]["reason"], "install");
    EXPECT_EQ(backups[0]["clients"], nlohmann::json::array({"Thunderbird"}));
    EXPECT_EQ(backups[0]["files"], nlohmann::json::array({sample.thunderbirdPrefs.toStdString()}));

    QStringList undoPoints;  // the points the restores made, oldest first
    for (const QString& id : installPoints) {
        const QStringList made = run({"restore", id});
        ASSERT_EQ(made.size(), 1) << id.toStdString();
        undoPoints.prepend(made.first());
    }
    expectSame(state(), original);

    for (const QString& id : undoPoints)
        run({"restore", id});
    expectSame(state(), installed);
}

TEST_F(QuilletRestoreCommandTest, ADamagedPointIsRefusedAndAPreviewChangesNothing) {
    setSignature("k-tom", "<p>Tom</p>");
    const QStringList made = run(
        {"install", "--key", "k-tom", "--client", "thunderbird", "--account", "tom@example.com"});
    ASSERT_EQ(made.size(), 1);
    const QString folder = pointFolder(made.first());
    const MachineState installed = state();
    const QStringList points = pointIds();
    ASSERT_EQ(points.first(), made.first());

    const std::vector<std::pair<const char*, std::function<void()>>> damages = {
        {"a kept file is missing", [&] { QFile::remove(folder + "/files/1"); }},
        {"a kept file was changed",
         [&] { WriteFileAtomically(folder + "/files/1", "user_pref(\"x\", 1);\n"); }},
        {"the manifest is not JSON",
         [&] { WriteFileAtomically(folder + "/manifest.json", "{\"id\": "); }},
        {"the store copy is not a database",
         [&] { WriteFileAtomically(folder + "/DataV2.sqlite", QByteArray(8192, 'x')); }},
    };
    const QString whole = folder + ".whole";
    ASSERT_TRUE(QDir().rename(folder, whole));
    for (const auto& [name, damage] : damages) {
        SCOPED_TRACE(name);
        ASSERT_EQ(std::system(("cp -a '" + whole + "' '" + folder + "'").toUtf8().constData()), 0);
        damage();
        const CommandRun refused = quillet({"--yes", "restore", made.first()});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(
            refused.err.contains("Restore point " + made.first() + " is damaged or incomplete"))
            << refused.err.toStdString();
        expectSame(state(), installed);
        // No point of its own either (one whose manifest cannot be read is not listed).
        QStringList now = pointIds();
        now.removeAll(made.first());
        EXPECT_EQ(now, points.mid(1));
        QDir(folder).removeRecursively();
    }
    ASSERT_TRUE(QDir().rename(whole, folder));
    EXPECT_EQ(quillet({"restore", "no-such-point"}).exitCode, 1);
    EXPECT_EQ(quillet({"restore", made.first(), "--client", "spark"}).exitCode, 1);
    const CommandRun preview = quillet({"--yes", "--dry-run", "restore", made.first()});
    EXPECT_EQ(preview.exitCode, 0) << preview.err.toStdString();
    EXPECT_TRUE(
        preview.out.contains("--- " + sample.thunderbirdPrefs + "\n+++ " + sample.thunderbirdPrefs))
        << preview.out.toStdString();
    EXPECT_TRUE(
        preview.out.contains("-user_pref(\"mail.identity.id1.htmlSigText\", \"<p>Tom</p>\");"))
        << preview.out.toStdString();
    expectSame(state(), installed);
    EXPECT_EQ(pointIds(), points);
}

TEST_F(QuilletRestoreCommandTest, PruningKeepsTheNewestFiftyOfTheLastThirtyDaysAndFollowsNoLink) {
    // Points of earlier passes: 60 in the last hours, 3 from before thirty days.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QSet<QString> recent;
    for (int i = 0; i < 63; ++i) {
        const bool old = i >= 60;
        const QDateTime time = old ? now.addDays(-31 - i) : now.addSecs(-60 * (i + 1));
        const QString id = time.toString("yyyyMMdd-HHmmss");
        if (!old)
            recent.insert(id);
        const nlohmann::json manifest = {{"id", id.toStdString()},
                                         {"time", time.toString(Qt::ISODateWithMs).toStdString()},
                                         {"reason", "refresh"},
                                         {"clients", nlohmann::json::array()},
                                         {"files", nlohmann::json::array()},
                                         {"rows", nlohmann::json::array()},
                                         {"signatures", nlohmann::json::array()}};
        ASSERT_TRUE(WriteFileAtomically(pointFolder(id) + "/manifest.json",
                                        QByteArray::fromStdString(manifest.dump())));
    }
    ASSERT_EQ(pointIds().size(), 63);
    // A link among the points, to the person's own folder two hours old: no point, and what it
    // points to is not Quillet's to remove.
    const QString documents = mac.homePath("Letters");
    mac.writeFile(documents + "/letter.txt", "keep me");
    const QDateTime twoHoursAgo = now.addSecs(-7200);
    const timespec times[2] = {{twoHoursAgo.toSecsSinceEpoch(), 0},
                               {twoHoursAgo.toSecsSinceEpoch(), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(documents).constData(), times, 0), 0);
    const QString link = pointFolder("link");
    ASSERT_TRUE(QFile::link(documents, link));

    setSignature("k-tom", "<p>Tom</p>");
    const QStringList made = run(
        {"install", "--key", "k-tom", "--client", "thunderbird", "--account", "tom@example.com"});
    ASSERT_EQ(made.size(), 1);
    const QStringList kept = pointIds();
    ASSERT_EQ(kept.size(), 50);
    EXPECT_EQ(kept.first(), made.first());
    // The newest 49 of the earlier ones stay; the oldest recent ones and the old ones go.
    for (const QString& id : kept.mid(1))
        EXPECT_TRUE(recent.contains(id)) << id.toStdString();
    EXPECT_FALSE(QDir(pointFolder(now.addDays(-92).toString("yyyyMMdd-HHmmss"))).exists());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(documents + "/letter.txt"));
}

}  // namespace
}  // namespace quillet
