#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sqlite3.h>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <functional>

#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacAppleMail.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "app/demo/FakeMacSpark.h"
#include "platform/AtomicFile.h"
#include "platform/Plist.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

using Files = std::map<QString, QByteArray>;
using Json = nlohmann::json;

// What a restore must bring back, each part as the person's clients would read it.
struct MachineState {
    Files files;  // every client file (Spark's database and the stand-in Outlook's state apart)
    QStringList sparkRows;
    std::vector<FakeOutlookSignature> outlookSignatures;
    std::map<QString, FakeOutlookDefaults> outlookDefaults;
    Json list;
};

QByteArray Read(const QString& path) {
    return ReadFakeFile(path).value_or("(none)");
}

void Write(const QString& path, const QByteArray& contents) {
    ASSERT_TRUE(WriteFileAtomically(path, contents)) << path.toStdString();
}

// The folder's size on disk, all files in it.
qint64 FolderSize(const QString& folder) {
    qint64 size = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        size += QFileInfo(it.next()).size();
    return size;
}

// A manifest of a point that holds nothing, readable by this and by the earlier layout.
QByteArray EmptyPointManifest(const QString& id, const QDateTime& time) {
    return QByteArray::fromStdString(Json{
        {"format", 2},
        {"id", id.toStdString()},
        {"time", time.toString(Qt::ISODateWithMs).toStdString()},
        {"reason", "refresh"},
        {"complete", true},
        {"clients", Json::array()},
        {"files", Json::array()},
        {"units", Json::array()},
        {"store", nullptr},
        {"rows", Json::array()},
        {"signatures", Json::array()}}.dump());
}

// The value of Spark's row of that key, as the bytes it holds.
QByteArray SparkValue(const QString& database, const QString& key) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT itemValue FROM settings WHERE itemKey = ?", -1, &statement,
                       nullptr);
    const QByteArray keyText = key.toUtf8();
    sqlite3_bind_text(statement, 1, keyText.constData(), -1, SQLITE_TRANSIENT);
    QByteArray value = "(no row)";
    if (sqlite3_step(statement) == SQLITE_ROW) {
        value = QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, 0)),
                           sqlite3_column_bytes(statement, 0));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

QStringList PlistTexts(const Plist& plist, const QStringList& path) {
    std::optional<PlistNode> node = plist.node();
    for (const QString& key : path)
        node = node ? node->get(key) : std::nullopt;
    QStringList texts;
    for (int i = 0; node && i < node->size(); ++i) {
        const PlistNode element = *node->at(i);
        texts << (element.isString() ? element.asString().value_or("")
                                     : element.dictionaryString("SignatureUniqueId").value_or(""));
    }
    return texts;
}

struct QuilletRestoreCommandTest : testing::Test, SampleMacCommand {
    MachineState state() const {
        Files files = machineFiles();
        files.erase(sample.sparkSettings);
        files.erase(sample.outlookState);
        // The workspace's record of closed and opened clients is not the clients' state.
        std::erase_if(
            files, [](const auto& entry) { return entry.first.contains("/var/run/workspace/"); });
        // A signature that a restore brings back is the same one (by its uuid) under a new id.
        Json list = json({"list", "--all"});
        for (Json& signature : list)
            signature.erase("id");
        return {files, FakeSparkSettingsRows(sample.sparkSettings), FakeOutlookSignatures(mac),
                FakeOutlookDefaultSignatures(mac), list};
    }

    // Files as their clients read them: a restore writes property lists and JSON in its own
    // layout, and the preferences it puts back among their identity's in an order of its own.
    static std::string Readable(const QString& path, const QByteArray& bytes) {
        if (path.endsWith(".plist")) {
            if (const auto plist = Plist::parse(bytes))
                return plist->toXml().toStdString();
        }
        if (path.endsWith("/postbox-signatures")) {
            const auto list = Json::parse(bytes.toStdString(), nullptr, false);
            if (!list.is_discarded())
                return list.dump();
        }
        if (path.endsWith("/prefs.js")) {
            QList<QByteArray> lines = bytes.split('\n');
            std::sort(lines.begin(), lines.end());
            return lines.join('\n').toStdString();
        }
        return bytes.toStdString();
    }

    static void expectSame(const MachineState& actual, const MachineState& expected) {
        EXPECT_EQ(actual.files.size(), expected.files.size());
        for (const auto& [path, bytes] : expected.files) {
            const auto found = actual.files.find(path);
            ASSERT_TRUE(found != actual.files.end()) << "missing: " << path.toStdString();
            EXPECT_EQ(Readable(path, found->second), Readable(path, bytes)) << path.toStdString();
        }
        for (const auto& [path, bytes] : actual.files)
            EXPECT_TRUE(expected.files.contains(path)) << "left over: " << path.toStdString();
        EXPECT_EQ(actual.sparkRows.join('\n').toStdString(),
                  expected.sparkRows.join('\n').toStdString());
        EXPECT_TRUE(actual.outlookSignatures == expected.outlookSignatures);
        EXPECT_TRUE(actual.outlookDefaults == expected.outlookDefaults);
        EXPECT_EQ(actual.list.dump(1), expected.list.dump(1));
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

    // Installs the key's signature as told; its point.
    QString install(const QString& key, const QStringList& where) const {
        const QStringList made = run(QStringList{"install", "--key", key} + where);
        EXPECT_EQ(made.size(), 1) << where.join(' ').toStdString();
        return made.value(0);
    }

    QString pointsFolder() const {
        return mac.home() + "/Library/Application Support/Quillet/Restore Points";
    }
    QString pointFolder(const QString& id) const { return pointsFolder() + "/" + id; }

    // The listed signatures' field, in store order.
    QStringList listed(const char* field) const {
        QStringList values;
        for (const auto& signature : json({"list", "--all"}))
            values << QString::fromStdString(signature[field].get<std::string>());
        return values;
    }
};

TEST_F(QuilletRestoreCommandTest,
       RestoringTheInstallsPointsPutsEveryClientBackAndUndoingBringsThem) {
    setSignature("k-team", "<p>Team \"quoted\"</p>");
    const MachineState original = state();
    QStringList installPoints;  // newest first
    for (const QStringList& where :
         std::vector<QStringList>{{"--client", "applemail", "--account", "ann@example.com"},
                                  {"--client", "outlook"},
                                  {"--client", "postbox"},
                                  {"--client", "spark"},
                                  {"--client", "thunderbird", "--account", "tom@example.com"}}) {
        installPoints.prepend(install("k-team", where));
    }
    const MachineState installed = state();
    ASSERT_EQ(installed.list.size(), 5u);
    ASSERT_NE(installed.sparkRows, original.sparkRows);
    ASSERT_NE(installed.outlookSignatures.size(), original.outlookSignatures.size());

    const auto backups = json({"backups"});
    EXPECT_EQ(backups[0]["reason"], "install");
    EXPECT_EQ(backups[0]["clients"], Json::array({"Thunderbird"}));
    EXPECT_EQ(backups[0]["files"], Json::array({sample.thunderbirdPrefs.toStdString()}));

    // Each restore, newest first, undoes the later restores and installs as it goes.
    QStringList undoPoints;  // the points the restores made, oldest first
    for (const QString& id : installPoints) {
        const QStringList made = run({"restore", id});
        ASSERT_EQ(made.size(), 1) << id.toStdString();
        EXPECT_EQ(json({"backups"})[0]["reason"], "restore");
        undoPoints.append(made.first());
    }
    expectSame(state(), original);

    // Restoring the first restore's point undoes every restore since.
    run({"restore", undoPoints.first()});
    expectSame(state(), installed);
}

// What the person changes in a client after Quillet's install, and what a restore of the
// install must then leave: the person's work, and nothing of Quillet's that the person did not
// change.
struct LaterChange {
    const char* name;
    QStringList install;
    std::function<void(QuilletRestoreCommandTest&, std::map<QString, QByteArray>& expected)> change;
    std::function<void(QuilletRestoreCommandTest&, const std::map<QString, QByteArray>& expected)>
        check;
    QString keptLine;  // part of the line that tells the person a change of theirs was kept
    friend void PrintTo(const LaterChange& change, std::ostream* out) { *out << change.name; }
};

class RestoreKeepsThePersonsLaterChange : public QuilletRestoreCommandTest,
                                          public testing::WithParamInterface<LaterChange> {};

const QString kSparkOwnSecond = "BBBBBBBB-0000-0000-0000-000000000002";

QString QuilletsUuid(QuilletRestoreCommandTest& test) {
    return test.listed("uuid").value(0);
}

// The prefs.js the person leaves, less Quillet's lines of identity 1 that they did not change.
QByteArray WithoutQuilletsLines(const QByteArray& prefs, const QStringList& keys) {
    QList<QByteArray> lines = prefs.split('\n');
    lines.removeIf([&keys](const QByteArray& line) {
        return std::any_of(keys.begin(), keys.end(), [&line](const QString& key) {
            return line.contains("\"mail.identity.id1." + key.toUtf8() + "\"");
        });
    });
    return lines.join('\n');
}

const std::vector<LaterChange> kLaterChanges = {
    {"Thunderbird",
     {"--client", "thunderbird", "--account", "tom@example.com"},
     [](QuilletRestoreCommandTest& test, auto& expected) {
         // Tim's own signature edited, Quillet's forwarding switch turned off, an identity added.
         QByteArray prefs = Read(test.sample.thunderbirdPrefs);
         ASSERT_TRUE(prefs.endsWith('\n'));
         prefs.replace(kSampleThunderbirdOwnLine.toUtf8(),
                       R"(user_pref("mail.identity.id2.htmlSigText", "<b>Tim's newer</b>");)");
         ASSERT_TRUE(prefs.contains(R"(user_pref("mail.identity.id1.sig_on_fwd", true);)"));
         prefs.replace(R"(user_pref("mail.identity.id1.sig_on_fwd", true);)",
                       R"(user_pref("mail.identity.id1.sig_on_fwd", false);)");
         prefs +=
             FakeIdentityPrefsLines("3", "tina@example.com", "Tina").join('\n').toUtf8() + "\n";
         Write(test.sample.thunderbirdPrefs, prefs);
         expected["prefs"] =
             WithoutQuilletsLines(prefs, {"htmlSigText", "htmlSigFormat", "sig_on_reply"});
     },
     [](QuilletRestoreCommandTest& test, const auto& expected) {
         EXPECT_EQ(Read(test.sample.thunderbirdPrefs).toStdString(),
                   expected.at("prefs").toStdString());
     },
     "the preference mail.identity.id1.sig_on_fwd in "},
    {"Postbox",
     {"--client", "postbox", "--account", "pat@example.com"},
     [](QuilletRestoreCommandTest& test, auto& expected) {
         // A signature of the person's own added in Postbox and made Pam's default.
         Json list = Json::parse(Read(test.sample.postboxSignatures).toStdString());
         list.push_back({{"key", "own2"}, {"name", "Pam's"}, {"body", "<p>Pam</p>"}});
         Write(test.sample.postboxSignatures, QByteArray::fromStdString(list.dump()));
         QByteArray prefs = Read(test.sample.postboxPrefs);
         ASSERT_TRUE(prefs.endsWith('\n'));
         prefs += "user_pref(\"mail.identity.id2.pbSignatureKey\", \"own2\");\n";
         Write(test.sample.postboxPrefs, prefs);
         expected["prefs"] =
             WithoutQuilletsLines(prefs, {"pbSignatureKey", "sig_on_reply", "sig_on_fwd"});
     },
     [](QuilletRestoreCommandTest& test, const auto& expected) {
         const Json list = Json::parse(Read(test.sample.postboxSignatures).toStdString());
         EXPECT_EQ(list, Json::parse(R"([{"key":"own","name":"Mine","body":"<p>Pat, by hand</p>"},
                                         {"key":"own2","name":"Pam's","body":"<p>Pam</p>"}])"));
         EXPECT_EQ(Read(test.sample.postboxPrefs).toStdString(),
                   expected.at("prefs").toStdString());
     },
     {}},
    {"Spark",
     {"--client", "spark", "--account", "sue@example.com"},
     [](QuilletRestoreCommandTest& test, auto&) {
         // A signature of the person's own, after Quillet's in the list, and Sam's default.
         const QString quillets = QuilletsUuid(test);
         ASSERT_TRUE(ExecuteFakeSparkSql(
             test.sample.sparkSettings,
             "INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) VALUES "
             "('SignaturesSettingsItemsGroup', '" +
                 kSparkOwnSecond +
                 "', '{\"title\":\"Sam\"}', 1, 1);"
                 "UPDATE settings SET itemValue = '[\"" +
                 quillets + "\",\"" + kSparkOwnSecond +
                 "\"]' WHERE itemKey = 'MetaOrderingSettingsKey';"
                 "UPDATE settings SET itemValue = '{\"sue@example.com\":\"" +
                 quillets + "\",\"sam@example.com\":\"" + kSparkOwnSecond +
                 "\"}' WHERE itemKey = 'MetaBindingSettingsKey';"));
     },
     [](QuilletRestoreCommandTest& test, const auto&) {
         const QString database = test.sample.sparkSettings;
         EXPECT_EQ(SparkValue(database, "MetaOrderingSettingsKey"),
                   ("[\"" + kSparkOwnSecond + "\"]").toUtf8());
         EXPECT_EQ(SparkValue(database, "MetaBindingSettingsKey"),
                   ("{\"sam@example.com\":\"" + kSparkOwnSecond + "\"}").toUtf8());
         EXPECT_EQ(SparkValue(database, kSparkOwnSecond), "{\"title\":\"Sam\"}");
         EXPECT_EQ(FakeSparkSettingsRows(database).size(), 4) << "Quillet's row is gone";
     },
     {}},
    {"Apple Mail",
     {"--client", "applemail", "--account", "ann@example.com"},
     [](QuilletRestoreCommandTest& test, auto&) {
         // A second signature of the person's own, for the other account, and its default.
         const FakeAppleMailFiles files(test.mac);
         Plist all = *ReadPlistFile(files.allSignatures);
         Plist mine = Plist::dictionary();
         mine.node().set("SignatureUniqueId", Plist::string("MINE2"));
         mine.node().set("SignatureName", Plist::string("Home"));
         all.node().append(std::move(mine));
         ASSERT_TRUE(WritePlistFile(files.allSignatures, all));
         Plist accounts = *ReadPlistFile(files.accountsMap);
         accounts.node().get("ACC-HOME")->get("Signatures")->append(Plist::string("MINE2"));
         ASSERT_TRUE(WritePlistFile(files.accountsMap, accounts));
         Plist preferences = *ReadPlistFile(files.preferences);
         preferences.node().get("SignaturesSelected")->set("ACC-HOME", Plist::string("MINE2"));
         ASSERT_TRUE(WritePlistFile(files.preferences, preferences));
         test.mac.writeFile(files.signatureFile("MINE2"), "<p>Home</p>");
     },
     [](QuilletRestoreCommandTest& test, const auto&) {
         const FakeAppleMailFiles files(test.mac);
         EXPECT_EQ(PlistTexts(*ReadPlistFile(files.allSignatures), {}),
                   (QStringList{"MINE", "MINE2"}));
         const Plist accounts = *ReadPlistFile(files.accountsMap);
         EXPECT_EQ(PlistTexts(accounts, {"ACC-ANN", "Signatures"}), QStringList{"MINE"});
         EXPECT_EQ(PlistTexts(accounts, {"ACC-HOME", "Signatures"}), QStringList{"MINE2"});
         const Plist preferences = *ReadPlistFile(files.preferences);
         const PlistNode selected = *preferences.node().get("SignaturesSelected");
         EXPECT_EQ(selected.keys(), (QStringList{"ACC-ANN", "ACC-HOME"}));
         EXPECT_EQ(selected.dictionaryString("ACC-ANN"), "MINE");
         EXPECT_EQ(selected.dictionaryString("ACC-HOME"), "MINE2");
         EXPECT_FALSE(preferences.node().get("SignaturePlacedAboveQuotedText"));
         EXPECT_EQ(QDir(files.signaturesFolder).entryList(QDir::Files),
                   (QStringList{"AccountsMap.plist", "AllSignatures.plist", "MINE.mailsignature",
                                "MINE2.mailsignature"}));
     },
     {}},
    {"Outlook",
     {"--client", "outlook", "--account", "jane@example.com"},
     [](QuilletRestoreCommandTest& test, auto& expected) {
         // Quillet's signature edited in Outlook, and a second one of the person's own.
         auto signatures = FakeOutlookSignatures(test.mac);
         ASSERT_EQ(signatures.size(), 2u);
         signatures[1].content = "<p>Edited in Outlook</p>";
         signatures.push_back({"Mine 2", "<p>Jane, again</p>"});
         SetFakeOutlookSignatures(test.mac, signatures);
         expected["name"] = signatures[1].name.toUtf8();
     },
     [](QuilletRestoreCommandTest& test, const auto& expected) {
         EXPECT_TRUE(FakeOutlookSignatures(test.mac) ==
                     (std::vector<FakeOutlookSignature>{
                         {"Mine", "<p>Jane, by hand</p>"},
                         {QString::fromUtf8(expected.at("name")), "<p>Edited in Outlook</p>"},
                         {"Mine 2", "<p>Jane, again</p>"}}));
         // Quillet's signature was Jane's default: hers is back.
         EXPECT_EQ(FakeOutlookDefaultSignatures(test.mac).at("jane@example.com"),
                   (FakeOutlookDefaults{"Mine", "None"}));
     },
     "was changed since; it is kept as it is."},
};

TEST_P(RestoreKeepsThePersonsLaterChange, AndGivesBackOnlyQuilletsOwn) {
    const LaterChange& later = GetParam();
    setSignature("k-team", "<p>Team</p>");
    const QString point = install("k-team", later.install);
    std::map<QString, QByteArray> expected;
    later.change(*this, expected);

    QString output;
    run({"restore", point}, &output);
    later.check(*this, expected);
    EXPECT_TRUE(json({"list", "--all"}).empty());
    if (!later.keptLine.isEmpty()) {
        EXPECT_TRUE(output.contains(later.keptLine)) << output.toStdString();
        EXPECT_TRUE(output.contains("was changed since; it is kept as it is."));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryClient, RestoreKeepsThePersonsLaterChange,
                         testing::ValuesIn(kLaterChanges), [](const auto& info) {
                             return QString(info.param.name).remove(' ').toStdString();
                         });

// Restoring an earlier point undoes the later passes too, so that no client keeps a signature
// the store no longer knows; restoring it for one client leaves the others and the store
// agreeing.
TEST_F(QuilletRestoreCommandTest, RestoringAnEarlierPointLeavesTheStoreAndEveryClientAgreeing) {
    setSignature("k-tom", "<p>Tom</p>");
    setSignature("k-sue", "<p>Sue</p>");
    const MachineState original = state();
    const QString thunderbird =
        install("k-tom", {"--client", "thunderbird", "--account", "tom@example.com"});
    const QString spark = install("k-sue", {"--client", "spark", "--account", "sue@example.com"});
    const MachineState both = state();

    QString output;
    const QStringList undo = run({"restore", thunderbird}, &output);
    expectSame(state(), original);
    EXPECT_TRUE(output.contains("Undone first, being later: " + spark + " (install)."))
        << output.toStdString();

    // Back to both installed, then only Thunderbird's part undone: Spark and Sue's signature stay.
    run({"restore", undo.value(0)});
    expectSame(state(), both);
    run({"restore", thunderbird, "--client", "thunderbird"});
    const MachineState now = state();
    EXPECT_EQ(Read(sample.thunderbirdPrefs), original.files.at(sample.thunderbirdPrefs));
    EXPECT_EQ(now.sparkRows, both.sparkRows);
    ASSERT_EQ(listed("key"), QStringList{"k-sue"});
    EXPECT_EQ(now.list[0], both.list[1]);
}

// An identity holds one signature: a second install of the same text there changes no client,
// yet it keeps a point (of the store alone), or restoring the first install would leave the
// second's record claiming what the client no longer holds.
TEST_F(QuilletRestoreCommandTest, ASecondInstallThatChangesNoClientKeepsAPointOfTheStore) {
    setSignature("k-tom", "<p>Tom</p>");
    const MachineState original = state();
    const QStringList tom{"--client", "thunderbird", "--account", "tom@example.com"};
    const QString first = install("k-tom", tom);
    const MachineState once = state();
    const QString second = install("k-tom", tom);
    const MachineState twice = state();
    EXPECT_EQ(twice.files.at(sample.thunderbirdPrefs), once.files.at(sample.thunderbirdPrefs));
    EXPECT_EQ(json({"backups"})[0]["clients"], Json::array());

    const QStringList undo = run({"restore", first});
    expectSame(state(), original);
    run({"restore", undo.value(0)});
    expectSame(state(), twice);
    run({"restore", second});
    expectSame(state(), once);
}

// The point being restored is the oldest of fifty: the restore's own point must not prune it
// while it is read, only afterwards.
TEST_F(QuilletRestoreCommandTest, RestoringTheOldestOfFiftyPointsFinishesAndPrunesItOnlyAfter) {
    setSignature("k-tom", "<p>Tom</p>");
    const QByteArray original = Read(sample.thunderbirdPrefs);
    const QString oldest =
        install("k-tom", {"--client", "thunderbird", "--account", "tom@example.com"});
    // Two hours old, with 49 later points of earlier passes that changed nothing restorable.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString manifestPath = pointFolder(oldest) + "/manifest.json";
    Json manifest = Json::parse(Read(manifestPath).toStdString());
    manifest["time"] = now.addSecs(-7200).toString(Qt::ISODateWithMs).toStdString();
    Write(manifestPath, QByteArray::fromStdString(manifest.dump()));
    for (int i = 0; i < 49; ++i) {
        const QDateTime time = now.addSecs(-3600 + i);
        const QString id = time.toString("yyyyMMdd-HHmmss");
        Write(pointFolder(id) + "/manifest.json", EmptyPointManifest(id, time));
    }
    ASSERT_EQ(pointIds().size(), 50);
    ASSERT_EQ(pointIds().last(), oldest);

    const QStringList made = run({"restore", oldest});
    EXPECT_EQ(Read(sample.thunderbirdPrefs), original);
    EXPECT_TRUE(listed("name").isEmpty());
    const QStringList kept = pointIds();
    EXPECT_EQ(kept.size(), 50);
    EXPECT_EQ(kept.value(0), made.value(0));
    EXPECT_FALSE(kept.contains(oldest)) << "pruned once the restore had finished";
}

// A Spark row whose bytes are not UTF-8 is kept as bytes: the pass goes on to the later clients,
// and restoring its point gives the row back byte for byte.
TEST_F(QuilletRestoreCommandTest, ASparkRowThatIsNotUtf8NeitherStopsThePassNorIsLostByARestore) {
    setSignature("k-team", "<p>Team</p>");
    install("k-team", {"--client", "spark", "--account", "sue@example.com"});
    install("k-team", {"--client", "thunderbird", "--account", "tom@example.com"});
    const QString quillets = listed("uuid").value(0);
    const QByteArray ordering = "[\"" + quillets.toUtf8() + "\",\"MINE\xff\xfe\"]";
    ASSERT_TRUE(ExecuteFakeSparkSql(sample.sparkSettings,
                                    "UPDATE settings SET itemValue = CAST(X'" +
                                        QString::fromLatin1(ordering.toHex()) +
                                        "' AS TEXT) WHERE itemKey = 'MetaOrderingSettingsKey';"));
    const QByteArray thunderbird = Read(sample.thunderbirdPrefs);

    setSignature("k-team", "<p>Team, renewed</p>");
    const QStringList made = run({"refresh"});
    ASSERT_EQ(made.size(), 1);
    EXPECT_TRUE(Read(sample.thunderbirdPrefs).contains("Team, renewed"));

    run({"restore", made.first()});
    EXPECT_EQ(SparkValue(sample.sparkSettings, "MetaOrderingSettingsKey").toHex(),
              ordering.toHex());
    EXPECT_EQ(Read(sample.thunderbirdPrefs), thunderbird);
}

// A point keeps what the pass changed: the entries of a large prefs.js, not a copy of it; the
// signature records of the command, not the store; never Mail's cache.
struct PointSize {
    const char* name;
    QStringList install;
    std::function<void(QuilletRestoreCommandTest&)> enlarge;
    friend void PrintTo(const PointSize& size, std::ostream* out) { *out << size.name; }
};

class APointHoldsWhatThePassChanged : public QuilletRestoreCommandTest,
                                      public testing::WithParamInterface<PointSize> {};

void PadPrefs(const QString& path) {
    QByteArray prefs = Read(path);
    for (int i = 0; i < 10000; ++i)
        prefs += "user_pref(\"extensions.padding." + QByteArray::number(i) + "\", \"" +
                 QByteArray(80, 'x') + "\");\n";
    Write(path, prefs);
}

const std::vector<PointSize> kPointSizes = {
    {"Thunderbird",
     {"--client", "thunderbird", "--account", "tom@example.com"},
     [](QuilletRestoreCommandTest& test) { PadPrefs(test.sample.thunderbirdPrefs); }},
    {"Postbox",
     {"--client", "postbox", "--account", "pat@example.com"},
     [](QuilletRestoreCommandTest& test) { PadPrefs(test.sample.postboxPrefs); }},
    {"Spark", {"--client", "spark", "--account", "sue@example.com"}, {}},
    {"AppleMail",
     {"--client", "applemail", "--account", "ann@example.com"},
     [](QuilletRestoreCommandTest& test) {
         test.mac.writeFile(FakeAppleMailFiles(test.mac).cacheFolder + "/Envelope Index",
                            QByteArray(4 << 20, 'c'));
     }},
};

TEST_P(APointHoldsWhatThePassChanged, NotWholeFilesNorTheStoreNorMailsCache) {
    // A large signature in the store (installed elsewhere) and large client files.
    const QString large = serviceFolder.path() + "/large.html";
    Write(large, "<p>" + QByteArray(1 << 20, 'l') + "</p>");
    run({"install", "--file", large, "--client", "outlook"});
    if (GetParam().enlarge)
        GetParam().enlarge(*this);

    setSignature("k-small", "<p>Small</p>");
    const QString point = install("k-small", GetParam().install);
    EXPECT_LT(FolderSize(pointFolder(point)), 32 * 1024);
}

INSTANTIATE_TEST_SUITE_P(EveryFileClient, APointHoldsWhatThePassChanged,
                         testing::ValuesIn(kPointSizes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(QuilletRestoreCommandTest, ADamagedPointIsRefusedAndAPreviewChangesNothing) {
    setSignature("k-tom", "<p>Tom</p>");
    const QString made =
        install("k-tom", {"--client", "thunderbird", "--account", "tom@example.com"});
    const QString folder = pointFolder(made);
    const MachineState installed = state();
    const QStringList points = pointIds();
    ASSERT_EQ(points.first(), made);

    const std::vector<std::pair<const char*, std::function<void()>>> damages = {
        {"a record is missing", [&] { QFile::remove(folder + "/units/1.json"); }},
        {"a record was changed",
         [&] {
             QByteArray unit = Read(folder + "/units/1.json");
             Write(folder + "/units/1.json", unit.replace("Tom", "Tim"));
         }},
        {"the manifest is not JSON", [&] { Write(folder + "/manifest.json", "{\"id\": "); }},
        {"the signatures' record is not JSON", [&] { Write(folder + "/store.json", "{"); }},
    };
    const QString whole = folder + ".whole";
    ASSERT_TRUE(QDir().rename(folder, whole));
    for (const auto& [name, damage] : damages) {
        SCOPED_TRACE(name);
        ASSERT_EQ(std::system(("cp -a '" + whole + "' '" + folder + "'").toUtf8().constData()), 0);
        damage();
        const CommandRun refused = quillet({"--yes", "restore", made});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("Restore point " + made + " is damaged or incomplete"))
            << refused.err.toStdString();
        expectSame(state(), installed);
        // No point of its own either (one whose manifest cannot be read is not listed).
        QStringList now = pointIds();
        now.removeAll(made);
        EXPECT_EQ(now, points.mid(1));
        QDir(folder).removeRecursively();
    }
    ASSERT_TRUE(QDir().rename(whole, folder));
    EXPECT_EQ(quillet({"restore", "no-such-point"}).exitCode, 1);
    EXPECT_EQ(quillet({"restore", made, "--client", "spark"}).exitCode, 1);
    const CommandRun preview = quillet({"--yes", "--dry-run", "restore", made});
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
        Write(pointFolder(id) + "/manifest.json", EmptyPointManifest(id, time));
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
    Write(pointLike + "/manifest.json", EmptyPointManifest("20200101-000000", now.addDays(-40)));
    Write(linked + "/keep.txt", "mine");
    ASSERT_TRUE(QFile::link(pointLike, pointFolder("20200101-000000")));
    ASSERT_TRUE(
        QFile::link(linked, pointFolder(now.addDays(-92).toString("yyyyMMdd-HHmmss")) + "/files"));

    setSignature("k-tom", "<p>Tom</p>");
    const QString made =
        install("k-tom", {"--client", "thunderbird", "--account", "tom@example.com"});
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
    EXPECT_EQ(Read(linked + "/keep.txt"), "mine");
    QStringList ids = kept;
    ids.sort();
    EXPECT_EQ(QDir(pointsFolder())
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name),
              ids);
}

}  // namespace
}  // namespace quillet
