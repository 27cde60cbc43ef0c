#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/support/DataTable.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

using Json = nlohmann::json;

struct QuilletRestoreCommandTest : testing::Test, SampleMacCommand {
    // The restore points, newest first.
    QStringList pointIds() const {
        QStringList ids;
        for (const auto& point : json({"backups"}))
            ids << QString::fromStdString(point["id"]);
        return ids;
    }

    // Runs the command (which must succeed); the newest point.
    QString run(const QStringList& arguments) const {
        const CommandRun result = quillet(QStringList{"--yes"} + arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        return pointIds().value(0);
    }

    QString pointFolder(const QString& id) const { return dataPath("Restore Points/" + id); }

    // A point of an earlier pass that changed nothing restorable, made at that time; its id.
    QString writeEmptyPoint(const QDateTime& time, const QString& folder = {}) const {
        const QString id = time.toString("yyyyMMdd-HHmmss");
        Json manifest = Json::parse(ReadDataText("cli/empty-point.json").toStdString());
        manifest["id"] = id.toStdString();
        manifest["time"] = time.toString(Qt::ISODateWithMs).toStdString();
        mac.writeFile((folder.isEmpty() ? pointFolder(id) : folder) + "/manifest.json",
                      QByteArray::fromStdString(manifest.dump()));
        return id;
    }
};

// Pruning keeps the newest fifty points of the last thirty days, follows no link, and spares a
// point being restored: restoring the oldest of fifty finishes, and prunes it only afterwards.
TEST_F(QuilletRestoreCommandTest,
       PruningKeepsTheNewestFiftyFollowsNoLinkAndSparesThePointRestored) {
    // Points of earlier passes: 60 in the last hours, 3 from before thirty days.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QStringList newest;  // the 49 newest of them, newest first
    for (int i = 0; i < 63; ++i) {
        const QString id =
            writeEmptyPoint(i < 60 ? now.addSecs(-60 * (i + 1)) : now.addDays(-31 - i));
        if (i < 49)
            newest << id;
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
    // A link named and made as an old point, and one inside an old point: each goes, never
    // followed.
    const QString pointLike = mac.homePath("Elsewhere/point-like");
    const QString linked = mac.homePath("Elsewhere/linked");
    const QString pointLikeId = writeEmptyPoint(now.addDays(-40), pointLike);
    mac.writeFile(linked + "/keep.txt", "mine");
    ASSERT_TRUE(QFile::link(pointLike, pointFolder(pointLikeId)));
    ASSERT_TRUE(
        QFile::link(linked, pointFolder(now.addDays(-92).toString("yyyyMMdd-HHmmss")) + "/files"));

    setSignature("k-tom", "<p>Tom</p>");
    const QByteArray original = read(sample.thunderbirdPrefs);
    const QString made = run(
        {"install", "--key", "k-tom", "--client", "thunderbird", "--account", "tom@example.com"});
    const QStringList kept = pointIds();
    ASSERT_EQ(kept, QStringList{made} + newest);
    EXPECT_FALSE(QDir(pointFolder(now.addDays(-92).toString("yyyyMMdd-HHmmss"))).exists());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(documents + "/letter.txt"));
    EXPECT_TRUE(QFileInfo::exists(pointLike + "/manifest.json"));
    EXPECT_EQ(read(linked + "/keep.txt"), "mine");
    QStringList ids = kept;
    ids.sort();
    EXPECT_EQ(QDir(dataPath("Restore Points"))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name),
              ids);

    const QString undo = run({"restore", kept.last()});
    EXPECT_EQ(read(sample.thunderbirdPrefs), original);
    EXPECT_TRUE(json({"list", "--all"}).empty());
    const QStringList after = pointIds();
    EXPECT_EQ(after.size(), 50);
    EXPECT_EQ(after.value(0), undo);
    EXPECT_FALSE(after.contains(kept.last())) << "pruned once the restore had finished";
}

}  // namespace
}  // namespace quillet
