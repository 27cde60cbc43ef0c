#include "tests/support/TestService.h"

#include <gtest/gtest.h>

#include <QFile>

namespace quillet {

namespace {

const std::string kKeyPrefix = "/node/api/v1/signature/key/";

}  // namespace

TestService::TestService()
    : _service(std::make_unique<SignatureService>(SignatureServiceOptions{
          serviceFolder.path().toStdString(), "127.0.0.1", 0, [](const std::string&) {},
          [this](const std::string& target) { return answer(target); }})) {
    EXPECT_TRUE(_service->start()) << _service->error();
}

TestService::~TestService() {
    stop();
}

std::optional<std::pair<int, std::string>> TestService::answer(const std::string& target) {
    std::unique_lock guard(_lock);
    const bool byKey = target.starts_with(kKeyPrefix);
    // Update requests are held under the empty key, which no signature has.
    const QString key =
        byKey ? QString::fromStdString(PercentDecode(target.substr(kKeyPrefix.size()), false))
              : QString();
    if (byKey)
        _requestedKeys.push_back(key);
    else
        ++_updateRequests;
    _released.wait(guard, [&] { return !_held.contains(key) || _stopping; });
    if (byKey || _failStatus == 0)
        return std::nullopt;
    return std::pair{_failStatus, _failBody};
}

QString TestService::setSignature(const QString& key, const QString& html) const {
    const QString path = serviceFolder.filePath(key + ".html");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(html.toUtf8());
    return path;
}

void TestService::removeSignature(const QString& key) const {
    QFile::remove(serviceFolder.filePath(key + ".html"));
}

void TestService::failUpdates(int status, const QString& body) {
    std::lock_guard guard(_lock);
    _failStatus = status;
    _failBody = body.toStdString();
}

void TestService::holdKey(const QString& key) {
    std::lock_guard guard(_lock);
    _held.insert(key);
}

void TestService::releaseKey(const QString& key) {
    {
        std::lock_guard guard(_lock);
        _held.erase(key);
    }
    _released.notify_all();
}

void TestService::stop() {
    {
        std::lock_guard guard(_lock);
        _stopping = true;
    }
    _released.notify_all();
    _service->stop();
}

int TestService::updateRequests() const {
    std::lock_guard guard(_lock);
    return _updateRequests;
}

std::vector<QString> TestService::requestedKeys() const {
    std::lock_guard guard(_lock);
    return _requestedKeys;
}

void TestService::resetCounts() {
    std::lock_guard guard(_lock);
    _updateRequests = 0;
    _requestedKeys.clear();
}

}  // namespace quillet
