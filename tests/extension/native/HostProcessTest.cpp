#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <cstring>

#include "app/demo/FakeMac.h"
#include "app/demo/FakeMacMozilla.h"
#include "extension/native/HostInstall.h"
#include "extension/native/NativeMessaging.h"
#include "tests/support/DataTable.h"
#include "tests/support/TestService.h"

namespace quillet::web {
namespace {

const QString kHost = QUILLET_BINARY_DIR "/bin/quillet-webmail-host";

QByteArray Framed(const QByteArray& body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    return QByteArray(reinterpret_cast<const char*>(&length), sizeof length) + body;
}

// Every message in the bytes a host wrote, an answer sent in chunks joined again.
std::vector<nlohmann::json> Messages(const QByteArray& output) {
    std::vector<nlohmann::json> messages;
    std::string joined;
    for (qsizetype at = 0; at + 4 <= output.size();) {
        std::uint32_t length = 0;
        std::memcpy(&length, output.constData() + at, 4);
        EXPECT_LE(length + 4, kHostMessageLimit);
        const auto message = nlohmann::json::parse(output.mid(at + 4, length).toStdString());
        at += 4 + length;
        if (message["name"] != "chunk") {
            messages.push_back(message);
            continue;
        }
        joined += message["userInfo"]["data"].get<std::string>();
        if (message["userInfo"]["index"] == message["userInfo"]["count"].get<int>() - 1) {
            messages.push_back(nlohmann::json::parse(joined));
            joined.clear();
        }
    }
    return messages;
}

struct HostRun {
    int exitCode = -1;
    QByteArray output, error;
};

class HostProcessTest : public testing::Test {
protected:
    // Runs the host with the arguments and the input and returns what it wrote once it has
    // exited; by default it is the one a browser starts for the extension.
    HostRun runHost(const QByteArray& input, QStringList arguments = {}) {
        QProcess host;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUILLET_HOME", mac.home());
        environment.insert("QUILLET_BUNDLE", mac.bundlePath());
        environment.insert("QUILLET_SERVICE_URL", service.url().toString());
        host.setProcessEnvironment(environment);
        if (arguments.isEmpty())
            arguments = {"chrome-extension://" + kChromiumExtensionId + "/"};
        host.start(kHost, arguments);
        EXPECT_TRUE(host.waitForStarted());
        host.write(input);
        host.closeWriteChannel();
        EXPECT_TRUE(host.waitForFinished(20000));
        return {host.exitCode(), host.readAllStandardOutput(), host.readAllStandardError()};
    }

    FakeMac mac;
    TestService service;
};

// A second process answers from what the first stored, a long answer in chunks; a message nested
// too deep is refused, a malformed one gets nothing, and a message cut off or not an object ends
// the input.
TEST_F(HostProcessTest, AnswersEachRequestThenSaysFinishedAndEndsWithItsInput) {
    // Quotes double when a piece is escaped again, and multi-byte letters are at every cut.
    QString html;
    while (html.size() < 2 * 1024 * 1024)
        html += "<p class=\"q\">\u00e9\U0001F600</p>";
    service.setSignature("k", html);
    const HostRun first = runHost(Framed(R"({"name":"AddSignature","userInfo":)"
                                         R"({"client":"Gmail","mode":"key","key":"k"}})"));
    EXPECT_EQ(first.exitCode, 0);
    const auto added = Messages(first.output);
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0]["name"], "Added");
    EXPECT_EQ(added[1], nlohmann::json({{"name", "Finished"}}));

    const int depth = 200000;
    // A popup command copies its request's items.
    const QByteArray deep = Framed(R"({"name":"ListSignatures","userInfo":)" +
                                   QByteArray(depth, '[') + QByteArray(depth, ']') + "}");
    const QByteArray ask = Framed(R"({"name":"GetSignatures","requestId":7,)"
                                  R"("userInfo":{"client":"Gmail","callbackToken":"r1"}})");
    const QByteArray malformed =
        Framed(R"({"name":"GetSignatures","userInfo":{"client":"gmail","callbackToken":"r2"}})");
    const HostRun second = runHost(deep + ask + malformed + ask.left(ask.size() - 3));
    EXPECT_EQ(second.exitCode, 0);
    const auto answers = Messages(second.output);
    // The malformed message gets no answer; "Finished" follows the work once, or by timing once
    // more after the malformed message.
    ASSERT_GE(answers.size(), 3u) << nlohmann::json(answers).dump();
    ASSERT_LE(answers.size(), 4u) << nlohmann::json(answers).dump();
    EXPECT_EQ(answers[0], TooDeepAnswer());
    EXPECT_EQ(answers[1]["userInfo"]["callbackToken"], "r1");
    EXPECT_EQ(answers[1]["requestId"], 7);
    EXPECT_TRUE(answers[1]["userInfo"]["signatures"][0]["html"] == html.toStdString());
    for (std::size_t index = 2; index < answers.size(); ++index)
        EXPECT_EQ(answers[index]["name"], "Finished");
    EXPECT_TRUE(Messages(runHost(Framed("[1,2]") + ask).output).empty());
}

// The manifests, in the folder of each browser, are those of
// tests/data/extension/host-manifests.json.
TEST_F(HostProcessTest, InstallRegistersTheHostForEachBrowser) {
    const HostRun install = runHost({}, {"--install"});
    EXPECT_EQ(install.exitCode, 0) << install.error.toStdString();
    const auto read = [](const QByteArray& bytes) {
        return nlohmann::json::parse(bytes.toStdString(), nullptr, false);
    };
    const auto expected = read(ReadDataBytes("extension/host-manifests.json")
                                   .replace("HOST", QFileInfo(kHost).absoluteFilePath().toUtf8()));
    for (const auto& [folder, manifest] : expected.items()) {
        EXPECT_EQ(read(ReadFakeFile(mac.homePath(QString::fromStdString(folder)) +
                                    "/app.quillet.webmail.json")
                           .value_or("")),
                  manifest)
            << folder;
    }

    // A file where the profile's folder should be makes the install fail, and say so.
    mac.writeFile(mac.home() + "/profile/NativeMessagingHosts", "");
    const HostRun blocked = runHost({}, {"--install", "--profile", mac.home() + "/profile"});
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_TRUE(blocked.error.contains("Could not write"));
}

}  // namespace
}  // namespace quillet::web
