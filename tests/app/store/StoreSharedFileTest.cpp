// Stores on one file, as the command and the application (or two commands) have: each adds,
// changes and deletes signatures and installations in turn with the others, and nothing any of
// them wrote is lost or overwritten with a value it never changed. A signature one of them
// deleted stays deleted whatever another, holding an older copy, writes afterwards: a background
// refresh or pass must not bring it back.
#include <gtest/gtest.h>

#include "tests/support/DataTable.h"
#include "tests/support/FaultySqliteVfs.h"
#include "tests/support/StoreHarness.h"

namespace quillet {
namespace {

// One process's view: its own store connection and the signatures it loaded or added.
struct StoreUser {
    explicit StoreUser(std::unique_ptr<Store> opened) : store(std::move(opened)) {
        EXPECT_TRUE(store);
        if (store)
            std::tie(ids, map) = LoadedSignatures(*store);
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
        if (what == "load") {
            std::tie(ids, map) = LoadedSignatures(*store);
            return {};
        }
        if (what == "add") {
            const Signature signature = StoreHarness::NamedSignature(row[2]);
            const SignatureId id = store->AddSignatureRecord(signature);
            ids.push_back(id);
            map[id] = std::make_shared<Signature>(signature);
            return id;
        }
        const SignatureId id = idOf(row[2]);
        if (what == "remove") {
            EXPECT_TRUE(store->RemoveRecord(id));
            map.erase(id);
            ids.erase(std::find(ids.begin(), ids.end(), id));
            return id;
        }
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
        else if (what == "finish")
            s.pendingDeletion = true;
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

TEST_F(StoreSharedFileTest, StoresOnOneFileKeepWhatEachWroteAndWhatOneDeletedStaysDeleted) {
    FaultySqliteVfs disk;
    std::map<QString, StoreUser> users;
    for (const QStringList& row : ReadDataTable("store/two-stores.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        if (!users.count(row[0]))
            users.emplace(row[0], open({kStoreBusyTimeoutMilliseconds, disk.name()}));
        StoreUser& user = users.at(row[0]);
        if (row[1] == "sql") {
            sql(row[2]);
            continue;
        }
        if (row[1] == "fail") {
            disk.failCommits(row[2].toInt());
            continue;
        }
        if (row[1] == "gone") {
            QStringList names;
            for (const SignatureId& id : user.store->takeRecordsRemovedElsewhere(user.ids))
                names << user.map.at(id)->nameQe;
            EXPECT_EQ(names.join(", "), row.mid(2).join(", "));
            continue;
        }
        const SignatureId id = user.play(row);
        if (row[1] == "add" && row.size() > 3) {
            EXPECT_EQ(id.value, row[3].toLongLong());
        }
    }
    EXPECT_EQ(alerts, QStringList(3, "Could not save signatures / disk I/O error"));
    for (const auto& [who, user] : users)
        EXPECT_FALSE(user.store->hasChanges()) << who.toStdString();
    // The file holds what each wrote, under the ids the adds gave.
    StoreUser reader(open());
    QStringList stored;
    for (const SignatureId& id : reader.ids) {
        Signature signature = *reader.map.at(id);
        signature.uuidX.reset();
        stored << id.toString() + " " + signature.nameQe + ": " + signature.mainTextQe + ", " +
                      Describe(signature);
    }
    EXPECT_EQ((stored.join("\n") + "\n").toStdString(),
              ReadDataText("store/two-stores-result.txt").toStdString());
}

}  // namespace
}  // namespace quillet
