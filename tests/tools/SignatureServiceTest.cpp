// The reference signature service over real loopback HTTP, with a real folder of signatures.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "tools/signature-service/SignatureService.h"

namespace quillet {
namespace {

class SignatureServiceTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(_temporary.isValid());
        std::filesystem::create_directories(folder);
        service = std::make_unique<SignatureService>(
            SignatureServiceOptions{folder, "127.0.0.1", 0, [this](const std::string& line) {
                                        std::lock_guard guard(_lock);
                                        _logLines.push_back(line);
                                    }});
        ASSERT_TRUE(service->start()) << service->error();
    }

    void writeFile(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    void writeSignature(const std::string& key, const std::string& text) {
        writeFile(folder / (key + ".html"), text);
    }

    // Sends the target exactly as written, escapes and all.
    httplib::Result get(const std::string& target) {
        httplib::Client client("127.0.0.1", service->port());
        client.set_url_encode(false);
        return client.Get(target);
    }
    nlohmann::json signatures(const std::string& rawKeys) {
        auto result = get("/node/api/v1/signature?keys=" + rawKeys);
        EXPECT_TRUE(result);
        if (!result)
            return {};
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->get_header_value("Content-Type"), "application/json; charset=utf-8");
        return nlohmann::json::parse(result->body);
    }
    // The service logs a request after it has answered it, so a line may still be on its way.
    std::vector<std::string> logLines(size_t expected) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard guard(_lock);
                if (_logLines.size() >= expected)
                    return _logLines;
            }
            std::this_thread::yield();
        }
        std::lock_guard guard(_lock);
        return _logLines;
    }

    // Declared before the service, which logs into them until it has stopped.
    std::mutex _lock;
    std::vector<std::string> _logLines;
    QTemporaryDir _temporary;
    std::filesystem::path root = _temporary.path().toStdString();
    std::filesystem::path folder = root / "signatures";
    std::unique_ptr<SignatureService> service;
};

TEST_F(SignatureServiceTest, AnswersTheKeysWhoseFilesExistWithTheirText) {
    writeSignature("alpha", "<p>Alpha</p>\n");
    writeSignature("beta", "<p>Beta</p>");

    const nlohmann::json answer = signatures("alpha,missing,beta");

    EXPECT_EQ(answer, nlohmann::json({{"alpha", "<p>Alpha</p>\n"}, {"beta", "<p>Beta</p>"}}));
    EXPECT_EQ(signatures(""), nlohmann::json::object());
    auto noQuery = get("/node/api/v1/signature");
    ASSERT_TRUE(noQuery);
    EXPECT_EQ(noQuery->body, "{}");
}

TEST_F(SignatureServiceTest, SplitsKeysAtLiteralCommasBeforeDecodingThem) {
    writeSignature("c,d", "comma");
    writeSignature("a+b", "plus");
    writeSignature("a b", "space");
    writeSignature("x?y", "question");
    writeSignature("\xC3\xA9", "accent");

    EXPECT_EQ(
        signatures("c%2Cd,a%2Bb,x%3Fy,%C3%A9"),
        nlohmann::json(
            {{"c,d", "comma"}, {"a+b", "plus"}, {"x?y", "question"}, {"\xC3\xA9", "accent"}}));
    // An unencoded "+" is a space, as in any query.
    EXPECT_EQ(signatures("a+b"), nlohmann::json({{"a b", "space"}}));
    EXPECT_EQ(signatures("c,d"), nlohmann::json::object());
}

TEST_F(SignatureServiceTest, AnswersOneKeyWithItsHtmlOrNotFound) {
    writeSignature("alpha", "  <p>Alpha</p>\n");
    writeSignature("x?y", "question");

    auto found = get("/node/api/v1/signature/key/alpha");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->status, 200);
    EXPECT_EQ(found->body, "  <p>Alpha</p>\n");
    EXPECT_EQ(found->get_header_value("Content-Type"), "text/html; charset=utf-8");

    auto encoded = get("/node/api/v1/signature/key/x%3Fy");
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->body, "question");

    for (const char* target : {"/node/api/v1/signature/key/missing", "/node/api/v1/signature/key/",
                               "/node/api/v1/signature/key/x"}) {
        auto missing = get(target);
        ASSERT_TRUE(missing) << target;
        EXPECT_EQ(missing->status, 404) << target;
    }
}

TEST_F(SignatureServiceTest, ServesAChangedFileAtOnce) {
    writeSignature("alpha", "old");
    EXPECT_EQ(signatures("alpha"), nlohmann::json({{"alpha", "old"}}));

    writeSignature("alpha", "new");

    EXPECT_EQ(signatures("alpha"), nlohmann::json({{"alpha", "new"}}));
    EXPECT_EQ(get("/node/api/v1/signature/key/alpha")->body, "new");
}

// No key may name a file outside the folder, however it is spelled.
TEST_F(SignatureServiceTest, KeysThatCouldLeaveTheFolderAreUnknown) {
    writeFile(root / "secret.html", "secret");
    std::filesystem::create_directories(folder / "sub");
    writeFile(folder / "sub" / "inner.html", "inner");
    std::filesystem::create_directories(folder / "folder.html");  // a folder, not a file
    writeFile(folder / "nul", "nul");                             // what "nul\0.html" would open

    std::string absolute = (root / "secret").string();
    for (auto at = absolute.find('/'); at != std::string::npos; at = absolute.find('/', at))
        absolute.replace(at, 1, "%2F");
    for (const std::string& raw :
         {std::string("..%2Fsecret"), std::string("%2E%2E%2Fsecret"), std::string("sub%2Finner"),
          std::string(".."), std::string("folder"), std::string("nul%00"), absolute}) {
        auto key = get("/node/api/v1/signature/key/" + raw);
        ASSERT_TRUE(key) << raw;
        EXPECT_EQ(key->status, 404) << raw;
        EXPECT_EQ(signatures(raw), nlohmann::json::object()) << raw;
    }
    EXPECT_FALSE(SignatureFilePath(folder, "a/b"));
    EXPECT_FALSE(SignatureFilePath(folder, "a..b"));
    EXPECT_FALSE(SignatureFilePath(folder, std::string("a\0b", 3)));
    EXPECT_FALSE(SignatureFilePath(folder, ""));
    EXPECT_EQ(SignatureFilePath(folder, "a.b"), folder / "a.b.html");
}

TEST_F(SignatureServiceTest, ATextThatIsNotUtf8IsServedWithItsBadBytesReplaced) {
    writeSignature("alpha", "<p>\xC3\x28</p>");
    writeSignature("beta", "fine");

    const nlohmann::json answer = signatures("alpha,beta");

    EXPECT_EQ(answer.at("alpha"), "<p>\xEF\xBF\xBD(</p>");
    EXPECT_EQ(answer.at("beta"), "fine");
}

TEST_F(SignatureServiceTest, LogsOneLinePerRequest) {
    writeSignature("alpha", "A");

    get("/node/api/v1/signature?keys=alpha,c%2Cd");
    get("/node/api/v1/signature/key/missing");
    get("/elsewhere");

    // Each line is written once its answer has gone, so their order may differ from the requests'.
    std::vector<std::string> lines = logLines(3);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "127.0.0.1 \"GET /elsewhere\" 404 0",
                         "127.0.0.1 \"GET /node/api/v1/signature/key/missing\" 404 22",
                         "127.0.0.1 \"GET /node/api/v1/signature?keys=alpha,c%2Cd\" 200 13"}));
}

TEST_F(SignatureServiceTest, PortZeroPicksAFreePortAndATakenPortIsRefused) {
    EXPECT_GT(service->port(), 0);
    EXPECT_EQ(service->baseUrl(), "http://127.0.0.1:" + std::to_string(service->port()));

    SignatureService second({folder, "127.0.0.1", 0, [](const std::string&) {}});
    ASSERT_TRUE(second.start());
    EXPECT_NE(second.port(), service->port());

    SignatureService clash({folder, "127.0.0.1", service->port(), [](const std::string&) {}});
    EXPECT_FALSE(clash.start());
    EXPECT_NE(clash.error().find(std::to_string(service->port())), std::string::npos);
}

TEST_F(SignatureServiceTest, StopsServingWhenStopped) {
    const int port = service->port();
    service->stop();
    service->stop();

    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(1);
    EXPECT_FALSE(client.Get("/node/api/v1/signature?keys=alpha"));
}

TEST(SignatureServiceQueryTest, DecodesEscapesAndLeavesMalformedOnesAlone) {
    EXPECT_EQ(PercentDecode("a%2Cb%zz%4", false), "a,b%zz%4");
    EXPECT_EQ(PercentDecode("a+b", false), "a+b");
    EXPECT_EQ(PercentDecode("a+b", true), "a b");
    EXPECT_EQ(KeysFromQuery("other=1&keys=a,b%2Cc&x"), (std::vector<std::string>{"a", "b,c"}));
    EXPECT_TRUE(KeysFromQuery("keys=").empty());
}

}  // namespace
}  // namespace quillet
