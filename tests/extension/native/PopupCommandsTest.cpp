#include <gtest/gtest.h>

#include "extension/native/PopupCommands.h"
#include "platform/EventLoop.h"
#include "tests/support/DataTable.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/TestService.h"

namespace quillet::web {
namespace {

class PopupCommandsTest : public testing::Test {
protected:
    PopupCommandsTest() { createCore(service.url()); }

    // A new engine, as a new host process makes one, over what the store holds.
    void createCore(const QUrl& serviceUrl) {
        core.reset();
        Core::Options options;
        options.serviceUrl = serviceUrl;
        options.console = [](const QString&) {};
        auto created = Core::create(Environment{mac.paths(), platform.mainQueue,
                                                platform.notificationCenter, *platform.bundle},
                                    options);
        ASSERT_TRUE(created) << created.error().toStdString();
        core = std::move(*created);
    }

    // Runs the command to its answer.
    nlohmann::json run(const QString& name, const nlohmann::json& userInfo) {
        std::optional<nlohmann::json> answer;
        RunPopupCommand(*core, name, userInfo, [&](const nlohmann::json& a) { answer = a; });
        EXPECT_TRUE(RunEventLoopUntil([&] { return answer && core->isIdle(); }, 10));
        return answer.value_or(nlohmann::json());
    }

    FakeMac mac;
    TestPlatform platform{mac};
    TestService service;
    std::unique_ptr<Core> core;
};

TEST_F(PopupCommandsTest, TheFormRefusesInItsOrderAndStoresNothing) {
    service.setSignature("k", "<p>K</p>");
    const nlohmann::json good = {
        {"client", "Gmail"}, {"account", "ada@example.com"}, {"mode", "key"}, {"key", "k"}};
    for (const QStringList& row : ReadDataTable("web/popup-refusals.tsv")) {
        nlohmann::json request = good;
        request.update(nlohmann::json::parse(row[0].toStdString()));
        const nlohmann::json answer = run("AddSignature", request);
        EXPECT_EQ(answer["name"], "Refused") << request.dump();
        EXPECT_EQ(answer["userInfo"]["message"], row[1].toStdString()) << request.dump();
    }
    EXPECT_TRUE(core->signatureIds().empty());

    // A service that cannot be reached.
    createCore(QUrl("http://127.0.0.1:1"));
    EXPECT_EQ(run("AddSignature", good)["userInfo"]["message"],
              "Could not get signature by key. Please check your internet connection and try "
              "again.");
}

TEST_F(PopupCommandsTest, InstallsByKeyAndFromAFileThenSavesAndRemoves) {
    service.setSignature("k", "<p>Key</p>\n");
    const nlohmann::json byKey = run("AddSignature", {{"client", "Gmail"},
                                                      {"account", " Ada@Example.com "},
                                                      {"mode", "key"},
                                                      {"key", "k\n"},
                                                      {"insertForRepliesForwards", false}});
    ASSERT_EQ(byKey["name"], "Added") << byKey.dump();
    const nlohmann::json byFile = run(
        "AddSignature", {{"client", "All"},
                         {"mode", "file"},
                         {"fileName", "sig.html"},
                         {"fileBase64", QByteArray("<p>Fil\xC3\xA9</p>").toBase64().toStdString()},
                         {"insertForRepliesForwards", true}});
    ASSERT_EQ(byFile["name"], "Added");

    createCore(service.url());
    ASSERT_EQ(core->signatureIds().size(), 2u);
    const Signature& key = *core->signature(core->signatureIds()[0]);
    EXPECT_EQ(key.clientKindQ, ClientKind::gmail);
    EXPECT_EQ(key.accountEmailQe, "Ada@Example.com");
    EXPECT_EQ(key.keyQe, "k");
    EXPECT_EQ(key.mainTextQe, "<p>Key</p>");
    EXPECT_FALSE(key.insertForRepliesForwards);
    EXPECT_FALSE(key.insertForForwards);
    EXPECT_EQ(key.colorIndex, 12);
    EXPECT_NE(key.lastUpdateUnixTimeQz, 0);
    const Signature& file = *core->signature(core->signatureIds()[1]);
    EXPECT_EQ(file.clientKindQ, std::nullopt);
    EXPECT_EQ(file.localTextQe, QString::fromUtf8("<p>Fil\xC3\xA9</p>"));
    EXPECT_EQ(file.filePathQe, "sig.html");
    EXPECT_TRUE(file.fileNameQe.startsWith("qlt"));
    EXPECT_EQ(file.colorIndex, 0);
    EXPECT_TRUE(file.insertForRepliesForwards);

    const std::int64_t fileId = byFile["userInfo"]["id"];
    const nlohmann::json saved =
        run("SaveSignature", {{"id", fileId}, {"name", "Work\t"}, {"colorIndex", 5}});
    ASSERT_EQ(saved["name"], "Saved");
    EXPECT_EQ(saved["userInfo"]["signatures"][1]["name"], "Work");
    EXPECT_EQ(saved["userInfo"]["signatures"][1]["colorIndex"], 5);
    const nlohmann::json removed = run("RemoveSignature", {{"id", byKey["userInfo"]["id"]}});
    ASSERT_EQ(removed["name"], "Removed");
    ASSERT_EQ(removed["userInfo"]["signatures"].size(), 1u);
    EXPECT_EQ(removed["userInfo"]["signatures"][0]["id"], fileId);
    EXPECT_EQ(run("RemoveSignature", {{"id", 999}})["name"], "Refused");
}

}  // namespace
}  // namespace quillet::web
