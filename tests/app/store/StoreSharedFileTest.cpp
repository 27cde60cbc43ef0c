// Two stores on one file, as the command and the application (or two commands) have: each adds,
// changes and deletes signatures and installations in turn with the other, and nothing either
// of them wrote is lost or overwritten with a value it never changed.
#include <gtest/gtest.h>

#include <QDir>

#include "tests/support/DataTable.h"
#include "tests/support/FaultySqliteVfs.h"
#include "tests/support/StoreHarness.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

// One process's view: its own store connection and the signatures it loaded or added.
struct StoreUser {
    explicit StoreUser(std::unique_ptr<Store> opened) : store(std::move(opened)) {
        EXPECT_TRUE(store);
        if (store)
            std::tie(ids, map) = store->LoadSignatures();
    }
    SignatureId idOf(const QString& name) const {
        for (const auto& [id, signature] : map) {
            if (signature->nameQe == name)
                return id;
        }
        ADD_FAILURE() << "no signature " << name.toStdString();
        return {};
    }
    // Plays a row of tests/data/store/two-stores.tsv (from its second column) and saves.
    SignatureId play(const QStringList& row) {
        const QString& what = row[1];
        if (what == "add") {
            const Signature signature = StoreHarness::NamedSignature(row[2]);
            const SignatureId id = store->AddSignatureRecord(signature);
            ids.push_back(id);
            map[id] = std::make_shared<Signature>(signature);
            return id;
        }
        const SignatureId id = idOf(row[2]);
        Signature& s = *map.at(id);
        const ClientKind kind =
            ClientKindFromStoredText(row.value(3)).value_or(ClientKind::outlook);
        const QString email = row.value(4);
        if (what == "text")
            s.mainTextQe = row[3];
        else if (what == "key")
            s.keyQe = row[3];
        else if (what == "rename")
            s.nameQe = row[3];
        else if (what == "unselect")
            s.clientKindToSelectedInstallationsInfoMap[kind].accountEmailToPayloadMap.erase(email);
        else if (what == "select" && email == "*")
            s.clientKindToSelectedInstallationsInfoMap[kind] = {
                true, SelectedInstallationPayload{}, {}};
        else if (what == "select")
            s.clientKindToSelectedInstallationsInfoMap[kind].accountEmailToPayloadMap[email] = {
                row.value(5) == "pending"};
        else if (what == "performed" && email == "*")
            s.clientKindToPerformedInstallationsInfoMap[kind] = {
                true, PerformedInstallationPayload{row[5], row[6]}, {}};
        else if (what == "performed")
            s.clientKindToPerformedInstallationsInfoMap[kind].accountEmailToPayloadMap[email] = {
                row[5], row[6]};
        else
            ADD_FAILURE() << "no step " << what.toStdString();
        store->SaveSignatures({id}, map);
        return id;
    }

    std::unique_ptr<Store> store;
    SignatureIds ids;
    IdToSignatureMap map;
};

class StoreSharedFileTest : public testing::Test, protected StoreHarness {};

TEST_F(StoreSharedFileTest, TwoStoresOnOneFileKeepEverySignatureAndInstallationEitherWrote) {
    std::map<QString, StoreUser> users;
    std::map<QString, SignatureId> added;  // by the name each has at the end
    for (const QStringList& row : ReadDataTable("store/two-stores.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        if (!users.count(row[0]))
            users.emplace(row[0], open());
        const SignatureId id = users.at(row[0]).play(row);
        if (row[1] == "add")
            added[row[2]] = id;
        if (row[1] == "rename")
            added[row[3]] = added.extract(row[2]).mapped();
    }
    EXPECT_TRUE(alerts.empty()) << alerts.join("\n").toStdString();
    for (const auto& [who, user] : users)
        EXPECT_FALSE(user.store->hasChanges()) << who.toStdString();
    // Each side's ids name the records the file holds, and the file holds what each wrote.
    StoreUser reader(open());
    QStringList stored;
    for (const SignatureId& id : reader.ids) {
        Signature signature = *reader.map.at(id);
        EXPECT_EQ(added[signature.nameQe], id) << signature.nameQe.toStdString();
        signature.uuidX.reset();
        stored << signature.nameQe + ": " + signature.mainTextQe + ", " + Describe(signature);
    }
    EXPECT_EQ((stored.join("\n") + "\n").toStdString(),
              ReadDataText("store/two-stores-result.txt").toStdString());
}

// A signature that one process deleted (the person removed it, or its removal finished) stays
// deleted whatever another process, holding an older copy, writes afterwards: a background
// refresh or pass must not bring it back. The writer hears of it, to forget it and to tell the
// person when the change was theirs; a change that an earlier failed save left pending goes the
// same way. Both kinds of store (the desktop's, the web-mail extension's) behave alike.
class StoreDeletionTest : public StoreSharedFileTest,
                          public testing::WithParamInterface<const char*> {
protected:
    std::unique_ptr<Store> open(const StoreOptions& options = {}) {
        return Store::openStore(
            GetParam(), dataFolder() + "/Store.sqlite",
            [this](const QString& title, const QString&) { alerts << title; }, options);
    }
    static SignatureRecord Record(const QString& name, const QString& text) {
        Signature signature = NamedSignature(name);
        signature.mainTextQe = text;
        return RecordFromSignature(signature);
    }
    static QStringList Texts(Store& store) {
        QStringList texts;
        for (const auto& [id, record] : store.LoadRecords())
            texts << record.attributes.nameQe + ": " + record.attributes.mainTextQe;
        return texts;
    }
};

TEST_P(StoreDeletionTest, ASignatureDeletedByOneProcessStaysDeletedWhateverTheOtherWrites) {
    FaultySqliteVfs disk;
    auto background = open({kStoreBusyTimeoutMilliseconds, disk.name()});
    const SignatureId removed = background->AddRecord(Record("Removed", "<p>old</p>"));
    const SignatureId kept = background->AddRecord(Record("Kept", "<p>old</p>"));
    const SignatureId pending = background->AddRecord(Record("Pending", "<p>old</p>"));
    // A change that a failed save leaves pending.
    disk.failCommits(1);
    EXPECT_FALSE(background->SaveRecord(pending, Record("Pending", "<p>unsaved</p>")));

    auto person = open();
    ASSERT_EQ(person->LoadRecords().size(), 3u);
    EXPECT_TRUE(person->RemoveRecord(removed));
    EXPECT_TRUE(person->RemoveRecord(pending));

    // The background process updates all three from its older copies.
    EXPECT_TRUE(background->SaveRecord(removed, Record("Removed", "<p>new</p>")));
    EXPECT_TRUE(background->SaveRecord(kept, Record("Kept", "<p>new</p>")));
    EXPECT_EQ(Texts(*open()), QStringList{"Kept: <p>new</p>"});
    EXPECT_EQ(Texts(*background), QStringList{"Kept: <p>new</p>"});
    const SignatureIds known = {removed, kept, pending};
    EXPECT_EQ(background->takeRecordsRemovedElsewhere(known), (SignatureIds{removed, pending}));
    EXPECT_EQ(background->takeRecordsRemovedElsewhere(known), SignatureIds{});
    EXPECT_FALSE(background->hasChanges());
    EXPECT_EQ(alerts, QStringList{"Could not save signatures"});  // the failed save only
}

INSTANTIATE_TEST_SUITE_P(Models, StoreDeletionTest, testing::Values("DataV2", "SafariDataV1"));

}  // namespace
}  // namespace quillet
