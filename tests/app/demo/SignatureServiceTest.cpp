// The reference signature service over real loopback HTTP, with a real folder of signatures.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

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
            SignatureServiceOptions{folder, "127.0.0.1", 0, [](const std::string&) {}});
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

    // A taken port is refused; a stopped service serves no more.
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
