// The web-mail host's engine over a fake Mac's home, asking a test service: what the popup's
// commands store, and what a page's request for signatures is answered with.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "extension/native/ExtensionHandler.h"
#include "extension/native/PopupCommands.h"
#include "extension/native/WebCore.h"
#include "platform/EventLoop.h"
#include "tests/support/DataTable.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/TestService.h"

namespace quillet::web {
namespace {

using nlohmann::json;

class WebCoreTest : public testing::Test {
protected:
    WebCoreTest() { createCore(); }

    // A new engine, as a new host process makes one, over what the store holds.
    void createCore(const QUrl& serviceUrl = {}) {
        core.reset();
        Core::Options options;
        options.serviceUrl = serviceUrl.isEmpty() ? service.url() : serviceUrl;
        options.console = [this](const QString& line) { logLines << line; };
        auto created = Core::create(Environment{mac.paths(), platform.mainQueue,
                                                platform.notificationCenter, *platform.bundle},
                                    options);
        ASSERT_TRUE(created) << created.error().toStdString();
        core = std::move(*created);
        ASSERT_TRUE(RunEventLoopUntil([this] { return core->isIdle(); }, 10));
    }

    // Runs the popup's command to its answer.
    json run(const QString& name, const json& userInfo) {
        std::optional<json> answer;
        RunPopupCommand(*core, name, userInfo, [&](const json& given) { answer = given; });
        EXPECT_TRUE(RunEventLoopUntil([&] { return answer && core->isIdle(); }, 10));
        return answer.value_or(json());
    }

    FakeMac mac;
    TestPlatform platform{mac};
    TestService service;
    QStringList logLines;
    std::unique_ptr<Core> core;
};

// A page's malformed requests are logged and get no answer; a key the service cannot be asked for
// is refused and stores nothing.
TEST_F(WebCoreTest, MalformedRequestsGetNoAnswerAndAnUnreachableServiceStoresNothing) {
    ExtensionHandler handler(*core);
    for (const QStringList& row : ReadDataTable("extension/malformed-requests.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        logLines.clear();
        const auto userInfo = json::parse(row[1].toStdString(), nullptr, false);
        EXPECT_FALSE(handler.messageReceived(row[0], row[1] == "none" ? nullptr : &userInfo));
        if (row.value(2).isEmpty()) {
            EXPECT_TRUE(logLines.filter("GetSignatures").isEmpty());
        } else {
            ASSERT_EQ(logLines.size(), 1);
            EXPECT_TRUE(logLines[0].endsWith(row[2])) << logLines[0].toStdString();
        }
    }
    // A well-formed request with the longest token is answered, token unchanged.
    const json longest = {{"client", "Gmail"}, {"callbackToken", std::string(128, 'x')}};
    const auto answer = handler.messageReceived("GetSignatures", &longest);
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)["name"], "message");
    EXPECT_EQ((*answer)["userInfo"]["callbackToken"], longest["callbackToken"]);

    const json good = {
        {"client", "Gmail"}, {"account", "ada@example.com"}, {"mode", "key"}, {"key", "k"}};
    createCore(QUrl("http://127.0.0.1:1"));  // a service that cannot be reached
    EXPECT_EQ(run("AddSignature", good)["userInfo"]["message"],
              "Could not get signature by key. Please check your internet connection and try "
              "again.");
    EXPECT_TRUE(core->signatureIds().empty());
}

// The popup installs by key and from a file, saves and removes, and its form refuses first, with
// its message, storing nothing (commands and answers in tests/data/extension/popup-signatures.json;
// "/w==" is the byte 0xFF), as a new engine reads it back. Each client's page gets its own and the
// unassigned active signatures in store order, as stored, from an engine loaded before another (a
// second host process) stored them: switched-off and deleted records are left out, and a record
// whose client text is not exactly a stored text is for no client in particular. A refresh keeps
// what another engine saved meanwhile.
TEST_F(WebCoreTest, ThePopupsSignaturesAreStoredAndEachClientGetsItsOwnAndTheUnassigned) {
    service.setSignature("k", "<p>Key</p>\n");
    const json expected =
        json::parse(ReadDataText("extension/popup-signatures.json").toStdString());
    std::unique_ptr<Core> first = std::move(core);
    ExtensionHandler handler(*first);
    createCore();
    for (const json& step : expected["commands"]) {
        const json answer = run(QString::fromStdString(step[0].get<std::string>()), step[1]);
        EXPECT_EQ(answer["name"], step[2]) << step.dump();
        if (step.size() > 3) {
            EXPECT_EQ(answer["userInfo"]["message"], step[3]) << step.dump();
        }
    }
    const SignatureId off{3};
    core->signature(off)->active = false;
    ASSERT_TRUE(core->saveSignature(off));
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(core->storePath().toUtf8().constData(), &database), SQLITE_OK);
    QuerySqliteRows(database,
                    "UPDATE ZSAFARISIGNATUREENTITYV1 SET ZCLIENTQE = 'gmail' WHERE "
                    "ZLOCALTEXTQE = '<p>Mixed case</p>'");
    sqlite3_close(database);

    createCore();
    EXPECT_EQ(run("ListSignatures", json::object())["userInfo"]["signatures"], expected["popup"]);
    service.setSignature("k", "<p>New</p>");
    for (const char* client : {"Gmail", "Yahoo"}) {
        const json request = {{"client", client}, {"callbackToken", "t"}};
        EXPECT_EQ((*handler.messageReceived("GetSignatures", &request))["userInfo"]["signatures"],
                  expected[client]);
    }
    EXPECT_FALSE(core->signature(core->signatureIds()[0])->insertForForwards);
    EXPECT_TRUE(core->signature(core->signatureIds()[1])->fileNameQe.startsWith("qlt"));

    // The first engine refreshes what it loaded; the second renames its record meanwhile.
    first->refreshFromServer();
    const SignatureId keyed = core->signatureIds().front();
    core->signature(keyed)->nameQe = "Renamed";
    ASSERT_TRUE(core->saveSignature(keyed));
    ASSERT_TRUE(RunEventLoopUntil([&] { return core->isIdle() && first->isIdle(); }, 10));
    createCore();
    EXPECT_EQ(core->signature(keyed)->mainTextQe, "<p>New</p>");
    EXPECT_EQ(core->signature(keyed)->nameQe, "Renamed");
}

}  // namespace
}  // namespace quillet::web
