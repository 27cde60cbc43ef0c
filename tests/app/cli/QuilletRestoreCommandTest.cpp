#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacAppleMail.h"
#include "app/demo/FakeMacDatabase.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "app/demo/FakeMacSpark.h"
#include "platform/AtomicFile.h"
#include "platform/Plist.h"
#include "tests/support/DataTable.h"
#include "tests/support/FakeMacClient.h"
#include "tests/support/MachineSnapshot.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

using Json = nlohmann::json;

// What a restore must bring back: each client as the person sees it, and Quillet's list.
struct MachineState {
    std::map<ClientKind, FakeClientState> clients;
    Json list;
    bool operator==(const MachineState&) const = default;
};

void Write(const QString& path, const QByteArray& contents) {
    ASSERT_FALSE(WriteFileAtomicallyOrFail(path, contents)) << path.toStdString();
}

qint64 FolderSize(const QString& folder) {
    qint64 size = 0;
    for (const auto& [path, bytes] : ReadFolderFiles(folder))
        size += bytes.size();
    return size;
}

struct QuilletRestoreCommandTest : testing::Test, SampleMacCommand {
    MachineState state() const {
        MachineState now{{}, json({"list", "--all"})};
        for (const ClientKind kind : kAllClientKinds) {
            if (const auto client = MakeFakeMacClient(mac, kind))
                now.clients[kind] = client->read();
        }
        // A signature that a restore brings back is the same one (by its uuid) under a new id.
        for (Json& signature : now.list)
            signature.erase("id");
        return now;
    }

    // The restore points, newest first.
    QStringList pointIds() const {
        QStringList ids;
        for (const auto& point : json({"backups"}))
            ids << QString::fromStdString(point["id"]);
        return ids;
    }

    // Runs the command (which must succeed); the points it made, newest first.
    QStringList run(const QStringList& arguments, QString* output = nullptr) const {
        const QStringList before = pointIds();
        const CommandRun result = quillet(QStringList{"--yes"} + arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments.join(' ').toStdString() << "\n"
                                      << result.err.toStdString();
        if (output)
            *output = result.out;
        QStringList made;
        for (const QString& id : pointIds()) {
            if (!before.contains(id))
                made << id;
        }
        return made;
    }

    // Installs the key's signature in the client, for the account if one is given; its point.
    QString install(const QString& key, const QString& client, const QString& account = {}) const {
        QStringList arguments{"install", "--key", key, "--client", client};
        if (!account.isEmpty())
            arguments << "--account" << account;
        const QStringList made = run(arguments);
        EXPECT_EQ(made.size(), 1) << client.toStdString();
        return made.value(0);
    }

    QString pointsFolder() const { return dataPath("Restore Points"); }
    QString pointFolder(const QString& id) const { return pointsFolder() + "/" + id; }

    // A point of an earlier pass that changed nothing restorable, made at that time; its id.
    QString writeEmptyPoint(const QDateTime& time, const QString& folder = {}) const {
        const QString id = time.toString("yyyyMMdd-HHmmss");
        Json manifest = Json::parse(ReadDataText("cli/empty-point.json").toStdString());
        manifest["id"] = id.toStdString();
        manifest["time"] = time.toString(Qt::ISODateWithMs).toStdString();
        Write((folder.isEmpty() ? pointFolder(id) : folder) + "/manifest.json",
              QByteArray::fromStdString(manifest.dump()));
        return id;
    }
};

// Restoring an earlier point undoes the later ones first, so that no client keeps a signature
// the store no longer knows; restoring the restore's own point brings them back; restoring a
// point for one client leaves the others, and their later installs, and the store agreeing.
// An identity holds one signature: a second install of the same text there changes no client,
// yet it keeps a point (of the store alone), or restoring an earlier one would leave its record
// claiming what the client no longer holds.
TEST_F(QuilletRestoreCommandTest, RestoringAnEarlierPointUndoesTheLaterOnesAndASecondInstall) {
    setSignature("k-team", "<p>Team \"quoted\"</p>");
    const MachineState original = state();
    QStringList installPoints;  // oldest first
    for (const auto& [client, account] :
         std::vector<std::pair<QString, QString>>{{"applemail", "ann@example.com"},
                                                  {"outlook", {}},
                                                  {"postbox", {}},
                                                  {"spark", {}},
                                                  {"thunderbird", "tom@example.com"},
                                                  {"thunderbird", "tom@example.com"}})
        installPoints << install("k-team", client, account);
    const MachineState installed = state();
    ASSERT_EQ(installed.list.size(), 6u);
    const auto backups = json({"backups"});
    EXPECT_EQ(backups[1]["files"], Json::array({sample.thunderbirdPrefs.toStdString()}));
    ExpectJsonFields(backups, "cli/json-fields.tsv", "restore points");

    QString output;
    const QStringList undo = run({"restore", installPoints.first()}, &output);
    EXPECT_TRUE(state() == original);
    for (const QString& later : installPoints.mid(1))
        EXPECT_TRUE(output.contains(later + " (install)")) << output.toStdString();
    EXPECT_TRUE(output.contains("Undone first, being later: ")) << output.toStdString();
    EXPECT_EQ(json({"backups"})[0]["reason"], "restore");

    run({"restore", undo.value(0)});
    EXPECT_TRUE(state() == installed);
    // Only Apple Mail's part of its install undone: the later installs elsewhere stay.
    run({"restore", installPoints.first(), "--client", "applemail"});
    MachineState others = installed;
    others.clients[ClientKind::appleMail] = original.clients.at(ClientKind::appleMail);
    others.list.erase(others.list.begin());
    EXPECT_TRUE(state() == others);
    // The later restores undone first, of the second install only its record goes.
    run({"restore", installPoints.last()});
    MachineState once = installed;
    once.list.erase(once.list.end() - 1);  // Apple Mail's, brought back, in its old place
    EXPECT_TRUE(state() == once);
}

// What the person changed after Quillet's installs stays through a restore of them (in
// Thunderbird Tim's own signature edited, Quillet's forwarding switch turned off and an identity
// added; in Outlook Quillet's signature edited, one of the person's own added and the one that
// was Jane's default deleted); of Quillet's, only what the person did not change goes. Jane's
// default comes back as "None", as Outlook cannot show a deleted one.
TEST_F(QuilletRestoreCommandTest, RestoreKeepsThePersonsLaterChangeAndGivesADeletedDefaultAsNone) {
    setSignature("k-team", "<p>Team</p>");
    const QString point = install("k-team", "thunderbird", "tom@example.com");
    install("k-team", "outlook", "jane@example.com");
    QByteArray prefs = read(sample.thunderbirdPrefs);
    ASSERT_TRUE(prefs.endsWith('\n'));
    prefs.replace(kSampleThunderbirdOwnLine.toUtf8(),
                  R"(user_pref("mail.identity.id2.htmlSigText", "<b>Tim's newer</b>");)");
    const QByteArray forwards = R"(user_pref("mail.identity.id1.sig_on_fwd", )";
    ASSERT_TRUE(prefs.contains(forwards + "true);"));
    prefs.replace(forwards + "true);", forwards + "false);");
    prefs += FakeIdentityPrefsLines("3", "tina@example.com", "Tina").join('\n').toUtf8() + "\n";
    Write(sample.thunderbirdPrefs, prefs);
    auto outlook = FakeOutlookSignatures(mac);
    ASSERT_EQ(outlook.size(), 2u);
    outlook[1].content = "<p>Edited in Outlook</p>";
    outlook.push_back({"Mine 2", "<p>Jane, again</p>"});
    outlook.erase(outlook.begin());  // "Mine"
    SetFakeOutlookSignatures(mac, outlook);

    QString output;
    run({"restore", point}, &output);
    QList<QByteArray> lines = prefs.split('\n');
    lines.removeIf([](const QByteArray& line) {
        return line.contains("\"mail.identity.id1.htmlSig") ||
               line.contains("\"mail.identity.id1.sig_on_reply\"");
    });
    EXPECT_EQ(read(sample.thunderbirdPrefs).toStdString(), lines.join('\n').toStdString());
    EXPECT_TRUE(FakeOutlookSignatures(mac) == outlook);
    EXPECT_EQ(FakeOutlookDefaultSignatures(mac).at("jane@example.com"),
              (FakeOutlookDefaults{"None", "None"}));
    EXPECT_TRUE(json({"list", "--all"}).empty());
    EXPECT_TRUE(output.contains("the preference mail.identity.id1.sig_on_fwd in "))
        << output.toStdString();
    EXPECT_TRUE(output.contains("was changed since; it is kept as it is."));
}

// Undoing an uninstall would put Quillet's signature back where the person has put their own
// since: over it, theirs would be lost; beside it, the list would record a signature the client
// does not hold. Outlook tells signatures apart by name alone, so one of the same name as
// Quillet's is the person's too. Each client's restore is refused, and nothing of it changes.
TEST_F(QuilletRestoreCommandTest, AnUninstallIsNotUndoneOverThePersonsLaterSignatureNorASameName) {
    setSignature("k-team", "<p>Team</p>");
    install("k-team", "outlook", "jane@example.com");
    install("k-team", "thunderbird", "tom@example.com");
    const QString name = QString::fromStdString(json({"list"})[0]["name"]);
    auto outlook = FakeOutlookSignatures(mac);
    outlook.push_back({name, "<p>Jane's, same name</p>"});
    SetFakeOutlookSignatures(mac, outlook);
    // Restoring the earlier uninstall undoes the later one first.
    const QString beforeUninstall = run({"uninstall", "2"}).value(0);
    run({"uninstall", "1"});
    outlook.erase(outlook.end() - 2);  // Quillet's left
    ASSERT_TRUE(FakeOutlookSignatures(mac) == outlook);
    const QByteArray prefs =
        read(sample.thunderbirdPrefs) +
        R"(user_pref("mail.identity.id1.htmlSigText", "<b>Tom's own, since</b>");)" + "\n";
    Write(sample.thunderbirdPrefs, prefs);

    const CommandRun restore = quillet({"--yes", "restore", beforeUninstall});
    EXPECT_EQ(restore.exitCode, 1);
    EXPECT_TRUE(restore.err.contains("Could not restore signature: \"" + name + "\"."))
        << restore.err.toStdString();
    EXPECT_TRUE(restore.err.contains("Could not restore file " + sample.thunderbirdPrefs))
        << restore.err.toStdString();
    EXPECT_TRUE(FakeOutlookSignatures(mac) == outlook);
    EXPECT_EQ(read(sample.thunderbirdPrefs), prefs);
    for (const Json& signature : json({"list", "--all"}))
        EXPECT_FALSE(signature["performed"].contains("Thunderbird")) << signature.dump();
}

// A point keeps what the pass changed: the entries of a large prefs.js, not a copy of it; the
// signature records of the command, not the store (a large signature is installed elsewhere);
// never Mail's cache. A Spark row whose bytes are not UTF-8 is kept as bytes: the pass goes on to
// the later clients, and restoring its point gives the row back byte for byte.
TEST_F(QuilletRestoreCommandTest, APointHoldsWhatThePassChangedAndASparkRowThatIsNotUtf8) {
    const QString large = serviceFolder.path() + "/large.html";
    Write(large, "<p>" + QByteArray(1 << 20, 'l') + "</p>");
    run({"install", "--file", large, "--client", "outlook"});
    QByteArray prefs = read(sample.thunderbirdPrefs);
    for (int i = 0; i < 10000; ++i)
        prefs += "user_pref(\"extensions.padding." + QByteArray::number(i) + "\", \"" +
                 QByteArray(80, 'x') + "\");\n";
    Write(sample.thunderbirdPrefs, prefs);
    mac.writeFile(FakeAppleMailFiles(mac).cacheFolder + "/Envelope Index",
                  QByteArray(4 << 20, 'c'));

    setSignature("k-small", "<p>Small</p>");
    for (const auto& [client, account] :
         std::vector<std::pair<QString, QString>>{{"spark", "sue@example.com"},
                                                  {"thunderbird", "tom@example.com"},
                                                  {"applemail", "ann@example.com"}}) {
        EXPECT_LT(FolderSize(pointFolder(install("k-small", client, account))), 32 * 1024)
            << client.toStdString();
    }

    const std::string spark = json({"list", "--all"})[1]["uuid"];
    const QByteArray ordering = "[\"" + QByteArray::fromStdString(spark) + "\",\"MINE\xff\xfe\"]";
    ASSERT_TRUE(ExecuteFakeSparkSql(sample.sparkSettings,
                                    "UPDATE settings SET itemValue = CAST(X'" +
                                        QString::fromLatin1(ordering.toHex()) +
                                        "' AS TEXT) WHERE itemKey = 'MetaOrderingSettingsKey';"));
    const QByteArray thunderbird = read(sample.thunderbirdPrefs);
    setSignature("k-small", "<p>Small, renewed</p>");
    const QStringList made = run({"refresh"});
    ASSERT_EQ(made.size(), 1);
    EXPECT_TRUE(read(sample.thunderbirdPrefs).contains("Small, renewed"));
    EXPECT_LT(FolderSize(pointFolder(made.first())), 32 * 1024);

    run({"restore", made.first()});
    EXPECT_EQ(QueryFakeDatabase(sample.sparkSettings,
                                "SELECT itemValue FROM settings WHERE "
                                "itemKey = 'MetaOrderingSettingsKey'"),
              FakeDatabaseRows{{ordering}});
    EXPECT_EQ(read(sample.thunderbirdPrefs), thunderbird);
}

// Pruning keeps the newest fifty points of the last thirty days, follows no link, and spares a
// point being restored: restoring the oldest of fifty finishes, and prunes it only afterwards. A
// damaged point is never restored.
TEST_F(QuilletRestoreCommandTest,
       PruningKeepsTheNewestFiftyFollowsNoLinkAndRestoresNoDamagedPoint) {
    // Points of earlier passes: 60 in the last hours, 3 from before thirty days.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QSet<QString> recent;
    for (int i = 0; i < 63; ++i) {
        const bool old = i >= 60;
        const QString id = writeEmptyPoint(old ? now.addDays(-31 - i) : now.addSecs(-60 * (i + 1)));
        if (!old)
            recent.insert(id);
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
    QTemporaryDir outside;
    const QString pointLike = outside.path() + "/point-like";
    const QString linked = outside.path() + "/linked";
    const QString pointLikeId = writeEmptyPoint(now.addDays(-40), pointLike);
    Write(linked + "/keep.txt", "mine");
    ASSERT_TRUE(QFile::link(pointLike, pointFolder(pointLikeId)));
    ASSERT_TRUE(
        QFile::link(linked, pointFolder(now.addDays(-92).toString("yyyyMMdd-HHmmss")) + "/files"));

    setSignature("k-tom", "<p>Tom</p>");
    const QByteArray original = read(sample.thunderbirdPrefs);
    const QString made = install("k-tom", "thunderbird", "tom@example.com");
    const QStringList kept = pointIds();
    ASSERT_EQ(kept.size(), 50);
    EXPECT_EQ(kept.first(), made);
    // The newest 49 of the earlier ones stay; the oldest recent ones and the old ones go.
    for (const QString& id : kept.mid(1))
        EXPECT_TRUE(recent.contains(id)) << id.toStdString();
    EXPECT_FALSE(QDir(pointFolder(now.addDays(-92).toString("yyyyMMdd-HHmmss"))).exists());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(documents + "/letter.txt"));
    EXPECT_TRUE(QFileInfo::exists(pointLike + "/manifest.json"));
    EXPECT_EQ(read(linked + "/keep.txt"), "mine");
    QStringList ids = kept;
    ids.sort();
    EXPECT_EQ(QDir(pointsFolder())
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name),
              ids);

    // A damaged point is refused and changes nothing: a record missing or changed, the manifest
    // or the signatures' record not JSON; so is one for a client it does not hold.
    const MachineState installed = state();
    const QString folder = pointFolder(made);
    const QString unit = folder + "/unit-1.json";
    const std::vector<std::pair<QString, std::optional<QByteArray>>> damages = {
        {unit, std::nullopt},
        {unit, read(unit) + " "},
        {folder + "/manifest.json", "{\"id\": "},
        {folder + "/store.json", "{"}};
    const QString whole = folder + ".whole";
    ASSERT_TRUE(QDir().rename(folder, whole));
    for (const auto& [file, damaged] : damages) {
        SCOPED_TRACE(file.toStdString());
        ASSERT_EQ(std::system(("cp -a '" + whole + "' '" + folder + "'").toUtf8().constData()), 0);
        if (damaged)
            Write(file, *damaged);
        else
            QFile::remove(file);
        const CommandRun refused = quillet({"--yes", "restore", made});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("Restore point " + made + " is damaged or incomplete"))
            << refused.err.toStdString();
        EXPECT_TRUE(state() == installed);
        // No point of its own either (one whose manifest cannot be read is not listed).
        QStringList now = pointIds();
        now.removeAll(made);
        EXPECT_EQ(now, kept.mid(1));
        QDir(folder).removeRecursively();
    }
    ASSERT_TRUE(QDir().rename(whole, folder));
    EXPECT_EQ(quillet({"restore", made, "--client", "spark"}).exitCode, 1);
    EXPECT_TRUE(state() == installed);
    EXPECT_EQ(pointIds(), kept);

    const QStringList undo = run({"restore", kept.last()});
    EXPECT_EQ(read(sample.thunderbirdPrefs), original);
    EXPECT_TRUE(json({"list", "--all"}).empty());
    const QStringList after = pointIds();
    EXPECT_EQ(after.size(), 50);
    EXPECT_EQ(after.value(0), undo.value(0));
    EXPECT_FALSE(after.contains(kept.last())) << "pruned once the restore had finished";
}

}  // namespace
}  // namespace quillet
