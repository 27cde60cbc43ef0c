// What every client's sync owes the person, stated once over the sample Mac and read back
// through each client's own files: a first install writes what the client then shows, a
// deselected signature takes only Quillet's entries with it, storage that cannot be understood
// stops the sync before any write, and storage that cannot be read or written is a file-system
// error. What the client's files hold after a first install is kept under tests/data/sync.
// Over the person's own signatures: Quillet's goes in over the person's default and out again,
// and the person has theirs back.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <nlohmann/json.hpp>

#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacSpark.h"
#include "common/Log.h"
#include "platform/Plist.h"
#include "tests/support/FakeMacClient.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

// The file of the fake Mac whose path ends so.
QString FindFile(const FakeMac& mac, const QString& ending) {
    QDirIterator files(mac.home(), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (path.endsWith("/" + ending))
            return path;
    }
    return "(no " + ending + ")";
}

// The files the sync changed, as they now are (property lists as XML), then the client's view.
QString Changes(const FileStates& before, const FileStates& after, const FakeClientState& seen) {
    QString text;
    for (const auto& [path, contents] : after) {
        const auto was = before.find(path);
        if (was != before.end() && was->second == contents)
            continue;
        const PlistRead plist = Plist::parse(contents);
        const bool binary = contents.startsWith("bplist") && plist;
        text += "--- " + path + "\n" + QString::fromUtf8(binary ? plist->toXml() : contents) + "\n";
    }
    for (const auto& [path, contents] : before) {
        if (!after.count(path))
            text += "--- " + path + " removed\n";
    }
    return text + "--- as the client shows it\n" + ClientStateText(seen);
}

// The files of the clients, without Quillet's own (a sync keeps the person's settings before it
// writes).
FileStates ClientFiles(const FakeMac& mac) {
    FileStates states = ReadFileStates(mac);
    std::erase_if(states, [](const auto& entry) {
        return entry.first.contains("/Application Support/Quillet/");
    });
    return states;
}

// Each file under the fake Mac by its identity and modification time: a durable write replaces
// the file (a new inode), a database commit changes its time.
std::map<QString, std::pair<ino_t, qint64>> FileIdentities(const FakeMac& mac) {
    std::map<QString, std::pair<ino_t, qint64>> identities;
    QDirIterator files(mac.home(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        struct stat file {};
        if (::stat(QFile::encodeName(path).constData(), &file) == 0) {
            identities[path] = {file.st_ino,
                                qint64(file.st_mtim.tv_sec) * 1'000'000'000 + file.st_mtim.tv_nsec};
        }
    }
    return identities;
}

class ClientSyncTest : public testing::TestWithParam<ClientKind> {
protected:
    ClientSyncTest() {
        world.replaced = ReplacedSettings{ReplacedSettingsPath(world.supportFolder)};
        world.reset(true);
    }

    FakeClientState seen() const { return client->read(); }

    SampleClientWorld world{GetParam()};
    std::unique_ptr<FakeMacClient> client = MakeFakeMacClient(world.mac, GetParam());
    QString name = StoredText(GetParam());
    LogTap log;
};

TEST_P(ClientSyncTest, FirstInstallWritesWhatTheClientReads) {
    // A text with what each client's files must escape, one signature for each account by name
    // (made each account's default), one for all accounts (nobody's default).
    world.store.signatures[1].mainTextQe =
        QString::fromUtf8("<p>\"Jane\" \\ Doe</p>\n<p>Jos\xc3\xa9</p>");
    world.store.signatures[1].insertForRepliesForwards = true;
    if (!client->signaturesLiveInAccounts())
        SelectAllAccounts(world.store.signatures.add("<p>All</p>", "All"), GetParam());
    const FileStates before = ReadFileStates(world.mac);

    ASSERT_EQ(world.sync(), std::nullopt);

    // What the client shows ends the text: every account's default, and the person's own
    // signatures beside Quillet's.
    EXPECT_FALSE(world.store.saver.savedIds.empty());
    const QString changes =
        Changes(before, ReadFileStates(world.mac), seen()).replace(world.mac.folder(), "FAKE-MAC");
    EXPECT_EQ(changes, ReadDataText("sync/" + name + "-first-install.txt"));

    // Nothing left to change: no file is replaced, no row rewritten (Spark would carry a
    // rewritten row to every device of the person).
    const auto identities = FileIdentities(world.mac);
    ASSERT_EQ(world.sync(), std::nullopt);
    EXPECT_EQ(FileIdentities(world.mac), identities);
}

// The rows of tests/data/sync/unreadable.tsv, then each damaged input under tests/data/damaged:
// it replaces the file of its folder's name (Spark's are rows added to its database), which the
// sync must refuse to understand.
TEST_P(ClientSyncTest, StorageThatCannotBeReadOrUnderstoodFailsTheSyncBeforeAnyWrite) {
    std::vector<QStringList> rows = ReadDataTable("sync/unreadable.tsv");
    QDirIterator inputs(DataPath("damaged/" + name), QDir::Files, QDirIterator::Subdirectories);
    while (inputs.hasNext()) {
        const QString input = inputs.next();
        rows.push_back({name, QFileInfo(input).dir().dirName(), input});
    }
    int cases = 0;
    for (const QStringList& row : rows) {
        if (row[0] != name)
            continue;
        SCOPED_TRACE(row.join(' ').toStdString());
        world.reset(true);
        const QString path = FindFile(world.mac, row[1]);
        const QString& way = row[2];
        const bool damaged = way.startsWith('/');
        if (damaged && path.endsWith(".sqlite")) {
            ASSERT_TRUE(ExecuteFakeSparkSql(path, QString::fromUtf8(*ReadFakeFile(way))));
        } else if (damaged) {
            world.mac.writeFile(path, ReadFakeFile(way).value());
        } else {
            QFile::remove(path);
            QDir(path).removeRecursively();
        }
        if (way == "folder")
            QDir().mkpath(path);
        else if (way == "file")
            world.mac.writeFile(path, "a file");
        else if (way != "missing" && !damaged)
            QFile::link(way == "cut-short"    ? "/proc/self/mem"
                        : way == "unwritable" ? "/proc/version"
                                              : "/proc/quillet-no-such-file",
                        path);
        // A sync keeps the person's settings before it writes a client's files, and storage it
        // can read but not understand stops it before even that.
        const auto files = damaged ? ReadFileStates : ClientFiles;
        const FileStates before = files(world.mac);
        const QStringList descriptions = world.store.signatures.descriptions();

        const auto error = world.sync();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->failure, damaged ? SyncFailure::badData : SyncFailure::fileSystem);
        EXPECT_EQ(error->path, path);
        // A file that fails only when written may follow others written before it (the fault
        // walk checks those are whole).
        if (way != "unwritable") {
            EXPECT_EQ(files(world.mac), before);
        }
        EXPECT_EQ(world.store.signatures.descriptions(), descriptions);
        EXPECT_TRUE(world.store.saver.savedIds.empty());
        ++cases;
    }
    if (!cases)
        GTEST_SKIP() << "the client's storage is reached through its scripts only";
}

INSTANTIATE_TEST_SUITE_P(Clients, ClientSyncTest, testing::ValuesIn(kSampleMacClients), ClientName);

// The sample Mac's client whose first account uses the person's own "Own" by default; the
// person also has "Other". Signature 1 is Quillet's, selected for the first account.
class PersonsOwnSignaturesTest : public ClientSyncTest {
public:
    void start() {
        world.reset(true);
        world.accounts = accounts;
        log.clear();
        world.store = StoreRows(kind);
        world.store.signatures.add("<p>Quillet</p>", "Quillet");
        SelectAccounts(quillet(), kind, {email});
        for (const auto& [key, address] : client->read().accounts) {
            if (address == email)
                account = key;
        }
        mine = own("Own");
        other = own("Other");
        client->replaceSignature(std::nullopt, mine);
        client->setDefault(account, defaultOf(mine));
        if (!client->signaturesLiveInAccounts())
            client->replaceSignature(std::nullopt, other);
        before = ClientStateText(seen());
    }

    // The person's signature of that name, as the client keeps it.
    FakeClientSignature own(const QString& name) const {
        const QString uuid = name == "Own" ? "AAAAAAAA-0000-0000-0000-00000000000A"
                                           : "AAAAAAAA-0000-0000-0000-00000000000B";
        const QString id = client->signaturesLiveInAccounts() ? account
                           : kind == ClientKind::outlook      ? name
                                                              : uuid;
        return {id, name, "<p>" + name.toUtf8() + "</p>", {account}};
    }
    QString defaultOf(const FakeClientSignature& signature) const {
        return kind == ClientKind::outlook ? signature.id + "|" + signature.id : signature.id;
    }
    Signature& quillet() { return world.store.signatures[1]; }

    // The person's view of the account's default: "Own", "Other", "Quillet", or "-" (none); or
    // the text that the client holds for it.
    QString chosen(bool text = false) const {
        const FakeClientState state = client->read();
        const auto found = state.defaults.find(account);
        const QString id = found == state.defaults.end() ? "" : found->second.section('|', 0, 0);
        for (const FakeClientSignature& signature : state.signatures) {
            if (signature.id != id || id.isEmpty())
                continue;
            return text                           ? QString::fromUtf8(signature.body)
                   : signature.body == mine.body  ? "Own"
                   : signature.body == other.body ? "Other"
                                                  : "Quillet";
        }
        return id.isEmpty() || id == "None" ? "-" : "?" + id;
    }

    // Plays a row of tests/data/sync/persons (see the README there).
    void apply(const QStringList& row) {
        const QString& what = row[0];
        const QString cell = row.value(1).replace("{first}", email);
        if (what == "sync") {
            EXPECT_EQ(world.sync() ? "failed" : "ok", cell);
        } else if (what == "chosen") {
            EXPECT_EQ(chosen(), cell);
        } else if (what == "as-before") {
            EXPECT_EQ(ClientStateText(seen()), before);
        } else if (what == "quillet-for") {
            SelectAccounts(quillet(), kind,
                           cell == "first" ? QStringList{email} : world.emails().mid(1),
                           row.value(2) == "pending");
        } else if (what == "kept-nothing") {
            EXPECT_EQ(nlohmann::json::parse(ReadFakeFile(ReplacedSettingsPath(world.supportFolder))
                                                .value_or("")
                                                .toStdString()),
                      nlohmann::json::array());
        } else if (what == "discovery-lost") {
            world.accounts.accounts.clear();
            world.accounts.status = AccountsInfoStatus::discoveryFailed;
        } else if (what == "own-deleted") {
            client->replaceSignature(mine, std::nullopt);
        } else if (what == "support-folder-blocked") {
            // A file where the support folder should be: the person's default cannot be kept.
            QDir().mkpath(QFileInfo(world.supportFolder).path());
            world.mac.writeFile(world.supportFolder, "");
        } else if (what == "kept-locked") {
            // A folder where the kept settings' lock should be: they cannot be changed.
            const QString lock = ReplacedSettingsPath(world.supportFolder) + ".lock";
            QFile::remove(lock);
            EXPECT_TRUE(cell == "yes" ? QDir().mkpath(lock) : QDir(lock).removeRecursively());
        } else if (what == "log") {
            EXPECT_TRUE(log.containsText(cell)) << cell.toStdString();
        } else if (what == "account-given") {
            // The account's identity is now someone else's, who picks "Other".
            client->setAccount(account, cell);
            if (client->signaturesLiveInAccounts())
                client->replaceSignature(mine, other);
            else
                client->setDefault(account, defaultOf(other));
        } else if (what == "account-back") {
            client->setAccount(client->accountKey(cell.toInt()), email);
        } else if (what == "account-is") {
            account = client->accountKey(cell.toInt());
        } else if (what == "text-is") {
            EXPECT_EQ(chosen(true), UnescapedCell(row.value(1)));
            EXPECT_EQ(quillet()
                          .clientKindToPerformedInstallationsInfoMap.at(kind)
                          .accountEmailToPayloadMap.at(email)
                          .textQe,
                      UnescapedCell(row.value(2)));
        } else if (what == "pending") {
            EXPECT_EQ(quillet()
                          .clientKindToSelectedInstallationsInfoMap.at(kind)
                          .accountEmailToPayloadMap.at(email)
                          .pendingReinstallation,
                      cell == "yes");
        } else {
            ADD_FAILURE() << "no such row: " << what.toStdString();
        }
    }

    const ClientKind kind = GetParam();
    const QString email = world.emails().value(0);
    const AccountsInfo accounts = world.accounts;  // as discovery reported them
    QString account, before;
    FakeClientSignature mine, other;
    StoreRows& store = world.store;
};

// Each story is played for the clients its case names.
TEST_P(PersonsOwnSignaturesTest, EveryStoryEndsAsItsRowsSay) {
    PlayStories<PersonsOwnSignaturesTest>(
        "sync/persons", [this](const QString& clients) -> PersonsOwnSignaturesTest* {
            if (clients != "*" && !clients.split(',').contains(name))
                return nullptr;
            start();
            return this;
        });
}

INSTANTIATE_TEST_SUITE_P(Clients, PersonsOwnSignaturesTest, testing::ValuesIn(kSampleMacClients),
                         ClientName);

}  // namespace
}  // namespace quillet
