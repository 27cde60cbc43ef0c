#include <gtest/gtest.h>

#include <QProcess>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <QDirIterator>
#include <QTemporaryDir>
#include <csignal>

#include "app/demo/FakeMacDatabase.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "platform/EventLoop.h"
#include "platform/ProcessTable.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/DataTable.h"
#include "tests/support/FakeMacClient.h"
#include "tests/support/FakeMacManaged.h"
#include "tests/support/FakeMacScripts.h"
#include "tests/support/MachineSnapshot.h"
#include "tests/support/SampleMacCommand.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

// The stories of tests/data/cli/stories.tsv by name, each its rows in order.
std::map<QString, std::vector<QStringList>> Stories() {
    std::map<QString, std::vector<QStringList>> stories;
    QString story;
    for (const QStringList& row : ReadDataTable("cli/stories.tsv")) {
        if (row.value(0) == "story")
            story = row.value(1);
        else
            stories[story].push_back(row);
    }
    stories.erase(QString());
    return stories;
}

std::vector<std::string> StoryNames() {
    std::vector<std::string> names;
    for (const auto& [name, rows] : Stories())
        names.push_back(name.toStdString());
    return names;
}

// Plays a story over the sample Mac; the heading of tests/data/cli/stories.tsv tells its steps.
class QuilletCommandStory : public testing::TestWithParam<std::string>, public SampleMacCommand {
protected:
    QString expand(QString text) const {
        const std::pair<const char*, QString> places[] = {
            {"{home}", mac.home()},
            {"{root}", mac.root()},
            {"{data}", dataPath("")},
            {"{service}", serviceFolder.path()},
            {"{managed}", ManagedConfigurationFile(mac, ManagedScope::machine)},
            {"{thunderbird-prefs}", sample.thunderbirdPrefs},
            {"{postbox-signatures}", sample.postboxSignatures},
            {"{spark-settings}", sample.sparkSettings},
            {"{apple-mail-own}", sample.appleMailOwnSignatureFile}};
        for (const auto& [place, path] : places)
            text.replace(place, path);
        for (const auto& [name, id] : _points)
            text.replace("{" + name + "}", id);
        return text.replace("\\n", "\n").replace("\\t", "\t");
    }

    std::unique_ptr<FakeMacClient> client(const QString& name) const {
        return MakeFakeMacClient(mac, ClientKindFromStoredText(name).value());
    }

    // The machine's files and the signatures listed (no path), the scripts run, each client as
    // the person sees it, the last run's output, or a file's bytes.
    FolderFiles snapshot(const QString& path) const {
        if (path == "(output)")
            return {{path, _last.out.toUtf8()}};
        if (path == "(scripts)")
            return {{path, mac.osascriptRuns().join(' ').toUtf8()}};
        if (path == "(clients)") {
            FolderFiles clients;
            for (const ClientKind kind : kAllClientKinds) {
                if (const auto client = MakeFakeMacClient(mac, kind))
                    clients[StoredText(kind)] = ClientStateText(client->read()).toUtf8();
            }
            return clients;
        }
        if (!path.isEmpty())
            return {{path, read(path)}};
        FolderFiles files = machineFiles();
        files["(list)"] = QByteArray::fromStdString(json({"list", "--all"}).dump());
        return files;
    }

    void writeManaged(const QStringList& entries) {
        Plist list = Plist::array();
        Plist configuration = Plist::dictionary();
        for (const QString& entry : entries) {
            const QStringList words = entry.split(' ');
            const auto flag = [&](int i) -> std::optional<bool> {
                return words.size() > i ? std::optional(words[i] == "true") : std::nullopt;
            };
            if (entry == "organisation's service") {
                configuration.node().set("ServiceURL",
                                         Plist::string(_organisation.url().toString()));
            } else if (entry == "no own signatures") {
                configuration.node().set("AllowUserSignatures", Plist::boolean(false));
            } else {
                list.node().append(
                    ManagedEntryPlist(words[0], words.value(1), words.value(2), flag(3), flag(4)));
            }
        }
        configuration.node().set("ManagedSignatures", std::move(list));
        WriteManagedConfiguration(mac, configuration);
    }

    void play(QStringList row) {
        for (QString& column : row)
            column = expand(column);
        const QString step = row.takeFirst(), a = row.value(0), b = row.value(1);
        const std::string output = (_last.out + "\n" + _last.err).toStdString();
        const auto value = [&] {
            const auto json = nlohmann::json::parse(_last.out.toStdString(), nullptr, false);
            const nlohmann::json::json_pointer field(a.toStdString());
            return json.contains(field) ? json.at(field) : nlohmann::json("(absent)");
        };
        const auto holding = [&] {
            return SignaturesHolding(mac, ClientKindFromStoredText(a).value(), b);
        };
        if (step == "serve") {
            (row.value(2) == "organisation" ? _organisation : static_cast<TestService&>(*this))
                .setSignature(a, b);
        } else if (step == "fail-updates") {
            failUpdates(a.toInt(), b);
        } else if (step == "stop-service") {
            stop();
        } else if (step == "run") {
            _last = quillet(row.mid(1));
            EXPECT_EQ(_last.exitCode, a.toInt()) << (_last.out + _last.err).toStdString();
        } else if (step == "says" || step == "not-says") {
            const int count = (_last.out + _last.err).count(a);
            EXPECT_TRUE(b.isEmpty() ? (count > 0) == (step == "says") : count == b.toInt())
                << output;
        } else if (step == "prints") {
            EXPECT_EQ(_last.out, a) << output;
        } else if (step == "field") {
            EXPECT_EQ(value(), nlohmann::json::parse(b.toStdString(), nullptr, false)) << output;
        } else if (step == "size") {
            EXPECT_EQ(value().size(), b.toULongLong()) << output;
        } else if (step == "holds") {
            EXPECT_TRUE(holding() > 0 && (row.size() < 3 || holding() == row[2].toInt()));
        } else if (step == "lacks") {
            EXPECT_EQ(holding(), 0);
        } else if (step == "signatures") {
            QStringList now;
            for (const FakeClientSignature& signature : client(a)->read().signatures)
                now << signature.name << QString::fromUtf8(signature.body);
            EXPECT_EQ(now, row.mid(1)) << now.join('|').toStdString();
        } else if (step == "installed") {
            client(a)->setInstalled(b == "yes");
        } else if (step == "file" || step == "file-lacks") {
            EXPECT_EQ(read(a).contains(b.toUtf8()), step == "file") << read(a).toStdString();
        } else if (step == "write") {
            mac.writeFile(a, b.toUtf8());
        } else if (step == "pad") {
            mac.writeFile(a, ReadFakeFile(a).value_or("") + b.toUtf8().repeated(row[2].toInt()));
        } else if (step == "small") {
            qint64 size = 0;
            for (const auto& [path, bytes] : ReadFolderFiles(a))
                size += bytes.size();
            EXPECT_LT(size, b.toLongLong()) << a.toStdString();
        } else if (step == "remove") {
            EXPECT_TRUE(QFileInfo(a).isDir() ? QDir(a).removeRecursively() : QFile::remove(a));
        } else if (step == "move") {
            EXPECT_TRUE(QDir().rename(a, b));
        } else if (step == "folder") {
            EXPECT_TRUE(QDir().mkpath(a));
        } else if (step == "sql") {
            EXPECT_TRUE(ExecuteFakeDatabaseSql(a, b));
        } else if (step == "running") {
            mac.setRunning(row);
        } else if (step == "workspace") {
            EXPECT_EQ(mac.workspaceLog(), row);
        } else if (step == "script") {
            mac.setScriptResult(a, "", row.value(2), b.toInt());
        } else if (step == "outlook-fails") {
            FailFakeOutlookScript(mac, a);
        } else if (step == "managed") {
            writeManaged(row);
        } else if (step == "logged") {
            EXPECT_EQ(log().count(a), b.toInt());
        } else if (step == "edit") {
            const QByteArray before = read(a);
            EXPECT_TRUE(before.contains(b.toUtf8())) << before.toStdString();
            mac.writeFile(a, b.isEmpty()
                                 ? before + row.value(2).toUtf8()
                                 : QByteArray(before).replace(b.toUtf8(), row.value(2).toUtf8()));
        } else if (step == "json-set") {
            auto held = nlohmann::json::parse(read(a).toStdString());
            held[nlohmann::json::json_pointer(b.toStdString())] =
                nlohmann::json::parse(row.value(2).toStdString());
            mac.writeFile(a, QByteArray::fromStdString(held.dump(2)));
        } else if (step == "read") {
            _last = {0, read(a), {}};
        } else if (step == "query") {
            _last = {0, {}, {}};
            for (const auto& columns : QueryFakeDatabase(a, b).value_or(FakeDatabaseRows()))
                _last.out += QString::fromLatin1(columns.at(0).toHex()) + "\n";
        } else if (step == "point") {
            const auto points = json({"backups"});
            const QString id = QString::fromStdString(
                points.empty() ? std::string() : points[0]["id"].get<std::string>());
            for (const auto& [name, earlier] : _points)
                EXPECT_NE(id, earlier) << name.toStdString();
            _points[a] = id;
        } else if (step == "remember") {
            _kept[a + b] = snapshot(a);
        } else if (step == "unchanged") {
            FolderFiles& kept = _kept[a + b];
            const FolderFiles now = snapshot(a);
            EXPECT_EQ(now.size(), kept.size());
            for (const auto& [path, bytes] : now)
                EXPECT_EQ(bytes, kept[path]) << path.toStdString();
        } else {
            ADD_FAILURE() << "no step " << step.toStdString();
        }
    }

    CommandRun _last{0, {}, {}};
    std::map<QString, FolderFiles> _kept;
    std::map<QString, QString> _points;
    TestService _organisation;
};

TEST_P(QuilletCommandStory, Plays) {
    const auto stories = Stories();
    for (const QStringList& row : stories.at(QString::fromStdString(GetParam()))) {
        SCOPED_TRACE(row.join(' ').toStdString());
        play(row);
    }
}

INSTANTIATE_TEST_SUITE_P(Stories, QuilletCommandStory, testing::ValuesIn(StoryNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

class QuilletCommandTest : public testing::Test, public SampleMacCommand {};

TEST_F(QuilletCommandTest, RunEndsOnTermOrIntWhileAScriptHangsAndLeavesNoScriptBehind) {
    const QString listing = "AppleMail-ListAccounts-1012Plus";
    const QString data = mac.homePath("Library/Application Support/Quillet/");
    // Apple Mail runs and was used with us before, so run discovers it at start.
    mac.setRunning({"com.apple.mail"});
    setSignature("k1", "<p>one</p>");
    install({"--key", "k1", "--client", "thunderbird", "--account", "tom@example.com"});
    ASSERT_EQ(quillet({"accounts", "--discover", "AppleMail"}).exitCode, 0);
    const QByteArray cacheBefore = ReadFakeFile(data + "CachedAccounts.plist").value_or("");
    const QByteArray storeBefore = ReadFakeFile(data + "DataV2.sqlite").value_or("");
    ASSERT_FALSE(cacheBefore.isEmpty());
    // Its listing now hangs, as behind a modal dialog or an unanswered Automation prompt.
    SetFakeScriptHang(mac, listing, 600);
    failUpdates(503);

    for (const int signal : {SIGTERM, SIGINT}) {
        QFile::remove(mac.rootPath("/var/fake-mac/osascript/" + listing + "/pid"));
        const auto started = start({"run"});
        QProcess& process = *started;
        ASSERT_TRUE(process.waitForStarted());
        ASSERT_TRUE(
            RunEventLoopUntil([&] { return FakeScriptProcessId(mac, listing).has_value(); }, 30));
        const qint64 scriptPid = *FakeScriptProcessId(mac, listing);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        // Far sooner than the ten minutes the script would hang.
        const bool ended = process.waitForFinished(20000);
        EXPECT_TRUE(ended) << signal;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_FALSE(ProcessIsAlive(scriptPid)) << signal;
        if (!ended || ProcessIsAlive(scriptPid)) {
            ::kill(static_cast<pid_t>(scriptPid), SIGKILL);  // leave no stand-in hanging
            return;
        }
        // An interrupted discovery is a failed one: the cache keeps the last good list.
        EXPECT_EQ(ReadFakeFile(data + "CachedAccounts.plist"), cacheBefore);
        EXPECT_EQ(ReadFakeFile(data + "DataV2.sqlite"), storeBefore);
    }
}

// The store, the accounts cache, the activity record, the person's replaced signatures and their
// folder hold signatures and account addresses: their owner's alone, whatever the umask.
TEST_F(QuilletCommandTest, QuilletsOwnFilesAreItsOwnersAlone) {
    const QString prefs = sample.thunderbirdPrefs;
    ASSERT_EQ(::chmod(QFile::encodeName(prefs).constData(), 0640), 0);
    const mode_t previous = ::umask(0);
    // Over Tim's own signature, which Quillet replaces and keeps to give back.
    setSignature("k1", "<p>old</p>");
    install({"--key", "k1", "--client", "thunderbird", "--account", "tim@example.com"});
    setSignature("k1", "<p>new</p>");
    const CommandRun accounts = quillet({"accounts", "--discover", "Thunderbird"});
    const CommandRun refresh = quillet({"refresh"});
    QTemporaryDir linuxHome;  // a Linux desktop with no ~/Library yet
    const CommandRun linux =
        RunQuillet({"--platform", "linux", "--home", linuxHome.path(), "--bundle", mac.bundlePath(),
                    "--service", url().toString(), "list"});
    ::umask(previous);
    ASSERT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    ASSERT_EQ(accounts.exitCode, 0) << accounts.err.toStdString();

    const QString data = mac.homePath("Library/Application Support/Quillet");
    EXPECT_EQ(FileMode(data), 0700u);
    QStringList files;
    for (const QString& name : QDir(data).entryList(QDir::Files | QDir::Hidden)) {
        files << name;
        EXPECT_EQ(FileMode(data + "/" + name), 0600u) << name.toStdString();
    }
    for (const char* name : {"DataV2.sqlite", "CachedAccounts.plist", "Activity.json",
                             "ReplacedSignatureSettings.json"})
        EXPECT_TRUE(files.contains(name)) << files.join(", ").toStdString();
    // The restore point the refresh made keeps the store and the 0640 prefs.js: 0600 copies.
    EXPECT_EQ(FileMode(data + "/Restore Points"), 0700u);
    int kept = 0;
    for (QDirIterator entry(data + "/Restore Points", QDir::AllEntries | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
         entry.hasNext(); ++kept) {
        const QString path = entry.next();
        EXPECT_EQ(FileMode(path), entry.fileInfo().isDir() ? 0700u : 0600u) << path.toStdString();
    }
    EXPECT_GE(kept, 4);  // the point's folder, its manifest, the store's and prefs.js's copies
    // Another program's file keeps its own permissions.
    EXPECT_TRUE(read(prefs).contains("<p>new</p>")) << read(prefs).toStdString();
    EXPECT_EQ(FileMode(prefs), 0640u);
    EXPECT_EQ(linux.exitCode, 0) << linux.err.toStdString();
    for (const char* folder :
         {"/Library", "/Library/Application Support", "/Library/Application Support/Quillet"}) {
        EXPECT_EQ(FileMode(linuxHome.path() + folder), 0700u) << folder;
    }
}

}  // namespace
}  // namespace quillet
