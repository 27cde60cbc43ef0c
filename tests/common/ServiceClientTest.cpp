// The service client over real loopback HTTP: small servers inside the test answer the way a
// service can (well, badly, or not at all), and the reference service serves real files, to the
// client and to requests sent as written.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "app/demo/service/SignatureService.h"
#include "common/Log.h"
#include "common/ServiceClient.h"
#include "platform/EventLoop.h"
#include "platform/ManualMainQueue.h"
#include "tests/support/DataTable.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/TestService.h"

namespace quillet {
namespace {

constexpr double kWaitSeconds = 20;
const QString kFetchFailed = "Could not fetch the signature by key";

// A loopback server that answers every request with the same raw bytes, and then, if asked, a
// byte every 20 ms for ever; with no bytes it accepts and stays silent.
class RawServer {
public:
    explicit RawServer(const QByteArray& answer = {}, bool trickle = false) {
        EXPECT_TRUE(_server.listen(QHostAddress::LocalHost));
        QObject::connect(&_server, &QTcpServer::newConnection, [this, answer, trickle]() {
            QTcpSocket* socket = _server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [=]() {
                socket->readAll();
                socket->write(answer);
                auto* drip = new QTimer(socket);
                QObject::connect(drip, &QTimer::timeout, socket, [=]() { socket->write(" "); });
                if (trickle)
                    drip->start(20);
            });
        });
    }
    QUrl url() const { return QUrl(QString("http://127.0.0.1:%1").arg(_server.serverPort())); }

private:
    QTcpServer _server;
};

// What the receiver answers that it updated, for the completion to hand on.
const SignatureIds kUpdatedIds = {SignatureId{7}};

// Records what a refresh hands over, on the main thread alone, as lines of a transcript.
class RecordingReceiver : public UpdatedSignaturesReceiver {
public:
    void setRequestingUpdatedSignatures(bool requesting) override {
        note(requesting ? "requesting" : "not requesting");
    }
    std::pair<SignatureIds, SignatureIds> applySignatureUpdates(
        const SignatureUpdates& updates, const std::optional<ActiveFlags>& activeFlags,
        std::int64_t givenTime, const QString&) override {
        QString line = "apply";
        for (const auto& [key, update] : updates)
            line += " " + key + "=" + update.newMainTextQe;
        for (const bool active : {true, false}) {
            line += active ? "; active:" : "; disabled:";
            for (const auto& [key, flag] : activeFlags.value_or(ActiveFlags{}))
                line += flag == active ? " " + key : "";
        }
        note(line.toStdString());
        updateTime = givenTime;
        return {kUpdatedIds, {}};
    }
    void refreshCompleted(bool success, const SignatureIds& givenUpdated, const SignatureIds&,
                          const std::optional<QString>& errorTitle,
                          const std::optional<QString>& details) override {
        note(success ? "succeeded" : "failed: " + errorTitle.value_or("").toStdString());
        completed = true;
        updated = givenUpdated;
        errorDetails = details;
    }

    std::vector<std::string> events;
    bool completed = false;
    std::int64_t updateTime = 0;
    SignatureIds updated;
    std::optional<QString> errorDetails;

private:
    void note(const std::string& event) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread()) << event;
        events.push_back(event);
    }
};

// The transcript of a refresh that applied the line given, or of one that failed.
std::vector<std::string> Applied(const std::string& line) {
    return {"requesting", "not requesting", line, "succeeded"};
}
const std::vector<std::string> kFailedRefresh = {"requesting", "not requesting",
                                                 "failed: Could not update signatures from server"};

class ServiceClientTest : public testing::Test {
protected:
    void addSignature(const QString& key, bool pendingDeletion = false) {
        auto signature = std::make_shared<Signature>();
        signature->keyQe = key;
        signature->active = true;
        signature->pendingDeletion = pendingDeletion;
        ids.push_back(SignatureId{static_cast<std::int64_t>(ids.size()) + 1});
        map[ids.back()] = signature;
    }

    ServiceClient& clientFor(const QUrl& baseUrl, const ServiceRequestLimits& limits = {}) {
        _client = std::make_unique<ServiceClient>(baseUrl, queue, limits);
        return *_client;
    }

    // Runs one refresh to its end, after forgetting what an earlier one left.
    void refresh(ServiceClient& client) {
        receiver = RecordingReceiver();
        client.RequestUpdatedSignatures(ids, map, receiver);
        ASSERT_TRUE(RunEventLoopUntil([&]() { return receiver.completed; }, kWaitSeconds));
    }

    KeyFetchResult fetch(ServiceClient& client, const QString& key) {
        std::optional<KeyFetchResult> result;
        client.FetchSignatureByKey(key, [&](const KeyFetchResult& answer) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            result = answer;
        });
        EXPECT_FALSE(result.has_value()) << "the completion ran inside the call";
        EXPECT_TRUE(RunEventLoopUntil([&]() { return result.has_value(); }, kWaitSeconds));
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

const std::string kHtml = "text/html; charset=utf-8";
const std::string kJson = "application/json; charset=utf-8";

// The reference service over the files of tests/data/base/service-files.tsv, and a folder named
// as a signature file.
class ReferenceServiceTest : public ServiceClientTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folder / "sub");
        std::filesystem::create_directories(folder / "folder.html");
        for (const QStringList& row : ReadDataTable("base/service-files.tsv"))
            write(row[0].toStdString(), QByteArray::fromPercentEncoding(row[1].toUtf8()));
        ASSERT_TRUE(service.start()) << service.error();
    }

    void write(const std::string& name, const QByteArray& text) {
        std::ofstream(folder / name, std::ios::binary) << text.toStdString();
    }

    // Sends the target exactly as written, escapes and all; the status and the body.
    std::pair<int, std::string> get(const std::string& target, const std::string& type) {
        httplib::Client client("127.0.0.1", service.port());
        client.set_url_encode(false);
        const auto result = client.Get("/node/api/v1/signature" + target);
        if (!result)
            return {0, ""};
        if (result->status == 200) {
            EXPECT_EQ(result->get_header_value("Content-Type"), type) << target;
        }
        return {result->status, result->body};
    }

    std::vector<std::string> requests() {
        std::lock_guard guard(_lock);
        return _requests;
    }

    QTemporaryDir temporary;
    std::filesystem::path root = temporary.path().toStdString();
    std::filesystem::path folder = root / "signatures";
    std::mutex _lock;
    std::vector<std::string> _requests;
    SignatureService service{{folder, "127.0.0.1", 0, [this](const std::string& line) {
                                  std::lock_guard guard(_lock);
                                  _requests.push_back(line);
                              }}};
};

// Keys are typed by people: against the reference service, serving real files, "a+b" must not
// reach it as "a b", "x?y" must not end the path, and a comma in a key must not split it. Each key
// is asked for once; file-based signatures, those pending deletion and keys with no UTF-8 form
// never are, and with nothing left to ask the refresh ends at once, without a request.
TEST_F(ReferenceServiceTest, KeysReachTheirOwnSignaturesAndEachIsAskedForOnce) {
    // A base URL that ends in a slash gets no second one.
    ServiceClient& client = clientFor(QUrl(QString::fromStdString(service.baseUrl() + "/")));
    for (const QString key : {"a+b", "x?y", "a+b", "", "c,d", "gone", "\u00e9\u20ac"})
        addSignature(key);
    addSignature("beta", /*pendingDeletion=*/true);

    refresh(client);

    EXPECT_EQ(
        receiver.events,
        Applied("apply a+b=<p>plus</p> c,d=<p>comma</p> x?y=<p>question</p> "
                "\u00e9\u20ac=<p>accent</p>; active: a+b c,d x?y \u00e9\u20ac; disabled: gone"));
    EXPECT_EQ(receiver.updated, kUpdatedIds);
    ASSERT_TRUE(RunEventLoopUntil([&] { return !requests().empty(); }, kWaitSeconds));
    EXPECT_EQ(requests(),
              std::vector<std::string>{"127.0.0.1 \"GET /node/api/v1/signature?keys=a%2Bb,"
                                       "x%3Fy,c%2Cd,gone,%C3%A9%E2%82%AC\" 200 94"});
    // The key fetch hands over the whole text, untrimmed.
    EXPECT_EQ(fetch(client, "x?y").text, "  <p>question</p>\n");
    EXPECT_EQ(fetch(client, "a+b").text, "<p>plus</p>");
    EXPECT_EQ(fetch(client, "\u00e9\u20ac").text, "<p>accent</p>");
    EXPECT_EQ(fetch(client, "gone").text, std::nullopt);

    ids.clear();
    addSignature("beta", /*pendingDeletion=*/true);
    addSignature("");
    addSignature(QString(QChar(0xD800)));  // a lone surrogate: no UTF-8 form
    receiver = RecordingReceiver();
    client.RequestUpdatedSignatures(ids, map, receiver);
    EXPECT_EQ(receiver.events, std::vector<std::string>{"succeeded"});
}

// The reference service's answers to requests sent as written are the rows of
// tests/data/base/service-requests.tsv; files are read at every request.
TEST_F(ReferenceServiceTest, AnswersTheKeysWhoseFilesInTheFolderExistWithTheirCurrentText) {
    const QByteArray escapedRoot = QUrl::toPercentEncoding(temporary.path());
    for (const QStringList& row : ReadDataTable("base/service-requests.tsv")) {
        const std::string target = QString(row[0]).replace("ROOT", escapedRoot).toStdString();
        const bool update = !target.starts_with("/key/");
        const auto [status, body] = get(target, update ? kJson : kHtml);
        EXPECT_EQ(status, row[1].toInt()) << target;
        if (status == 200 && update) {
            EXPECT_EQ(nlohmann::json::parse(body, nullptr, false),
                      nlohmann::json::parse(row[2].toStdString()))
                << target;
        } else if (status == 200) {
            EXPECT_EQ(body, QByteArray::fromPercentEncoding(row[2].toUtf8()).toStdString())
                << target;
        }
    }

    write("alpha.html", "new");
    EXPECT_EQ(nlohmann::json::parse(get("?keys=alpha", kJson).second),
              nlohmann::json({{"alpha", "new"}}));
    EXPECT_EQ(get("/key/alpha", kHtml).second, "new");

    // A taken port is refused; a stopped service serves no more.
    const int port = service.port();
    SignatureService clash({folder, "127.0.0.1", port, [](const std::string&) {}});
    EXPECT_FALSE(clash.start());
    EXPECT_NE(clash.error().find(std::to_string(port)), std::string::npos);
    service.stop();
    service.stop();
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(1);
    EXPECT_FALSE(client.Get("/node/api/v1/signature?keys=alpha"));
}

// --- What the answer means ------------------------------------------------------------------

// The bytes a served answer of the table below is: "silent" none (the server accepts and stays
// silent), "trickle" the start of an answer and then a byte every 20 ms, "deflated" a compressed
// and chunked answer with no length to go by, so that only its decoded bytes can be counted;
// otherwise the status and the body, padded with blanks to the length if one is given.
QByteArray Served(const QStringList& row) {
    QByteArray body = QByteArray::fromPercentEncoding(row[1].toUtf8());
    if (row[2] != "-")
        body.resize(row[2].toInt(), ' ');
    if (row[0] == "trickle")
        return "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n{";
    if (row[0] == "deflated") {
        const QByteArray packed = qCompress(body).mid(4);
        return "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nTransfer-Encoding: "
               "chunked\r\n\r\n" +
               QByteArray::number(packed.size(), 16) + "\r\n" + packed + "\r\n0\r\n\r\n";
    }
    if (row[0] == "silent")
        return {};
    return "HTTP/1.1 " + row[0].toUtf8() +
           " X\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// The answer disables what it leaves out: a failing service's own answer (an array, null, its
// error object, a 500 of any kind) read as updates would disable every signature, and the next
// sync would remove them all from every client. Only a 2xx map of the keys asked for to texts
// is read; anything else fails the refresh, which is tried again later. Only a request that got
// no complete answer is an error to the key fetch; any other status, or a text that is not
// UTF-8, is a key not found. The answers are the rows of tests/data/base/service-answers.tsv.
TEST_F(ServiceClientTest, OnlyA2xxMapOfTheKeysAskedForToTextsIsReadAsUpdates) {
    addSignature("alpha");
    addSignature("beta");
    for (const QStringList& row : ReadDataTable("base/service-answers.tsv")) {
        SCOPED_TRACE(row.join(" | ").toStdString());
        ASSERT_GE(row.size(), 8);
        log.clear();
        RawServer server(Served(row), row[0] == "trickle");
        const QStringList limits = QString(row[3] == "-" ? "60000/300000" : row[3]).split('/');
        ServiceClient& client =
            clientFor(row[0] == "closed" ? QUrl("http://127.0.0.1:1") : server.url(),
                      {limits[0].toInt(), limits[1].toInt(), 1024});
        refresh(client);
        EXPECT_EQ(receiver.events, row[5] == "-" ? kFailedRefresh : Applied(row[5].toStdString()));
        const QString details = receiver.errorDetails.value_or("-");
        EXPECT_EQ(details, row[6]);
        for (const QString& line : row.mid(8))
            EXPECT_TRUE(log.contains(line.endsWith(":") ? line + " " + details : line))
                << line.toStdString();
        const KeyFetchResult fetched = fetch(client, row[4]);
        EXPECT_EQ(fetched.errorTitle, fetched.error ? std::optional(kFetchFailed) : std::nullopt);
        const QString outcome = fetched.error ? "error: " + fetched.errorDetails.value_or("")
                                              : fetched.text.value_or("none");
        const QByteArray served = Served(row);
        const QString body = QString::fromUtf8(served.mid(served.indexOf("\r\n\r\n") + 4));
        EXPECT_EQ(outcome, row[7] == "body" ? body : row[7]);
    }
}

// The update time is when the request was built: a text changed on the service while the answer
// travelled is not in it. A client destroyed with requests in flight never calls back.
TEST_F(ServiceClientTest, TheUpdateTimeIsTakenWhenTheRequestIsBuiltAndAGoneClientNeverCallsBack) {
    TestService service;
    service.setSignature("alpha", "A");
    service.holdUpdates();
    ManualMainQueue lateQueue(1'800'000'100.75);
    auto client = std::make_unique<ServiceClient>(service.url(), lateQueue);
    addSignature("alpha");

    client->RequestUpdatedSignatures(ids, map, receiver);
    ASSERT_TRUE(RunEventLoopUntil([&]() { return service.updateRequests() > 0; }, kWaitSeconds));
    lateQueue.advance(500);
    service.release();
    ASSERT_TRUE(RunEventLoopUntil([&]() { return receiver.completed; }, kWaitSeconds));
    EXPECT_EQ(receiver.events, Applied("apply alpha=A; active: alpha; disabled:"));
    EXPECT_EQ(receiver.updateTime, 1'800'000'100);

    service.holdUpdates();
    service.holdKey("alpha");
    receiver = RecordingReceiver();
    bool fetched = false;
    client->RequestUpdatedSignatures(ids, map, receiver);
    client->FetchSignatureByKey("alpha", [&](const KeyFetchResult&) { fetched = true; });
    ASSERT_TRUE(RunEventLoopUntil(
        [&]() { return service.updateRequests() > 1 && service.keyRequests() > 0; }, kWaitSeconds));
    // Its not-found answer is already on the main queue.
    client->FetchSignatureByKey("", [&](const KeyFetchResult&) { fetched = true; });
    client.reset();
    RunEventLoopUntil([]() { return false; }, 0.2);
    EXPECT_EQ(receiver.events, std::vector<std::string>{"requesting"});
    EXPECT_FALSE(fetched);
}

// The option wins over the environment, which wins over the build; one that cannot be a base URL
// is passed over. The choices are the rows of tests/data/base/service-urls.tsv.
TEST(ServiceClientBaseUrlTest, TheOptionWinsOverTheEnvironmentWhichWinsOverTheBuild) {
    const QByteArray saved = qgetenv("QUILLET_SERVICE_URL");
    for (const QStringList& row : ReadDataTable("base/service-urls.tsv")) {
        row[0] == "-" ? qunsetenv("QUILLET_SERVICE_URL")
                      : qputenv("QUILLET_SERVICE_URL", row[0].toUtf8());
        EXPECT_EQ(ServiceClient::DefaultBaseUrl(row[1] == "-" ? QString() : row[1]).toString(),
                  QUrl(row[2] == "build" ? QUILLET_DEFAULT_SERVICE_URL : row[2]).toString());
    }
    saved.isNull() ? qunsetenv("QUILLET_SERVICE_URL") : qputenv("QUILLET_SERVICE_URL", saved);
}

}  // namespace
}  // namespace quillet
