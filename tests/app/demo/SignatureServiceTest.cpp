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

#include "app/demo/service/SignatureService.h"

namespace quillet {
namespace {

using nlohmann::json;
using namespace nlohmann::literals;
const std::string kHtml = "text/html; charset=utf-8";
const std::string kJson = "application/json; charset=utf-8";

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

    // Writes "<key>.html" for each member of the object.
    void write(const json& files) {
        for (const auto& [key, text] : files.items())
            std::ofstream(folder / (key + ".html"), std::ios::binary) << text.get<std::string>();
    }

    // Sends the target exactly as written, escapes and all; the status and the body.
    std::pair<int, std::string> get(const std::string& target, const std::string& type = kHtml) {
        httplib::Client client("127.0.0.1", service->port());
        client.set_url_encode(false);
        const auto result = client.Get(target);
        if (!result)
            return {0, ""};
        if (result->status == 200) {
            EXPECT_EQ(result->get_header_value("Content-Type"), type) << target;
        }
        return {result->status, result->body};
    }
    json signatures(const std::string& rawKeys) {
        const auto [status, body] = get("/node/api/v1/signature?keys=" + rawKeys, kJson);
        EXPECT_EQ(status, 200) << rawKeys;
        return json::parse(body, nullptr, /*allow_exceptions=*/false);
    }

    // Declared before the service, which logs into them until it has stopped.
    std::mutex _lock;
    std::vector<std::string> _logLines;
    QTemporaryDir _temporary;
    std::filesystem::path root = _temporary.path().toStdString();
    std::filesystem::path folder = root / "signatures";
    std::unique_ptr<SignatureService> service;
};

// Keys are split at the literal commas and then decoded, so that "%2C" is a comma inside a key
// and an unencoded "+" a space, as in any query; a malformed escape stays as it is.
TEST_F(SignatureServiceTest,
       AnswersTheKeysWhoseFilesExistWithTheirCurrentTextAndOneKeyWithItsHtml) {
    write(R"({"alpha": "<p>Alpha</p>\n", "c,d": "comma", "a+b": "plus", "a b": "space",
              "x?y": "question", "é": "accent", "%zz%4": "odd"})"_json);
    std::ofstream(folder / "bad.html") << "<p>\xC3\x28</p>";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"alpha,missing,c%2Cd,a%2Bb,x%3Fy,%C3%A9",
         R"({"alpha": "<p>Alpha</p>\n", "c,d": "comma", "a+b": "plus", "x?y": "question",
             "é": "accent"})"},
        {"a+b", R"({"a b": "space"})"},
        {"c,d", "{}"},
        {"", "{}"},
        {"%zz%4&other=1", R"({"%zz%4": "odd"})"},
        // A text that is not UTF-8 is served with its bad bytes replaced.
        {"bad", R"({"bad": "<p>\ufffd(</p>"})"},
    };
    for (const auto& [rawKeys, answer] : cases)
        EXPECT_EQ(signatures(rawKeys), json::parse(answer)) << rawKeys;
    EXPECT_EQ(get("/node/api/v1/signature", kJson), std::pair(200, std::string("{}")));

    // One key answers its whole file, or not found; in a path "+" is itself.
    for (const auto& [key, text] : std::map<std::string, std::string>{
             {"alpha", "<p>Alpha</p>\n"}, {"x%3Fy", "question"}, {"a+b", "plus"}})
        EXPECT_EQ(get("/node/api/v1/signature/key/" + key), std::pair(200, text));
    for (const std::string key : {"missing", "", "x"})
        EXPECT_EQ(get("/node/api/v1/signature/key/" + key).first, 404) << key;

    // Files are read at every request.
    write(R"({"alpha": "new"})"_json);
    EXPECT_EQ(signatures("alpha"), R"({"alpha": "new"})"_json);
    EXPECT_EQ(get("/node/api/v1/signature/key/alpha").second, "new");
}

// No key may name a file outside the folder, however it is spelled.
TEST_F(SignatureServiceTest, KeysThatCouldLeaveTheFolderAreUnknown) {
    std::ofstream(root / "secret.html") << "secret";
    std::filesystem::create_directories(folder / "sub");
    std::filesystem::create_directories(folder / "folder.html");  // a folder, not a file
    std::ofstream(folder / "sub" / "inner.html") << "inner";
    std::ofstream(folder / "nul") << "nul";  // what "nul\0.html" would open

    std::string absolute = (root / "secret").string();
    for (auto at = absolute.find('/'); at != std::string::npos; at = absolute.find('/', at))
        absolute.replace(at, 1, "%2F");
    for (const std::string& raw :
         {std::string("..%2Fsecret"), std::string("%2E%2E%2Fsecret"), std::string("sub%2Finner"),
          std::string(".."), std::string("folder"), std::string("nul%00"), absolute}) {
        EXPECT_EQ(get("/node/api/v1/signature/key/" + raw).first, 404) << raw;
        EXPECT_EQ(signatures(raw), json::object()) << raw;
    }
    EXPECT_FALSE(SignatureFilePath(folder, "a..b"));
    EXPECT_EQ(SignatureFilePath(folder, "a.b"), folder / "a.b.html");
}

TEST_F(SignatureServiceTest, LogsOneLinePerRequest) {
    write(R"({"alpha": "A"})"_json);

    get("/node/api/v1/signature?keys=alpha,c%2Cd", kJson);
    get("/node/api/v1/signature/key/missing");
    get("/elsewhere");

    // The service logs a request after it has answered it, so a line may still be on its way,
    // and the order of the lines may differ from the requests'.
    std::vector<std::string> lines;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (lines.size() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
        std::lock_guard guard(_lock);
        lines = _logLines;
    }
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "127.0.0.1 \"GET /elsewhere\" 404 0",
                         "127.0.0.1 \"GET /node/api/v1/signature/key/missing\" 404 22",
                         "127.0.0.1 \"GET /node/api/v1/signature?keys=alpha,c%2Cd\" 200 13"}));
}

TEST_F(SignatureServiceTest, ATakenPortIsRefusedAndAStoppedServiceServesNoMore) {
    const int port = service->port();
    SignatureService clash({folder, "127.0.0.1", port, [](const std::string&) {}});
    EXPECT_FALSE(clash.start());
    EXPECT_NE(clash.error().find(std::to_string(port)), std::string::npos);

    service->stop();
    service->stop();
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(1);
    EXPECT_FALSE(client.Get("/node/api/v1/signature?keys=alpha"));
}

}  // namespace
}  // namespace quillet
