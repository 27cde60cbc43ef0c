// Two stores on one file, as the command and the application (or two commands) have: each adds,
// changes and deletes signatures and installations in turn with the other, and nothing either
// of them wrote is lost or overwritten with a value it never changed.
#include <gtest/gtest.h>

#include <QDir>

#include "tests/support/FaultySqliteVfs.h"
#include "tests/support/StoreHarness.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

// One process's view: its own store connection and the signatures it loaded or added.
class StoreUser {
public:
    explicit StoreUser(std::unique_ptr<Store> store) : _store(std::move(store)) {
        EXPECT_TRUE(_store);
        if (_store)
            std::tie(_ids, _map) = _store->LoadSignatures();
    }

    SignatureId add(const QString& name) {
        const Signature signature = StoreHarness::NamedSignature(name);
        const SignatureId id = _store->AddSignatureRecord(signature);
        _ids.push_back(id);
        _map[id] = std::make_shared<Signature>(signature);
        return id;
    }
    // Changes the named signature as the function says and saves it.
    void change(const QString& name, const std::function<void(Signature&)>& edit) {
        const SignatureId id = idOf(name);
        edit(*_map.at(id));
        _store->SaveSignatures({id}, _map);
    }
    SignatureId idOf(const QString& name) const {
        for (const auto& [id, signature] : _map) {
            if (signature->nameQe == name)
                return id;
        }
        ADD_FAILURE() << "no signature " << name.toStdString();
        return {};
    }
    Store& store() { return *_store; }

private:
    std::unique_ptr<Store> _store;
    SignatureIds _ids;
    IdToSignatureMap _map;
};

class StoreSharedFileTest : public testing::Test, protected StoreHarness {
protected:
    // What a fresh start reads, by name.
    std::map<QString, Signature> reread() {
        auto [ids, map] = open()->LoadSignatures();
        std::map<QString, Signature> byName;
        for (const SignatureId& id : ids)
            byName[map.at(id)->nameQe] = *map.at(id);
        return byName;
    }
    static void select(Signature& signature, ClientKind kind, const QString& email,
                       bool pending = false) {
        auto& info = signature.clientKindToSelectedInstallationsInfoMap[kind];
        if (email.isEmpty()) {
            info.allAccountsSelected = true;
            info.allAccountsPayloadX = SelectedInstallationPayload{pending};
        } else {
            info.accountEmailToPayloadMap[email] = {pending};
        }
    }
    static QStringList selections(const Signature& signature) {
        QStringList rows;
        for (const auto& [kind, info] : signature.clientKindToSelectedInstallationsInfoMap) {
            if (info.allAccountsSelected)
                rows << StoredText(kind) + " all";
            for (const auto& [email, payload] : info.accountEmailToPayloadMap)
                rows << StoredText(kind) + " " + email + (payload.pendingReinstallation ? "*" : "");
        }
        rows.sort();
        return rows;
    }
};

TEST_F(StoreSharedFileTest, TwoStoresOnOneFileKeepEverySignatureAndInstallationEitherWrote) {
    {
        StoreUser seed(open());
        seed.add("Shared");
        seed.change("Shared", [](Signature& s) {
            select(s, ClientKind::appleMail, "a@b.c");
            select(s, ClientKind::appleMail, "d@e.f");
            s.clientKindToPerformedInstallationsInfoMap[ClientKind::appleMail]
                .accountEmailToPayloadMap["a@b.c"] = {"ID-A", "<p>Shared</p>"};
        });
    }
    StoreUser a(open());
    StoreUser b(open());

    // New signatures on both sides: each needs a key the other has not taken.
    const SignatureId fromA = a.add("FromA");
    const SignatureId fromB = b.add("FromB");
    EXPECT_NE(fromA, fromB);
    // Different attributes of the same signature.
    a.change("Shared", [](Signature& s) { s.mainTextQe = "<p>text from A</p>"; });
    b.change("Shared", [](Signature& s) { s.keyQe = "key-from-B"; });
    // Installations of the same signature: A adds one and changes one, B adds one and removes one.
    a.change("Shared", [](Signature& s) {
        select(s, ClientKind::appleMail, "x@a.org");
        select(s, ClientKind::appleMail, "d@e.f", true);
    });
    b.change("Shared", [](Signature& s) {
        select(s, ClientKind::thunderbird, "y@b.org");
        s.clientKindToSelectedInstallationsInfoMap[ClientKind::appleMail]
            .accountEmailToPayloadMap.erase("a@b.c");
    });
    // Installations of two different signatures, each needing new installation keys.
    a.change("FromA", [](Signature& s) { select(s, ClientKind::outlook, ""); });
    b.change("FromB", [](Signature& s) {
        select(s, ClientKind::spark, "");
        s.clientKindToPerformedInstallationsInfoMap[ClientKind::spark] = {
            true, PerformedInstallationPayload{"S-B", "<p>FromB</p>"}, {}};
    });
    // Performed installations of the same signature: A records one, B changes the existing one.
    a.change("Shared", [](Signature& s) {
        s.clientKindToPerformedInstallationsInfoMap[ClientKind::appleMail]
            .accountEmailToPayloadMap["x@a.org"] = {"ID-X", "<p>x</p>"};
    });
    b.change("Shared", [](Signature& s) {
        s.clientKindToPerformedInstallationsInfoMap[ClientKind::appleMail]
            .accountEmailToPayloadMap["a@b.c"]
            .textQe = "<p>newer</p>";
    });
    // Later additions and a rename on the other side of one of them.
    const SignatureId secondFromB = b.add("SecondFromB");
    const SignatureId secondFromA = a.add("SecondFromA");
    a.change("FromA", [](Signature& s) { s.nameQe = "FromA renamed"; });

    EXPECT_TRUE(alerts.empty()) << alerts.join("\n").toStdString();
    EXPECT_FALSE(a.store().hasChanges());
    EXPECT_FALSE(b.store().hasChanges());

    const std::map<QString, Signature> stored = reread();
    ASSERT_EQ(stored.size(), 5u);
    ASSERT_TRUE(stored.count("Shared") && stored.count("FromA renamed") && stored.count("FromB") &&
                stored.count("SecondFromA") && stored.count("SecondFromB"));
    // Each side's ids name the records the file holds.
    EXPECT_EQ(b.idOf("FromB"), fromB);
    StoreUser c(open());
    for (const auto& [name, id] : std::map<QString, SignatureId>{{"FromA renamed", fromA},
                                                                 {"FromB", fromB},
                                                                 {"SecondFromA", secondFromA},
                                                                 {"SecondFromB", secondFromB}})
        EXPECT_EQ(c.idOf(name), id) << name.toStdString();

    const Signature& shared = stored.at("Shared");
    EXPECT_EQ(shared.mainTextQe, "<p>text from A</p>");
    EXPECT_EQ(shared.keyQe, "key-from-B");
    EXPECT_EQ(selections(shared),
              (QStringList{"AppleMail d@e.f*", "AppleMail x@a.org", "Thunderbird y@b.org"}));
    const auto& performed =
        shared.clientKindToPerformedInstallationsInfoMap.at(ClientKind::appleMail)
            .accountEmailToPayloadMap;
    ASSERT_EQ(performed.size(), 2u);
    EXPECT_EQ(performed.at("a@b.c").idStringQe, "ID-A");
    EXPECT_EQ(performed.at("a@b.c").textQe, "<p>newer</p>");
    EXPECT_EQ(performed.at("x@a.org").idStringQe, "ID-X");
    EXPECT_EQ(selections(stored.at("FromA renamed")), QStringList{"Outlook all"});
    EXPECT_EQ(selections(stored.at("FromB")), QStringList{"Spark all"});
    EXPECT_EQ(stored.at("FromB")
                  .clientKindToPerformedInstallationsInfoMap.at(ClientKind::spark)
                  .allAccountsPayloadX->idStringQe,
              "S-B");
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
    EXPECT_TRUE(log.containsText("Not writing signature " + removed.toString() +
                                 ", which another process deleted"));
    EXPECT_EQ(alerts, QStringList{"Could not save signatures"});  // the failed save only
}

INSTANTIATE_TEST_SUITE_P(Models, StoreDeletionTest, testing::Values("DataV2", "SafariDataV1"));

}  // namespace
}  // namespace quillet
