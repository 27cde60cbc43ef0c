// What every client's sync owes the person, stated once over the sample Mac and read back
// through each client's own files: a first install writes what the client then shows, a
// deselected signature takes only Quillet's entries with it, storage that cannot be understood
// stops the sync before any write, and storage that cannot be read or written is a file-system
// error. What the client's files hold after a first install is kept under tests/data/sync.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacSpark.h"
#include "common/Log.h"
#include "platform/Plist.h"
#include "tests/support/FakeMacClient.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

const ClientKind kClients[] = {ClientKind::appleMail, ClientKind::outlook, ClientKind::postbox,
                               ClientKind::spark, ClientKind::thunderbird};

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

QString Describe(const FakeClientState& state) {
    QString text;
    for (const auto& [account, email] : state.accounts)
        text += "account " + account + ": " + email + "\n";
    for (const FakeClientSignature& signature : state.signatures) {
        text += "signature " + signature.id + " \"" + signature.name + "\" offered by [" +
                signature.offers.join(", ") + "]: " + QString::fromUtf8(signature.body) + "\n";
    }
    for (const auto& [account, id] : state.defaults)
        text += "default of " + account + ": " + id + "\n";
    return text;
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
    return text + "--- as the client shows it\n" + Describe(seen);
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
    world.signatures[1].mainTextQe =
        QString::fromUtf8("<p>\"Jane\" \\ Doe</p>\n<p>Jos\xc3\xa9</p>");
    world.signatures[1].insertForRepliesForwards = true;
    if (!client->signaturesLiveInAccounts())
        SelectAllAccounts(world.signatures.add("<p>All</p>", "All"), GetParam());
    const FileStates before = ReadFileStates(world.mac);
    const FakeClientState was = seen();

    ASSERT_EQ(world.sync(), std::nullopt);

    const FakeClientState now = seen();
    for (const auto& [account, email] : now.accounts)
        EXPECT_TRUE(now.defaults.count(account)) << email.toStdString();
    for (const FakeClientSignature& own : was.signatures) {
        if (!client->signaturesLiveInAccounts()) {
            EXPECT_NE(std::find(now.signatures.begin(), now.signatures.end(), own),
                      now.signatures.end())
                << own.id.toStdString();
        }
    }
    EXPECT_FALSE(world.saver.savedIds.empty());
    const QString changes =
        Changes(before, ReadFileStates(world.mac), now).replace(world.mac.folder(), "FAKE-MAC");
    const QString expectedPath = TestDataPath("sync/" + name + "-first-install.txt");
    if (qEnvironmentVariableIsSet("QUILLET_WRITE_TEST_DATA")) {
        QFile out(expectedPath);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(changes.toUtf8());
    }
    QFile expected(expectedPath);
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly)) << expectedPath.toStdString();
    EXPECT_EQ(changes, QString::fromUtf8(expected.readAll()));
}

TEST_P(ClientSyncTest, DeselectRemovesOnlyQuilletsEntry) {
    const FakeClientState was = seen();
    ASSERT_EQ(world.sync(), std::nullopt);
    ASSERT_NE(seen(), was);
    world.deselect();
    EXPECT_EQ(world.sync(), std::nullopt);
    EXPECT_EQ(Describe(seen()), Describe(was));
    EXPECT_FALSE(world.signatures[1].clientKindToPerformedInstallationsInfoMap.count(GetParam()));
}

// Each damaged input replaces the file of its folder's name; Spark's are rows added to its
// database.
TEST_P(ClientSyncTest, DamagedStorageIsRefusedBeforeAnyWrite) {
    const QString folder = TestDataPath("damaged/" + name);
    if (!QFileInfo::exists(folder))
        GTEST_SKIP() << "no damaged storage of " << name.toStdString();
    int cases = 0;
    QDirIterator inputs(folder, QDir::Files, QDirIterator::Subdirectories);
    while (inputs.hasNext()) {
        const QString input = inputs.next();
        SCOPED_TRACE(input.toStdString());
        world.reset(true);
        const QString target = FindFile(world.mac, QFileInfo(input).dir().dirName());
        const QByteArray damage = ReadFakeFile(input).value();
        if (target.endsWith(".sqlite"))
            ASSERT_TRUE(ExecuteFakeSparkSql(target, QString::fromUtf8(damage)));
        else
            world.mac.writeFile(target, damage);
        const FileStates before = ReadFileStates(world.mac);
        const QStringList descriptions = world.descriptions();

        EXPECT_EQ(world.sync(), (ClientSyncError{SyncFailure::badData, target}));
        EXPECT_EQ(ReadFileStates(world.mac), before);
        EXPECT_EQ(world.descriptions(), descriptions);
        EXPECT_TRUE(world.saver.savedIds.empty());
        ++cases;
    }
    EXPECT_GT(cases, 0);
}

// How a file of a client's storage fails.
enum class Way {
    folder,       // a folder in its place
    file,         // a file where the client keeps a folder
    cutShort,     // it opens, but reading stops at once (address 0 of a process is never mapped)
    unwritable,   // it reads, but lives where no file can be written
    uncreatable,  // a link to where no file can be made
    missing,
};

struct Unreadable {
    ClientKind kind;
    const char* ending;  // of the file's path
    Way way;
};

const Unreadable kUnreadable[] = {
    {ClientKind::appleMail, "AllSignatures.plist", Way::folder},
    {ClientKind::appleMail, "MailData/Signatures", Way::file},
    {ClientKind::postbox, "postbox-signatures", Way::folder},
    {ClientKind::postbox, "postbox-signatures", Way::cutShort},
    {ClientKind::postbox, "postbox-signatures", Way::uncreatable},
    {ClientKind::postbox, "m1x2.default/prefs.js", Way::folder},
    {ClientKind::postbox, "m1x2.default/prefs.js", Way::unwritable},
    {ClientKind::spark, "settings.sqlite", Way::missing},
    {ClientKind::thunderbird, "t7q1.default/prefs.js", Way::folder},
    {ClientKind::thunderbird, "t7q1.default/prefs.js", Way::cutShort},
    {ClientKind::thunderbird, "t7q1.default/prefs.js", Way::unwritable},
};

TEST_P(ClientSyncTest, UnreadableStorageIsAFileSystemError) {
    int cases = 0;
    for (const Unreadable& row : kUnreadable) {
        if (row.kind != GetParam())
            continue;
        SCOPED_TRACE(std::string(row.ending) + " " + std::to_string(static_cast<int>(row.way)));
        world.reset(true);
        const QString path = FindFile(world.mac, row.ending);
        QFile::remove(path);
        QDir(path).removeRecursively();
        switch (row.way) {
            case Way::folder:
                QDir().mkpath(path);
                break;
            case Way::file:
                world.mac.writeFile(path, "a file");
                break;
            case Way::cutShort:
                QFile::link("/proc/self/mem", path);
                break;
            case Way::unwritable:
                QFile::link("/proc/version", path);
                break;
            case Way::uncreatable:
                QFile::link("/proc/quillet-no-such-file", path);
                break;
            case Way::missing:
                break;
        }
        const FileStates before = ClientFiles(world.mac);
        const QStringList descriptions = world.descriptions();

        const auto error = world.sync();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->failure, SyncFailure::fileSystem);
        EXPECT_EQ(error->path, path);
        // A file that fails only when written may follow others written before it (the fault
        // walk checks those are whole).
        if (row.way != Way::unwritable) {
            EXPECT_EQ(ClientFiles(world.mac), before);
        }
        EXPECT_EQ(world.descriptions(), descriptions);
        EXPECT_TRUE(world.saver.savedIds.empty());
        ++cases;
    }
    if (!cases)
        GTEST_SKIP() << "the client's storage is reached through its scripts only";
}

INSTANTIATE_TEST_SUITE_P(Clients, ClientSyncTest, testing::ValuesIn(kClients),
                         [](const testing::TestParamInfo<ClientKind>& info) {
                             return StoredText(info.param).toStdString();
                         });

}  // namespace
}  // namespace quillet
