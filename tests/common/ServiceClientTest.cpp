// The service client over real loopback HTTP: small servers inside the test answer the way a
// service can (well, badly, or not at all), and the reference service serves real files.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "common/Log.h"
#include "common/ServiceClient.h"
#include "platform/EventLoop.h"
#include "platform/ManualMainQueue.h"
#include "tools/signature-service/SignatureService.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace quillet {
namespace {

constexpr double kWaitSeconds = 20;

// An HTTP server on a free loopback port that answers every GET with the test's handler and
// remembers the request targets exactly as they were sent.
class LoopbackServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    explicit LoopbackServer(Handler handler) {
        _server.set_keep_alive_max_count(1);
        _server.Get(".*",
                    [this, handler](const httplib::Request& request, httplib::Response& response) {
                        {
                            std::lock_guard guard(_lock);
                            _targets.push_back(request.target);
                        }
                        handler(request, response);
                    });
        _port = _server.bind_to_any_port("127.0.0.1");
        _thread = std::thread([this]() { _server.listen_after_bind(); });
        while (!_server.is_running())
            std::this_thread::yield();
    }
    ~LoopbackServer() {
        _server.stop();
        _thread.join();
    }

    QUrl baseUrl() const { return QUrl(QString("http://127.0.0.1:%1").arg(_port)); }
    std::vector<std::string> targets() const {
        std::lock_guard guard(_lock);
        return _targets;
    }

private:
    httplib::Server _server;
    std::thread _thread;
    int _port = 0;
    mutable std::mutex _lock;
    std::vector<std::string> _targets;
};

LoopbackServer::Handler Answer(int status, std::string body,
                               std::string type = "application/json") {
    return [=](const httplib::Request&, httplib::Response& response) {
        response.status = status;
        response.set_content(body, type);
    };
}

// Holds a handler until the test opens it; opens itself when it goes, so that a failed test does
// not leave the server waiting for ever.
class Gate {
public:
    ~Gate() { open(); }
    void open() {
        std::lock_guard guard(_lock);
        _open = true;
        _changed.notify_all();
    }
    void waitUntilOpen() {
        std::unique_lock guard(_lock);
        _changed.wait(guard, [this]() { return _open; });
    }

private:
    std::mutex _lock;
    std::condition_variable _changed;
    bool _open = false;
};

// A port on which nothing listens.
int ClosedPort() {
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
    const int port = server.serverPort();
    server.close();
    return port;
}

class RecordingReceiver : public UpdatedSignaturesReceiver {
public:
    struct Applied {
        SignatureUpdates updates;
        std::optional<ActiveFlags> activeFlags;
        std::int64_t updateTime = 0;
        QString label;
    };
    struct Completion {
        bool success = false;
        SignatureIds updated;
        SignatureIds modifiedOnly;
        std::optional<QString> errorTitle;
        std::optional<QString> errorDetails;
    };

    void setRequestingUpdatedSignatures(bool requesting) override {
        note(requesting ? "requesting" : "not requesting");
    }
    std::pair<SignatureIds, SignatureIds> applySignatureUpdates(
        const SignatureUpdates& updates, const std::optional<ActiveFlags>& activeFlags,
        std::int64_t updateTime, const QString& label) override {
        note("apply");
        applied = Applied{updates, activeFlags, updateTime, label};
        return applyAnswer;
    }
    void refreshCompleted(bool success, const SignatureIds& updated,
                          const SignatureIds& modifiedOnly,
                          const std::optional<QString>& errorTitle,
                          const std::optional<QString>& errorDetails) override {
        note(success ? "succeeded" : "failed");
        completion = Completion{success, updated, modifiedOnly, errorTitle, errorDetails};
    }

    std::vector<std::string> events;
    bool offMainThread = false;
    std::optional<Applied> applied;
    std::optional<Completion> completion;
    std::pair<SignatureIds, SignatureIds> applyAnswer;

private:
    void note(const std::string& event) {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            offMainThread = true;
        events.push_back(event);
    }
};

const std::vector<std::string> kFailedRefresh = {"requesting", "not requesting", "failed"};
const std::vector<std::string> kAppliedRefresh = {"requesting", "not requesting", "apply",
                                                  "succeeded"};

class ServiceClientTest : public testing::Test {
protected:
    SignatureId addSignature(const QString& key, bool pendingDeletion = false) {
        const SignatureId id{static_cast<std::int64_t>(ids.size()) + 1};
        auto signature = std::make_shared<Signature>();
        signature->keyQe = key;
        signature->active = true;
        signature->pendingDeletion = pendingDeletion;
        ids.push_back(id);
        map[id] = signature;
        return id;
    }

    ServiceClient& clientFor(const QUrl& baseUrl) {
        _client = std::make_unique<ServiceClient>(baseUrl, queue);
        return *_client;
    }

    // Runs one refresh to its end.
    void refresh(ServiceClient& client) {
        client.RequestUpdatedSignatures(ids, map, receiver);
        ASSERT_TRUE(
            RunEventLoopUntil([&]() { return receiver.completion.has_value(); }, kWaitSeconds));
        EXPECT_FALSE(receiver.offMainThread);
    }

    KeyFetchResult fetch(ServiceClient& client, const QString& key) {
        std::optional<KeyFetchResult> result;
        bool onMainThread = true;
        client.FetchSignatureByKey(key, [&](const KeyFetchResult& answer) {
            onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
            result = answer;
        });
        EXPECT_FALSE(result.has_value()) << "the completion ran inside the call";
        EXPECT_TRUE(RunEventLoopUntil([&]() { return result.has_value(); }, kWaitSeconds));
        EXPECT_TRUE(onMainThread);
        return result.value_or(KeyFetchResult::Error("no answer", "no answer"));
    }

    ManualMainQueue queue;
    LogTap log;
    RecordingReceiver receiver;
    SignatureIds ids;
    IdToSignatureMap map;

private:
    std::unique_ptr<ServiceClient> _client;
};

// --- Which keys are asked for -------------------------------------------------------------

TEST_F(ServiceClientTest, AsksOnceForEachKeyAndNeverForSignaturesPendingDeletion) {
    LoopbackServer server(Answer(200, R"({"alpha": "  <p>A</p>\n", "gamma": "<p>G</p>"})"));
    const SignatureId first = addSignature("alpha");
    addSignature("alpha");
    addSignature("beta", /*pendingDeletion=*/true);
    addSignature("");  // file-based
    addSignature("gamma");
    receiver.applyAnswer = {{first}, {}};

    refresh(clientFor(server.baseUrl()));

    ASSERT_EQ(server.targets(),
              std::vector<std::string>{"/node/api/v1/signature?keys=alpha,gamma"});
    EXPECT_EQ(receiver.events, kAppliedRefresh);
    ASSERT_TRUE(receiver.applied);
    EXPECT_EQ(receiver.applied->updates.size(), 2u);
    EXPECT_EQ(receiver.applied->updates.at("alpha").newMainTextQe, "<p>A</p>");
    EXPECT_EQ(receiver.applied->updates.at("gamma").newMainTextQe, "<p>G</p>");
    EXPECT_EQ(receiver.applied->activeFlags, (ActiveFlags{{"alpha", true}, {"gamma", true}}));
    EXPECT_EQ(receiver.applied->label, "RequestUpdatedSignatures()");
    EXPECT_TRUE(receiver.completion->success);
    EXPECT_EQ(receiver.completion->updated, SignatureIds{first});
    EXPECT_FALSE(receiver.completion->errorTitle);

    const QString url = server.baseUrl().toString() + "/node/api/v1/signature?keys=alpha,gamma";
    EXPECT_TRUE(log.contains("Info: Updating signatures from server, request URL: " + url));
    EXPECT_TRUE(log.contains("Info: Updating signatures from server, response status code: 200"));
    EXPECT_TRUE(log.contains("Info: Received updates for 2 signature(s), active: 2, disabled: 0"));
}

TEST_F(ServiceClientTest, NothingToAskForCompletesAtOnceWithoutARequest) {
    LoopbackServer server(Answer(200, "{}"));
    addSignature("beta", /*pendingDeletion=*/true);
    addSignature("");
    ServiceClient& client = clientFor(server.baseUrl());

    client.RequestUpdatedSignatures(ids, map, receiver);

    EXPECT_EQ(receiver.events, std::vector<std::string>{"succeeded"});
    EXPECT_TRUE(receiver.completion->updated.empty());
    EXPECT_TRUE(
        log.contains("Info: RequestUpdatedSignatures(): No signatures to update from server"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(server.targets().empty());
}

TEST_F(ServiceClientTest, KeysThatCannotBeEncodedAreNotAskedFor) {
    LoopbackServer server(Answer(200, "{}"));
    addSignature(QString(QChar(0xD800)));  // a lone surrogate: no UTF-8 form
    ServiceClient& client = clientFor(server.baseUrl());

    client.RequestUpdatedSignatures(ids, map, receiver);

    EXPECT_EQ(receiver.events, std::vector<std::string>{"succeeded"});
    EXPECT_TRUE(log.contains(
        "Info: RequestUpdatedSignatures(): No valid signatures to update from server"));
}

// Keys are typed by people: "a+b" must not reach the service as "a b", "x?y" must not end the
// path, and a comma in a key must not split it.
TEST_F(ServiceClientTest, KeysArePercentEncodedOutsideTheUnreservedCharacters) {
    EXPECT_EQ(PercentEncodeKey("Plain-key_1.~"), "Plain-key_1.~");
    EXPECT_EQ(PercentEncodeKey("a+b&c=d,e/f?g h#i%j"), "a%2Bb%26c%3Dd%2Ce%2Ff%3Fg%20h%23i%25j");
    EXPECT_EQ(PercentEncodeKey(QString::fromUtf8("é€")), "%C3%A9%E2%82%AC");
    EXPECT_EQ(PercentEncodeKey(""), "");
    EXPECT_EQ(PercentEncodeKey(QString("a") + QChar(0xDC00)), "");
    EXPECT_EQ(PercentEncodeKey(QString(QChar(0xD800)) + "b"), "");
    EXPECT_EQ(PercentEncodeKey(QString::fromUtf8("\xF0\x9F\x98\x80")), "%F0%9F%98%80");

    LoopbackServer server(Answer(200, R"({"a+b": "A", "x?y": "X"})"));
    addSignature("a+b");
    addSignature("x?y");
    addSignature("c,d");
    refresh(clientFor(server.baseUrl()));

    ASSERT_EQ(server.targets(),
              std::vector<std::string>{"/node/api/v1/signature?keys=a%2Bb,x%3Fy,c%2Cd"});
    ASSERT_TRUE(receiver.applied);
    EXPECT_EQ(receiver.applied->activeFlags,
              (ActiveFlags{{"a+b", true}, {"x?y", true}, {"c,d", false}}));
}

// --- What the answer means ------------------------------------------------------------------

TEST_F(ServiceClientTest, AnArrayAnswerReportsEverySignatureDisabled) {
    LoopbackServer server(Answer(200, R"(["alpha", "beta"])"));
    addSignature("alpha");
    addSignature("beta");

    refresh(clientFor(server.baseUrl()));

    EXPECT_EQ(receiver.events, kAppliedRefresh);
    EXPECT_TRUE(receiver.applied->updates.empty());
    EXPECT_EQ(receiver.applied->activeFlags, (ActiveFlags{{"alpha", false}, {"beta", false}}));
    EXPECT_TRUE(log.contains("Info: Received updates for 0 signature(s), active: 0, disabled: 2"));
}

TEST_F(ServiceClientTest, AValueThatIsNotTextIsSkippedAndItsSignatureIsInactive) {
    LoopbackServer server(Answer(200, R"({"alpha": 5, "beta": "<p>B</p>", "other": "<p>O</p>"})"));
    addSignature("alpha");
    addSignature("beta");

    refresh(clientFor(server.baseUrl()));

    EXPECT_TRUE(
        log.contains("Error: Skipping bad main text in signature update response JSON: \"alpha\""));
    EXPECT_EQ(receiver.applied->activeFlags, (ActiveFlags{{"alpha", false}, {"beta", true}}));
    EXPECT_FALSE(receiver.applied->updates.contains("alpha"));
    // A member nobody asked for is still handed over; it simply matches no signature.
    EXPECT_EQ(receiver.applied->updates.size(), 2u);
    EXPECT_TRUE(log.contains("Info: Received updates for 2 signature(s), active: 1, disabled: 1"));
}

TEST_F(ServiceClientTest, ALaterDuplicateMemberWins) {
    LoopbackServer server(
        Answer(200, R"({"alpha": "first", "beta": "kept", "alpha": "second", "beta": 7})"));
    addSignature("alpha");
    addSignature("beta");

    refresh(clientFor(server.baseUrl()));

    EXPECT_EQ(receiver.applied->updates.at("alpha").newMainTextQe, "second");
    EXPECT_EQ(receiver.applied->activeFlags, (ActiveFlags{{"alpha", true}, {"beta", false}}));
}

TEST_F(ServiceClientTest, ABodyThatIsNotJsonEndsInTheFailurePath) {
    LoopbackServer server(Answer(200, "<html>busy</html>", "text/html"));
    addSignature("alpha");

    refresh(clientFor(server.baseUrl()));

    EXPECT_EQ(receiver.events, kFailedRefresh);
    EXPECT_EQ(receiver.completion->errorTitle, "Could not update signatures from server");
    EXPECT_TRUE(receiver.completion->errorDetails.has_value());
    EXPECT_TRUE(log.containsText(
        "Error: Could not parse response JSON when updating signatures from server: "));
}

// The update time is when the request was built: a text changed on the service while the answer
// travelled is not in it.
TEST_F(ServiceClientTest, TheUpdateTimeIsTakenWhenTheRequestIsBuilt) {
    Gate gate;
    LoopbackServer server([&](const httplib::Request&, httplib::Response& response) {
        gate.waitUntilOpen();
        response.set_content(R"({"alpha": "A"})", "application/json");
    });
    ManualMainQueue lateQueue(1'800'000'100.75);
    ServiceClient client(server.baseUrl(), lateQueue);
    addSignature("alpha");

    client.RequestUpdatedSignatures(ids, map, receiver);
    ASSERT_TRUE(RunEventLoopUntil([&]() { return !server.targets().empty(); }, kWaitSeconds));
    lateQueue.advance(500);
    gate.open();
    ASSERT_TRUE(RunEventLoopUntil([&]() { return receiver.completion.has_value(); }, kWaitSeconds));

    ASSERT_TRUE(receiver.applied);
    EXPECT_EQ(receiver.applied->updateTime, 1'800'000'100);
}

// A failing service often answers a JSON error object; read as updates it would disable every
// signature and the next sync would remove them all.
class ServiceClientStatusTest : public ServiceClientTest,
                                public testing::WithParamInterface<int> {};

TEST_P(ServiceClientStatusTest, AnAnswerOutside2xxEndsInTheFailurePath) {
    const int status = GetParam();
    LoopbackServer server(Answer(status, R"({"error": "service trouble"})"));
    addSignature("alpha");

    refresh(clientFor(server.baseUrl()));

    EXPECT_EQ(receiver.events, kFailedRefresh);
    EXPECT_FALSE(receiver.applied);
    EXPECT_FALSE(receiver.completion->success);
    EXPECT_EQ(receiver.completion->errorTitle, "Could not update signatures from server");
    ASSERT_TRUE(receiver.completion->errorDetails);
    EXPECT_TRUE(receiver.completion->errorDetails->contains(QString::number(status)));
    EXPECT_TRUE(log.contains(
        QString("Info: Updating signatures from server, response status code: %1").arg(status)));
}

INSTANTIATE_TEST_SUITE_P(FailingServices, ServiceClientStatusTest,
                         testing::Values(500, 503, 401, 404));

// --- Transport errors and the limits ---------------------------------------------------------

TEST_F(ServiceClientTest, AClosedPortEndsInTheFailurePath) {
    addSignature("alpha");

    refresh(clientFor(QUrl(QString("http://127.0.0.1:%1").arg(ClosedPort()))));

    EXPECT_EQ(receiver.events, kFailedRefresh);
    EXPECT_EQ(receiver.completion->errorTitle, "Could not update signatures from server");
    EXPECT_EQ(receiver.completion->errorDetails, "Connection refused");
    EXPECT_TRUE(log.contains("Error: Could not update signatures from server: Connection refused"));
}

TEST_F(ServiceClientTest, AServiceThatNeverAnswersEndsInTheFailurePathAfterTheTimeOut) {
    QTcpServer silent;  // accepts connections and never reads or writes
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    addSignature("alpha");
    ServiceClient& client =
        clientFor(QUrl(QString("http://127.0.0.1:%1").arg(silent.serverPort())));
    client.setTimeoutsForTesting(200, 60'000);

    refresh(client);

    EXPECT_EQ(receiver.events, kFailedRefresh);
    EXPECT_EQ(receiver.completion->errorTitle, "Could not update signatures from server");
    EXPECT_TRUE(
        log.contains("Error: Could not update signatures from server: "
                     "No progress from the service for 200 millisecond(s)"));
}

// A service that trickles a byte now and then makes progress for ever; the overall limit ends it.
TEST_F(ServiceClientTest, AServiceThatTricklesIsCutOffByTheOverallLimit) {
    QTcpServer trickler;
    ASSERT_TRUE(trickler.listen(QHostAddress::LocalHost));
    QTimer drip;
    QList<QTcpSocket*> sockets;
    QObject::connect(&trickler, &QTcpServer::newConnection, [&]() {
        QTcpSocket* socket = trickler.nextPendingConnection();
        sockets.push_back(socket);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket]() {
            socket->readAll();
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                "Content-Length: 100000\r\n\r\n{");
        });
    });
    QObject::connect(&drip, &QTimer::timeout, [&]() {
        for (QTcpSocket* socket : sockets)
            socket->write(" ");
    });
    drip.start(20);
    addSignature("alpha");
    ServiceClient& client =
        clientFor(QUrl(QString("http://127.0.0.1:%1").arg(trickler.serverPort())));
    client.setTimeoutsForTesting(400, 1000);

    refresh(client);

    EXPECT_EQ(receiver.events, kFailedRefresh);
    EXPECT_TRUE(
        log.contains("Error: Could not update signatures from server: "
                     "The service did not complete its answer within 1 second(s)"));
}

TEST_F(ServiceClientTest, ABodyOverTheCapIsATransportErrorAndSaysSo) {
    EXPECT_EQ(DescribeByteCount(kServiceBodyLimitBytes), "32 MiB");
    const std::string tooLong = "{\"alpha\": \"" + std::string(2000, 'x') + "\"}";
    // Not a type the server compresses, so that it sends a Content-Length.
    LoopbackServer withLength(Answer(200, tooLong, "application/octet-stream"));
    // Compressed and chunked: only the decoded bytes can be counted.
    LoopbackServer chunked([&](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("application/json", [&](size_t offset,
                                                                      httplib::DataSink& sink) {
            if (offset < tooLong.size()) {
                sink.write(tooLong.data() + offset, std::min<size_t>(100, tooLong.size() - offset));
            } else {
                sink.done();
            }
            return true;
        });
    });
    addSignature("alpha");

    for (LoopbackServer* server : {&withLength, &chunked}) {
        receiver = RecordingReceiver();
        log.clear();
        ServiceClient& client = clientFor(server->baseUrl());
        client.setBodyLimitForTesting(1024);
        refresh(client);
        EXPECT_EQ(receiver.events, kFailedRefresh);
        EXPECT_TRUE(
            log.contains("Error: Could not update signatures from server: "
                         "The answer is larger than 1024 bytes"));
    }
}

TEST_F(ServiceClientTest, ABodyOfExactlyTheCapIsRead) {
    std::string body = R"({"alpha": "A"})";
    body.resize(1024, ' ');
    LoopbackServer server(Answer(200, body));
    addSignature("alpha");
    ServiceClient& client = clientFor(server.baseUrl());
    client.setBodyLimitForTesting(1024);

    refresh(client);

    EXPECT_EQ(receiver.events, kAppliedRefresh);
}

TEST_F(ServiceClientTest, AClientDestroyedWithARequestInFlightNeverCallsBack) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    addSignature("alpha");
    auto client = std::make_unique<ServiceClient>(
        QUrl(QString("http://127.0.0.1:%1").arg(silent.serverPort())), queue);
    bool fetched = false;

    client->RequestUpdatedSignatures(ids, map, receiver);
    client->FetchSignatureByKey("alpha", [&](const KeyFetchResult&) { fetched = true; });
    ASSERT_TRUE(RunEventLoopUntil([&]() { return silent.hasPendingConnections(); }, kWaitSeconds));
    // Its not-found answer is already on the main queue.
    client->FetchSignatureByKey("", [&](const KeyFetchResult&) { fetched = true; });
    client.reset();
    RunEventLoopUntil([]() { return false; }, 0.2);

    EXPECT_EQ(receiver.events, std::vector<std::string>{"requesting"});
    EXPECT_FALSE(fetched);
}

// --- Fetching one signature by key -----------------------------------------------------------

TEST_F(ServiceClientTest, AFoundKeyGivesItsWholeUntrimmedText) {
    LoopbackServer server(Answer(200, "  <p>K</p>\n", "text/html"));
    ServiceClient& client = clientFor(server.baseUrl());

    const KeyFetchResult result = fetch(client, "x?y");

    EXPECT_FALSE(result.error);
    EXPECT_EQ(result.text, "  <p>K</p>\n");
    EXPECT_FALSE(result.errorTitle);
    ASSERT_EQ(server.targets(), std::vector<std::string>{"/node/api/v1/signature/key/x%3Fy"});
    EXPECT_TRUE(log.contains("Info: Fetching key from server: " + server.baseUrl().toString() +
                             "/node/api/v1/signature/key/x%3Fy"));
    EXPECT_TRUE(log.contains("Info: Fetching key from server, response status code: 200"));
}

TEST_F(ServiceClientTest, AKeyAnsweredWithAnyOtherStatusOrBadTextIsNotFound) {
    LoopbackServer missing(Answer(404, "no such key", "text/plain"));
    LoopbackServer failing(Answer(500, "trouble", "text/plain"));
    LoopbackServer notUtf8(Answer(200, std::string("<p>\xC3\x28</p>"), "text/html"));

    for (LoopbackServer* server : {&missing, &failing, &notUtf8}) {
        const KeyFetchResult result = fetch(clientFor(server->baseUrl()), "alpha");
        EXPECT_FALSE(result.error);
        EXPECT_FALSE(result.text);
        EXPECT_FALSE(result.errorTitle);
        EXPECT_FALSE(result.errorDetails);
    }
    EXPECT_TRUE(log.contains("Info: Fetching key from server, response status code: 404"));
    EXPECT_TRUE(log.contains("Info: Fetching key from server, response status code: 500"));
}

TEST_F(ServiceClientTest, AKeyThatCannotBeEncodedIsNotFoundWithoutARequest) {
    ServiceClient& client = clientFor(QUrl(QString("http://127.0.0.1:%1").arg(ClosedPort())));

    const KeyFetchResult result = fetch(client, "");

    EXPECT_FALSE(result.error);
    EXPECT_FALSE(result.text);
    EXPECT_FALSE(log.containsText("Fetching key from server"));
}

TEST_F(ServiceClientTest, AKeyFetchFromAClosedPortIsTheErrorShape) {
    ServiceClient& client = clientFor(QUrl(QString("http://127.0.0.1:%1").arg(ClosedPort())));

    const KeyFetchResult result = fetch(client, "alpha");

    EXPECT_TRUE(result.error);
    EXPECT_EQ(result.errorTitle, "Could not fetch the signature by key");
    EXPECT_EQ(result.errorDetails, "Connection refused");
    EXPECT_FALSE(result.text);
    EXPECT_TRUE(log.contains("Error: Could not fetch key from server: Connection refused"));
}

TEST_F(ServiceClientTest, AKeyFetchThatNeverGetsAnAnswerIsTheErrorShapeAfterTheTimeOut) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    ServiceClient& client =
        clientFor(QUrl(QString("http://127.0.0.1:%1").arg(silent.serverPort())));
    client.setTimeoutsForTesting(200, 60'000);

    const KeyFetchResult result = fetch(client, "alpha");

    EXPECT_TRUE(result.error);
    EXPECT_EQ(result.errorTitle, "Could not fetch the signature by key");
    EXPECT_TRUE(
        log.contains("Error: Could not fetch key from server: No progress from the service for 200 "
                     "millisecond(s)"));
}

// --- Against the reference service -----------------------------------------------------------

class ServiceClientWithReferenceServiceTest : public ServiceClientTest {
protected:
    void writeSignature(const std::string& key, const std::string& text) {
        std::ofstream(_folder / (key + ".html"), std::ios::binary) << text;
    }
    QTemporaryDir _temporary;
    std::filesystem::path _folder = _temporary.path().toStdString();
};

TEST_F(ServiceClientWithReferenceServiceTest, KeysWithQueryCharactersReachTheirOwnSignatures) {
    writeSignature("a+b", "<p>plus</p>");
    writeSignature("a b", "<p>space</p>");
    writeSignature("x?y", "<p>question</p>");
    writeSignature("x", "<p>x alone</p>");
    writeSignature("c,d", "<p>comma</p>");
    SignatureService service({_folder, "127.0.0.1", 0, [](const std::string&) {}});
    ASSERT_TRUE(service.start()) << service.error();
    ServiceClient& client = clientFor(QUrl(QString::fromStdString(service.baseUrl())));
    addSignature("a+b");
    addSignature("x?y");
    addSignature("c,d");
    addSignature("gone");

    refresh(client);

    ASSERT_TRUE(receiver.applied);
    EXPECT_EQ(receiver.applied->activeFlags,
              (ActiveFlags{{"a+b", true}, {"x?y", true}, {"c,d", true}, {"gone", false}}));
    EXPECT_EQ(receiver.applied->updates.at("a+b").newMainTextQe, "<p>plus</p>");
    EXPECT_EQ(receiver.applied->updates.at("x?y").newMainTextQe, "<p>question</p>");
    EXPECT_EQ(receiver.applied->updates.at("c,d").newMainTextQe, "<p>comma</p>");
    EXPECT_EQ(fetch(client, "x?y").text, "<p>question</p>");
    EXPECT_EQ(fetch(client, "a+b").text, "<p>plus</p>");
    EXPECT_EQ(fetch(client, "gone").text, std::nullopt);
}

// --- The base URL ------------------------------------------------------------------------------

TEST(ServiceClientBaseUrlTest, TheOptionWinsOverTheEnvironmentWhichWinsOverTheBuild) {
    const QByteArray saved = qgetenv("QUILLET_SERVICE_URL");
    qunsetenv("QUILLET_SERVICE_URL");
    EXPECT_EQ(ServiceClient::DefaultBaseUrl(), QUrl(QUILLET_DEFAULT_SERVICE_URL));
    qputenv("QUILLET_SERVICE_URL", "http://127.0.0.1:9");
    EXPECT_EQ(ServiceClient::DefaultBaseUrl(), QUrl("http://127.0.0.1:9"));
    EXPECT_EQ(ServiceClient::DefaultBaseUrl("http://localhost:8"), QUrl("http://localhost:8"));
    if (saved.isNull()) {
        qunsetenv("QUILLET_SERVICE_URL");
    } else {
        qputenv("QUILLET_SERVICE_URL", saved);
    }

    ManualMainQueue queue;
    ServiceClient withSlash(QUrl("http://127.0.0.1:9/"), queue);
    EXPECT_EQ(withSlash.updateUrlPrefix(), "http://127.0.0.1:9/node/api/v1/signature?keys=");
    EXPECT_EQ(withSlash.keyUrlPrefix(), "http://127.0.0.1:9/node/api/v1/signature/key/");
}

}  // namespace
}  // namespace quillet
