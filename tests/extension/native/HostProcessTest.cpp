#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstring>

#include "app/demo/FakeMac.h"
#include "extension/native/HostInstall.h"
#include "extension/native/NativeMessaging.h"
#include "tests/support/TestService.h"

namespace quillet::web {
namespace {

const QString kHost = QUILLET_BINARY_DIR "/bin/quillet-webmail-host";

QByteArray Framed(const QByteArray& body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    return QByteArray(reinterpret_cast<const char*>(&length), sizeof length) + body;
}

// Every message in the bytes a host wrote.
std::vector<nlohmann::json> Messages(const QByteArray& output) {
    std::vector<nlohmann::json> messages;
    for (qsizetype at = 0; at + 4 <= output.size();) {
        std::uint32_t length = 0;
        std::memcpy(&length, output.constData() + at, 4);
        messages.push_back(nlohmann::json::parse(output.mid(at + 4, length).toStdString()));
        at += 4 + length;
    }
    return messages;
}

TEST(NativeMessagingTest, ALongAnswerGoesOutInChunksThatJoinToIt) {
    // Quotes double when a piece is escaped again, and a multi-byte letter sits at every cut.
    std::string html;
    while (html.size() < 3 * 1024 * 1024)
        html += "<p class=\"q\">\xC3\xA9\xF0\x9F\x98\x80</p>";
    const nlohmann::json message = {{"name", "message"},
                                    {"userInfo", {{"signatures", {{{"html", html}}}}}}};
    const std::vector<std::string> frames = FramesForMessage(message);
    ASSERT_GT(frames.size(), 3u);
    std::string joined;
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_LE(frames[i].size(), kHostMessageLimit);
        const auto chunk = nlohmann::json::parse(frames[i].substr(4));
        EXPECT_EQ(chunk["name"], "chunk");
        EXPECT_EQ(chunk["userInfo"]["index"], i);
        EXPECT_EQ(chunk["userInfo"]["count"], frames.size());
        joined += chunk["userInfo"]["data"].get<std::string>();
    }
    EXPECT_EQ(nlohmann::json::parse(joined), message);
    // A short answer is one plain message.
    EXPECT_EQ(FramesForMessage({{"name", "Finished"}}).size(), 1u);
}

class HostProcessTest : public testing::Test {
protected:
    // Runs the host with the input and returns what it wrote once it has exited.
    QByteArray runHost(const QByteArray& input, int* exitCode = nullptr) {
        QProcess host;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUILLET_HOME", mac.home());
        environment.insert("QUILLET_BUNDLE", mac.bundlePath());
        environment.insert("QUILLET_SERVICE_URL", service.url().toString());
        host.setProcessEnvironment(environment);
        host.start(kHost, {"chrome-extension://" + kChromiumExtensionId + "/"});
        EXPECT_TRUE(host.waitForStarted());
        host.write(input);
        host.closeWriteChannel();
        EXPECT_TRUE(host.waitForFinished(20000));
        if (exitCode)
            *exitCode = host.exitCode();
        return host.readAllStandardOutput();
    }

    FakeMac mac;
    TestService service;
};

// A second process answers from what the first stored; a message nested too deep is refused, a
// malformed one gets nothing, and a message cut off or not an object ends the input.
TEST_F(HostProcessTest, AnswersEachRequestThenSaysFinishedAndEndsWithItsInput) {
    service.setSignature("k", "<p>Served</p>");
    int exitCode = -1;
    const auto added = Messages(runHost(Framed(R"({"name":"AddSignature","userInfo":)"
                                               R"({"client":"Gmail","mode":"key","key":"k"}})"),
                                        &exitCode));
    EXPECT_EQ(exitCode, 0);
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
    const auto answers =
        Messages(runHost(deep + ask + malformed + ask.left(ask.size() - 3), &exitCode));
    EXPECT_EQ(exitCode, 0);
    // The malformed message gets no answer; "Finished" follows the work once, or by timing once
    // more after the malformed message.
    ASSERT_GE(answers.size(), 3u) << nlohmann::json(answers).dump();
    ASSERT_LE(answers.size(), 4u) << nlohmann::json(answers).dump();
    EXPECT_EQ(answers[0], TooDeepAnswer());
    EXPECT_EQ(answers[1]["userInfo"]["callbackToken"], "r1");
    EXPECT_EQ(answers[1]["requestId"], 7);
    EXPECT_EQ(answers[1]["userInfo"]["signatures"][0]["html"], "<p>Served</p>");
    for (std::size_t index = 2; index < answers.size(); ++index)
        EXPECT_EQ(answers[index]["name"], "Finished");
    EXPECT_TRUE(Messages(runHost(Framed("[1,2]") + ask)).empty());
}

TEST_F(HostProcessTest, InstallRegistersTheHostForEachBrowser) {
    QProcess install;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLET_HOME", mac.home());
    install.setProcessEnvironment(environment);
    install.start(kHost, {"--install"});
    ASSERT_TRUE(install.waitForFinished(10000));
    EXPECT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    const auto read = [](const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        return nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
    };
    nlohmann::json expected = {{"name", "app.quillet.webmail"},
                               {"description", "Quillet signatures for web mail"},
                               {"path", QFileInfo(kHost).absoluteFilePath().toStdString()},
                               {"type", "stdio"}};
    const QString name = "/app.quillet.webmail.json";
    expected["allowed_origins"] = {"chrome-extension://egmamabbiljiefmieldplpaofegligjk/"};
    for (const QString folder : {".config/chromium", ".config/google-chrome"})
        EXPECT_EQ(read(mac.homePath(folder) + "/NativeMessagingHosts" + name), expected);
    expected.erase("allowed_origins");
    expected["allowed_extensions"] = {"webmail@quillet.app"};
    EXPECT_EQ(read(mac.homePath(".mozilla/native-messaging-hosts") + name), expected);

    // A file where the profile's folder should be makes the install fail, and say so.
    QDir().mkpath(mac.home() + "/profile");
    QFile blocker(mac.home() + "/profile/NativeMessagingHosts");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    install.start(kHost, {"--install", "--profile", mac.home() + "/profile"});
    ASSERT_TRUE(install.waitForFinished(10000));
    EXPECT_EQ(install.exitCode(), 1);
    EXPECT_TRUE(install.readAllStandardError().contains("Could not write"));
}

}  // namespace
}  // namespace quillet::web
