#include <gtest/gtest.h>
#include <sqlite3.h>

#include "extension/native/ExtensionHandler.h"
#include "extension/native/WebCore.h"
#include "platform/EventLoop.h"
#include "tests/support/DataTable.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/TestService.h"

namespace quillet::web {
namespace {

// The extension's engine over a fake Mac's home, asking a test service, with its log lines kept.
class ExtensionHandlerTest : public testing::Test {
protected:
    Core& createCore() {
        core.reset();
        Core::Options options;
        options.serviceUrl = service.url();
        options.console = [this](const QString& line) { logLines << line; };
        auto created = Core::create(Environment{mac.paths(), platform.mainQueue,
                                                platform.notificationCenter, *platform.bundle},
                                    options);
        EXPECT_TRUE(created) << created.error().toStdString();
        core = std::move(*created);
        return *core;
    }

    void waitUntilIdle() {
        ASSERT_TRUE(RunEventLoopUntil([this] { return core->isIdle(); }, 10));
    }

    SignatureId add(std::optional<ClientKind> client, const QString& account, const QString& key,
                    const QString& mainText, const QString& localText = {}) {
        const SignatureId id = core->addSignature();
        waitUntilIdle();
        Signature& signature = *core->signature(id);
        signature.clientKindQ = client;
        signature.accountEmailQe = account;
        signature.keyQe = key;
        signature.mainTextQe = mainText;
        signature.localTextQe = localText;
        signature.insertForRepliesForwards = !account.isEmpty();
        EXPECT_TRUE(core->saveSignature(id));
        waitUntilIdle();
        return id;
    }

    std::optional<nlohmann::json> ask(ExtensionHandler& handler, const nlohmann::json& userInfo) {
        return handler.messageReceived("GetSignatures", &userInfo);
    }

    // The "html" texts of an answer, in order.
    static QStringList Htmls(const nlohmann::json& answer) {
        QStringList htmls;
        for (const auto& entry : answer["userInfo"]["signatures"])
            htmls << QString::fromStdString(entry["html"].get<std::string>());
        return htmls;
    }

    FakeMac mac;
    TestPlatform platform{mac};
    TestService service;
    QStringList logLines;
    std::unique_ptr<Core> core;
};

TEST_F(ExtensionHandlerTest, MalformedRequestsAreLoggedAndGetNoAnswer) {
    createCore();
    ExtensionHandler handler(*core);
    waitUntilIdle();
    for (const QStringList& row : ReadDataTable("web/malformed-requests.tsv")) {
        logLines.clear();
        const auto userInfo = nlohmann::json::parse(row[1].toStdString(), nullptr, false);
        const auto answer = handler.messageReceived(row[0], row[1] == "none" ? nullptr : &userInfo);
        EXPECT_FALSE(answer) << row.join(' ').toStdString();
        if (row.value(2).isEmpty()) {
            EXPECT_TRUE(logLines.filter("GetSignatures").isEmpty());
        } else {
            ASSERT_EQ(logLines.size(), 1) << row.join(' ').toStdString();
            EXPECT_TRUE(logLines[0].endsWith(row[2])) << logLines[0].toStdString();
        }
    }
    // A well-formed request with the longest token is answered, token unchanged.
    const std::string token(128, 'x');
    const auto answer = ask(handler, {{"client", "Gmail"}, {"callbackToken", token}});
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)["name"], "message");
    EXPECT_EQ((*answer)["userInfo"]["callbackToken"], token);
    EXPECT_TRUE((*answer)["userInfo"]["signatures"].empty());
}

// Switched-off and deleted records are left out; a record whose client text is not exactly a
// stored text is for no client in particular.
TEST_F(ExtensionHandlerTest, EachClientGetsItsOwnAndTheUnassignedActiveSignaturesInStoreOrder) {
    service.setSignature("every", "<p>Every</p>");
    service.setSignature("yahoo", "<p>Yahoo</p>");
    createCore();
    add(std::nullopt, "", "every", "<p>Every</p>");
    add(ClientKind::yahoo, "me@yahoo.com", "yahoo", "<p>Yahoo</p>");
    const SignatureId off = add(std::nullopt, "", "", "", "<p>Off</p>");
    const SignatureId deleted = add(std::nullopt, "", "", "", "<p>Deleted</p>");
    add(ClientKind::gmail, "", "", "", "<p>Mixed case</p>");
    core->signature(off)->active = false;
    core->saveSignature(off);
    core->signature(deleted)->pendingDeletion = true;
    core->saveSignature(deleted);
    waitUntilIdle();
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(core->storePath().toUtf8().constData(), &database), SQLITE_OK);
    QuerySqliteRows(database,
                    "UPDATE ZSAFARISIGNATUREENTITYV1 SET ZCLIENTQE = 'gmail' WHERE "
                    "ZLOCALTEXTQE = '<p>Mixed case</p>'");
    sqlite3_close(database);

    createCore();
    EXPECT_EQ(core->visibleSignatureIds().size(), 4u);
    ExtensionHandler handler(*core);
    waitUntilIdle();
    const auto gmail = ask(handler, {{"client", "Gmail"}, {"callbackToken", "g"}});
    ASSERT_TRUE(gmail);
    EXPECT_EQ(Htmls(*gmail), QStringList({"<p>Every</p>", "<p>Mixed case</p>"}));
    const auto yahoo = ask(handler, {{"client", "Yahoo"}, {"callbackToken", "y"}});
    ASSERT_TRUE(yahoo);
    EXPECT_EQ(Htmls(*yahoo), QStringList({"<p>Every</p>", "<p>Yahoo</p>", "<p>Mixed case</p>"}));
    const nlohmann::json expected = {
        {"account", "me@yahoo.com"}, {"html", "<p>Yahoo</p>"}, {"insertForRepliesForwards", true}};
    EXPECT_EQ((*yahoo)["userInfo"]["signatures"][1], expected);
    EXPECT_EQ((*yahoo)["userInfo"]["callbackToken"], "y");
}

TEST_F(ExtensionHandlerTest, AnAnswerCarriesWhatAnotherProcessStoredSinceAndARefreshKeepsIt) {
    service.setSignature("k", "<p>Old</p>");
    createCore();
    ExtensionHandler handler(*core);
    waitUntilIdle();

    // A second engine on the same file stands for a second host process.
    std::unique_ptr<Core> first = std::move(core);
    createCore();
    add(ClientKind::gmail, "", "k", "<p>Old</p>");
    std::unique_ptr<Core> second = std::move(core);
    core = std::move(first);

    service.setSignature("k", "<p>New</p>");
    const auto answer = ask(handler, {{"client", "Gmail"}, {"callbackToken", "t"}});
    ASSERT_TRUE(answer);
    EXPECT_EQ(Htmls(*answer), QStringList({"<p>Old</p>"}));
    // The first engine refreshes what it loaded; the second renames its record meanwhile.
    core->refreshFromServer();
    second->signature(second->signatureIds().front())->nameQe = "Renamed";
    second->saveSignature(second->signatureIds().front());
    waitUntilIdle();
    ASSERT_TRUE(RunEventLoopUntil([&] { return second->isIdle(); }, 10));

    createCore();
    const Signature& stored = *core->signature(core->signatureIds().front());
    EXPECT_EQ(stored.mainTextQe, "<p>New</p>");
    EXPECT_EQ(stored.nameQe, "Renamed");
}

}  // namespace
}  // namespace quillet::web
