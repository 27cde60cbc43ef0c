#pragma once
// Signatures, accounts and a recording store for the tests of the client syncs.

#include <gtest/gtest.h>

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/base/AppleScript.h"
#include "app/clients/sync/OutlookDefaults.h"
#include "app/clients/sync/SyncPlan.h"
#include "app/demo/FakeMac.h"
#include "common/Accounts.h"
#include "common/Signature.h"
#include "tests/support/DataTable.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/TestPlatform.h"

namespace quillet {

// The store's side of a sync: the signatures of every save it was asked for.
class RecordingSignatureSaver : public SignatureSaver {
public:
    void saveSignatures(const SignatureIds& ids, const IdToSignatureMap& map) override;

    std::vector<SignatureIds> savedIds;
};

// The signatures of a test store, numbered from 1 in the engine's order.
class TestSignatures {
public:
    // A new active signature with that service text; its uuid is TestUuidText(number).
    Signature& add(const QString& mainText, const QString& name = {});
    Signature& operator[](int number) { return *_map.at(SignatureId{number}); }

    const SignatureIds& ids() const { return _ids; }
    const IdToSignatureMap& map() const { return _map; }
    // Every signature's description, in order: what a failed sync must leave unchanged.
    QStringList descriptions() const;

private:
    SignatureIds _ids;
    IdToSignatureMap _map;
};

// "00000000-0000-0000-0000-0000000000NN": the canonical uuid text of test signature NN.
QString TestUuidText(int number);

// Selects the signature for those accounts of the client (replacing an earlier selection).
void SelectAccounts(Signature& signature, ClientKind kind, const QStringList& emails,
                    bool pendingReinstallation = false);
void SelectAllAccounts(Signature& signature, ClientKind kind, bool pendingReinstallation = false);
// Records the signature as installed for that account (or all accounts, for an empty email).
void RecordInstalled(Signature& signature, ClientKind kind, const QString& email,
                     const QString& idString, const QString& text);

// Mozilla accounts "EMAIL" with identity numbers 1, 2, ... in order.
AccountsInfo MozillaAccountsInfo(
    const QStringList& emails, AccountsInfoStatus status = AccountsInfoStatus::discoverySucceeded);
// The accounts' emails, in order.
QStringList Emails(const Accounts& accounts);
// Discovered accounts of the client as the accounts cache gives them: each "email|key=value|...",
// with the fields of the client's entries in the cache.
AccountsInfo CachedAccountsInfo(ClientKind kind, const QStringList& accounts);

// The rows of a story of a client's sync that concern Quillet's signatures, the same for every
// client (tests/data/sync/README.md).
class StoreRows {
public:
    explicit StoreRows(ClientKind kind) : _kind(kind) {}
    // False when the row is none of these.
    bool apply(const QStringList& row);

    TestSignatures signatures;
    RecordingSignatureSaver saver;

private:
    ClientKind _kind;
    QString _remembered;
};

// One client sync's world: a fake Mac, the client as detected, its accounts, Quillet's store
// and the file of the person's replaced settings.
struct SyncWorld {
    explicit SyncWorld(ClientKind kind,
                       ClientInfo client = {"/Applications/Client.app", "1.0", "1"})
        : clientInfo(std::move(client)), store(kind) {}
    SyncInputs inputs() { return inputs(clientInfo); }
    SyncInputs inputs(const ClientInfo& client) {
        return SyncInputs{client,      accounts,    store.signatures.ids(), store.signatures.map(),
                          store.saver, mac.paths(), DirectClientWrites(),   replaced};
    }

    FakeMac mac;
    ClientInfo clientInfo;
    AccountsInfo accounts;
    StoreRows store;
    QString supportFolder = mac.homePath("Library/Application Support/Quillet");
    ReplacedSettings replaced{ReplacedSettingsPath(supportFolder)};
};

// How a client's sync failed, in the same words for every client.
enum class SyncFailure { fileSystem, fileSystemCloud, badData, script };

struct ClientSyncError {
    SyncFailure failure;
    QString path;  // the file concerned; empty where the client names none (Outlook)
    FileFailureCause cause = FileFailureCause::other;
};

// Path (relative to the fake Mac) -> contents, for every file a sync may touch. Spark's
// database counts by its rows, without the times at which they were written.
using FileStates = std::map<QString, QByteArray>;
FileStates ReadFileStates(const FakeMac& mac);

// The Mac clients whose syncs the tests run over the sample Mac, and a case's name for each.
inline constexpr ClientKind kSampleMacClients[] = {ClientKind::appleMail, ClientKind::outlook,
                                                   ClientKind::postbox, ClientKind::spark,
                                                   ClientKind::thunderbird};
std::string ClientName(const testing::TestParamInfo<ClientKind>& info);

// The sample Mac with one client's sync at hand: the client as detected, its sample accounts,
// and one signature of Quillet's. The person's replaced settings are kept nowhere, unless a test
// keeps them.
class SampleClientWorld : public SyncWorld {
public:
    explicit SampleClientWorld(ClientKind kind);

    // Back to the sample Mac as built, with one new signature selected for all accounts, or for
    // each account by name (always in Thunderbird, which keeps no signature for all accounts).
    void reset(bool eachAccount = false);
    std::optional<ClientSyncError> sync();
    QStringList emails() const { return Emails(accounts.accounts); }

    const ClientKind kind;
    QTemporaryDir template_;
    ClientInfoMap clients;
    TestPlatform platform{mac};
    AppleScriptRunner runner{mac.paths(), *platform.bundle};
    OutlookSyncEnvironment outlook{runner, *platform.bundle, std::chrono::milliseconds(0)};
};

// A text in a row of tests/data: "\n", "\t", "\r" and "\0" stand for a line feed, a tab, a
// carriage return and a NUL, "\uXXXX" for that code unit.
QString UnescapedCell(QString text);
// The row with each "uuidN" in it replaced by TestUuidText(N).
QStringList WithTestUuids(QStringList row);

// Plays every story under tests/data/<folder>: a `case` row (its name, then the clients it is
// for) has `start` give the world that plays the rows after it; no world leaves the case out.
template <class World>
void PlayStories(const QString& folder, const std::function<World*(const QString&)>& start) {
    const QStringList files = QDir(DataPath(folder)).entryList({"*.tsv"}, QDir::Files, QDir::Name);
    EXPECT_FALSE(files.isEmpty());
    for (const QString& file : files) {
        World* world = nullptr;
        QString story;
        for (const QStringList& row : ReadDataTable(folder + "/" + file)) {
            if (row[0] == "case") {
                world = start(row.value(2));
                story = row.value(1);
            } else if (world) {
                SCOPED_TRACE((file + ": " + story + ": " + row.join(' ')).toStdString());
                const QStringList played = WithTestUuids(row);
                if (!world->store.apply(played))
                    world->apply(played);
            }
        }
    }
}

// The same, each case on a new World made for the clients it is for.
template <class World>
void PlayStories(const QString& folder) {
    std::unique_ptr<World> world;
    PlayStories<World>(folder, [&world](const QString& clients) {
        world = std::make_unique<World>(clients);
        return world.get();
    });
}

}  // namespace quillet
