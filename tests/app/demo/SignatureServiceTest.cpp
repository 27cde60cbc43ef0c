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
#include "tests/support/DataTable.h"

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

// The requests and their answers are the rows of tests/data/base/service-requests.tsv.
TEST_F(SignatureServiceTest, AnswersTheKeysWhoseFilesInTheFolderExistWithTheirCurrentText) {
    write(R"({"alpha": "<p>Alpha</p>", "c,d": "comma", "a+b": "plus", "a b": "space",
              "x?y": "question", "%zz%4": "odd"})"_json);
    std::ofstream(folder / "bad.html") << "<p>\xC3\x28</p>";
    std::ofstream(root / "secret.html") << "secret";
    std::filesystem::create_directories(folder / "sub");
    std::filesystem::create_directories(folder / "folder.html");  // a folder, not a file
    std::ofstream(folder / "sub" / "inner.html") << "inner";
    std::ofstream(folder / "nul") << "nul";  // what "nul\0.html" would open
    for (const QStringList& row : ReadDataTable("base/service-requests.tsv")) {
        const std::string target = row[0].toStdString();
        const bool update = !target.starts_with("/key/");
        const auto [status, body] = get("/node/api/v1/signature" + target, update ? kJson : kHtml);
        EXPECT_EQ(status, row[1].toInt()) << target;
        if (status == 200 && update) {
            EXPECT_EQ(json::parse(body, nullptr, false), json::parse(row[2].toStdString()))
                << target;
        } else if (status == 200) {
            EXPECT_EQ(body, row[2].toStdString()) << target;
        }
    }
    std::string absolute = (root / "secret").string();
    for (auto at = absolute.find('/'); at != std::string::npos; at = absolute.find('/', at))
        absolute.replace(at, 1, "%2F");
    EXPECT_EQ(get("/node/api/v1/signature/key/" + absolute).first, 404);
    EXPECT_EQ(signatures(absolute), json::object());
    EXPECT_FALSE(SignatureFilePath(folder, "a..b"));
    EXPECT_EQ(SignatureFilePath(folder, "a.b"), folder / "a.b.html");

    // Files are read at every request.
    write(R"({"alpha": "new"})"_json);
    EXPECT_EQ(signatures("alpha"), R"({"alpha": "new"})"_json);
    EXPECT_EQ(get("/node/api/v1/signature/key/alpha").second, "new");
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
