// What every client sync owes the person's own signatures, client by client through the files
// the client keeps: Quillet's signature goes in over the person's default and out again, and the
// person has theirs back; text reaches every client without what the client cannot carry.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "common/Log.h"
#include "tests/support/FakeMacClient.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

const QString kQuilletText = "<p>Quillet</p>";

// The sample Mac's client whose first account uses the person's own "Own" by default; the
// person also has "Other". Signature 1 is Quillet's, selected for the first account.
class PersonsOwnSignaturesTest : public testing::TestWithParam<ClientKind> {
protected:
    PersonsOwnSignaturesTest() {
        world.replaced = ReplacedSettings{ReplacedSettingsPath(world.supportFolder)};
        world.signatures = TestSignatures();
        world.signatures.add(kQuilletText, "Quillet");
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
    Signature& quillet() { return world.signatures[1]; }

    // The person's view of the account's default: "Own", "Other", "Quillet", or "" (none).
    QString seen() const {
        const FakeClientState state = client->read();
        const auto chosen = state.defaults.find(account);
        const QString id = chosen == state.defaults.end() ? "" : chosen->second.section('|', 0, 0);
        for (const FakeClientSignature& signature : state.signatures) {
            if (signature.id == id && !id.isEmpty())
                return signature.body == mine.body    ? "Own"
                       : signature.body == other.body ? "Other"
                                                      : "Quillet";
        }
        return id.isEmpty() || id == "None" ? "" : "?" + id;
    }
    // Everything the person sees of the client.
    QString settings() const {
        const FakeClientState state = client->read();
        QString text;
        for (const FakeClientSignature& signature : state.signatures) {
            text += signature.id + " " + signature.name + " " + signature.offers.join(",") + ": " +
                    QString::fromUtf8(signature.body) + "\n";
        }
        for (const auto& [key, id] : state.defaults)
            text += key + " -> " + id + "\n";
        return text;
    }
    // The text of the account's default as the client holds it.
    QString defaultText() const {
        const FakeClientState state = client->read();
        for (const FakeClientSignature& signature : state.signatures) {
            if (state.defaults.count(account) &&
                signature.id == state.defaults.at(account).section('|', 0, 0))
                return QString::fromUtf8(signature.body);
        }
        return "(none)";
    }
    void personPicksOther() const {
        if (client->signaturesLiveInAccounts())
            client->replaceSignature(mine, other);
        else
            client->setDefault(account, defaultOf(other));
    }

    const ClientKind kind = GetParam();
    SampleClientWorld world{kind};
    std::unique_ptr<FakeMacClient> client = MakeFakeMacClient(world.mac, kind);
    const QString email = world.emails().value(0);
    QString account;
    FakeClientSignature mine, other;
    LogTap log;
};

TEST_P(PersonsOwnSignaturesTest, UninstallGivesBackThePersonsPreviousSignature) {
    const QString before = settings();
    ASSERT_FALSE(world.sync());
    ASSERT_EQ(seen(), "Quillet");
    // A second pass finds Quillet's own signature there: what it keeps stays the person's.
    quillet().mainTextQe = "<p>Quillet, updated</p>";
    ASSERT_FALSE(world.sync());

    quillet().pendingDeletion = true;
    EXPECT_FALSE(world.sync());
    EXPECT_EQ(seen(), "Own");
    EXPECT_EQ(settings(), before);

    // Once given back, nothing of it is kept.
    EXPECT_FALSE(world.sync());
    EXPECT_EQ(settings(), before);
    QFile kept(ReplacedSettingsPath(world.supportFolder));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(nlohmann::json::parse(kept.readAll().toStdString()), nlohmann::json::array());
}

// Quillet's signature leaves an account not only on uninstall: deselected for it, or switched off
// on the service, it leaves the same way and the person has theirs back.
TEST_P(PersonsOwnSignaturesTest, ThePersonsSignatureComesBackWheneverQuilletsLeaves) {
    const QString before = settings();
    ASSERT_FALSE(world.sync());
    ASSERT_EQ(seen(), "Quillet");
    SelectAccounts(quillet(), kind, world.emails().mid(1));
    EXPECT_FALSE(world.sync());
    EXPECT_EQ(seen(), "Own");

    SelectAccounts(quillet(), kind, {email});
    ASSERT_FALSE(world.sync());
    ASSERT_EQ(seen(), "Quillet");
    quillet().active = false;
    EXPECT_FALSE(world.sync());
    EXPECT_EQ(seen(), "Own");
    EXPECT_EQ(settings(), before);
}

TEST_P(PersonsOwnSignaturesTest, APersonsChoiceMadeSinceTheInstallStays) {
    ASSERT_FALSE(world.sync());
    personPicksOther();
    quillet().pendingDeletion = true;
    EXPECT_FALSE(world.sync());
    EXPECT_EQ(seen(), "Other");
}

TEST_P(PersonsOwnSignaturesTest, ASignatureThePersonDeletedMeanwhileIsNotPutBack) {
    if (client->signaturesLiveInAccounts())
        GTEST_SKIP() << "the client's default is a text of its own";
    ASSERT_FALSE(world.sync());
    client->replaceSignature(mine, std::nullopt);
    quillet().pendingDeletion = true;
    EXPECT_FALSE(world.sync());
    EXPECT_EQ(seen(), "");
}

TEST_P(PersonsOwnSignaturesTest, ADefaultThatCannotBeKeptIsNotReplaced) {
    // A file where the support folder should be: the person's default cannot be kept.
    QDir().mkpath(QFileInfo(world.supportFolder).path());
    QFile(world.supportFolder).open(QIODevice::WriteOnly);
    const QString before = settings();
    const QStringList records = world.descriptions();

    EXPECT_TRUE(world.sync());
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(world.descriptions(), records);
    EXPECT_TRUE(log.containsText(": Could not keep the replaced signature settings: "));
}

TEST_P(PersonsOwnSignaturesTest, TextReachesTheClientWithoutCharactersNoClientCanCarry) {
    quillet().mainTextQe = QString("<p>a") + QChar(0) + "b\x01\x0b" + QChar(0xFFFF) +
                           QChar(0xD800) + "c\t\r\n" + QString::fromUtf8("\xF0\x9F\x98\x80") +
                           "</p>";
    ASSERT_FALSE(world.sync());
    const QString carried =
        QString("<p>abc\t\r\n") + QString::fromUtf8("\xF0\x9F\x98\x80") + "</p>";
    // Apple Mail's signature file is seven-bit: what is beyond ASCII is a character reference.
    EXPECT_EQ(defaultText(), kind == ClientKind::appleMail ? "<p>abc\t\r\n&#128512;</p>" : carried);
    // What was written is what is recorded, so the next pass finds it in place.
    const auto& performed = quillet().clientKindToPerformedInstallationsInfoMap.at(kind);
    EXPECT_EQ(performed.accountEmailToPayloadMap.at(email).textQe, carried);
}

// Thunderbird and Postbox tie an account to the identity number discovery found; the file may
// have moved on since (the person replaced the account), and the identity with that number may
// now be someone else's.
TEST_P(PersonsOwnSignaturesTest, ARefreshNeverWritesIntoAnIdentityThatNowBelongsToSomeoneElse) {
    if (kind != ClientKind::thunderbird && kind != ClientKind::postbox)
        GTEST_SKIP() << "the client knows its accounts by more than a number";
    ASSERT_FALSE(world.sync());
    ASSERT_EQ(seen(), "Quillet");
    // The person replaced the account: its identity is now new@x.org's, with its own signature.
    client->setAccount(account, "new@x.org");
    personPicksOther();
    quillet().mainTextQe = "<p>Quillet, updated</p>";
    SelectAccounts(quillet(), kind, {email}, true);

    EXPECT_FALSE(world.sync());
    EXPECT_EQ(seen(), "Other");
    EXPECT_TRUE(log.containsText(": Not writing " + email + ": no identity of "));
    // Not written, so still waiting to be.
    EXPECT_TRUE(quillet()
                    .clientKindToSelectedInstallationsInfoMap.at(kind)
                    .accountEmailToPayloadMap.at(email)
                    .pendingReinstallation);
    EXPECT_FALSE(quillet().clientKindToPerformedInstallationsInfoMap.count(kind));

    // The account is back as identity 3: the next pass writes it there, and only there.
    client->setAccount(client->accountKey(3), email);
    EXPECT_FALSE(world.sync());
    EXPECT_EQ(seen(), "Other");
    account = client->accountKey(3);
    EXPECT_EQ(seen(), "Quillet");
    EXPECT_FALSE(quillet()
                     .clientKindToSelectedInstallationsInfoMap.at(kind)
                     .accountEmailToPayloadMap.at(email)
                     .pendingReinstallation);
}

INSTANTIATE_TEST_SUITE_P(Clients, PersonsOwnSignaturesTest,
                         testing::Values(ClientKind::appleMail, ClientKind::outlook,
                                         ClientKind::postbox, ClientKind::spark,
                                         ClientKind::thunderbird),
                         [](const testing::TestParamInfo<ClientKind>& info) {
                             return StoredText(info.param).toStdString();
                         });

}  // namespace
}  // namespace quillet
