#include "tests/support/TestService.h"

#include <httplib.h>

#include <nlohmann/json.hpp>

namespace quillet {

TestService::TestService() : _server(std::make_unique<httplib::Server>()) {
    _server->Get("/node/api/v1/signature", [this](const httplib::Request& request,
                                                  httplib::Response& response) {
        std::unique_lock guard(_lock);
        const std::string rawQuery = request.target.substr(request.target.find('?') + 1);
        _updateQueries.push_back(QString::fromStdString(rawQuery));
        _released.wait(guard, [this] { return !_holding || _stopping; });
        if (_failStatus != 0) {
            response.status = _failStatus;
            response.set_content(_failBody.toStdString(), "application/json");
            return;
        }
        nlohmann::json answer = nlohmann::json::object();
        const QStringList keys = QString::fromStdString(request.get_param_value("keys")).split(',');
        for (const QString& key : keys) {
            if (const auto found = _signatures.find(key); found != _signatures.end()) {
                answer[key.toStdString()] = found->second.toStdString();
            }
        }
        response.set_content(answer.dump(), "application/json");
    });
    _server->Get(R"(/node/api/v1/signature/key/(.+))",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     std::unique_lock guard(_lock);
                     const QString key = QString::fromStdString(request.matches[1]);
                     _requestedKeys.push_back(key);
                     _released.wait(guard, [&] { return !_heldKeys.contains(key) || _stopping; });
                     const auto found = _signatures.find(key);
                     if (found == _signatures.end()) {
                         response.status = 404;
                         return;
                     }
                     response.set_content(found->second.toStdString(), "text/html; charset=utf-8");
                 });
    _port = _server->bind_to_any_port("127.0.0.1");
    _thread = std::thread([this] { _server->listen_after_bind(); });
    // stop() only ends a server that is already running.
    while (!_server->is_running())
        std::this_thread::yield();
}

TestService::~TestService() {
    {
        std::lock_guard guard(_lock);
        _stopping = true;
    }
    _released.notify_all();
    _server->stop();
    _thread.join();
}

QUrl TestService::url() const {
    return QUrl(QString("http://127.0.0.1:%1").arg(_port));
}

void TestService::setSignature(const QString& key, const QString& html) {
    std::lock_guard guard(_lock);
    _signatures[key] = html;
}

void TestService::removeSignature(const QString& key) {
    std::lock_guard guard(_lock);
    _signatures.erase(key);
}

void TestService::failUpdates(int status, const QString& body) {
    std::lock_guard guard(_lock);
    _failStatus = status;
    _failBody = body;
}

void TestService::holdUpdates() {
    std::lock_guard guard(_lock);
    _holding = true;
}

void TestService::release() {
    {
        std::lock_guard guard(_lock);
        _holding = false;
    }
    _released.notify_all();
}

std::vector<QString> TestService::requestedKeys() const {
    std::lock_guard guard(_lock);
    return _requestedKeys;
}

void TestService::holdKey(const QString& key) {
    std::lock_guard guard(_lock);
    _heldKeys.insert(key);
}

void TestService::releaseKey(const QString& key) {
    {
        std::lock_guard guard(_lock);
        _heldKeys.erase(key);
    }
    _released.notify_all();
}

int TestService::updateRequests() const {
    std::lock_guard guard(_lock);
    return static_cast<int>(_updateQueries.size());
}

std::vector<QString> TestService::updateQueries() const {
    std::lock_guard guard(_lock);
    return _updateQueries;
}

int TestService::keyRequests() const {
    std::lock_guard guard(_lock);
    return static_cast<int>(_requestedKeys.size());
}

void TestService::resetCounts() {
    std::lock_guard guard(_lock);
    _updateQueries.clear();
    _requestedKeys.clear();
}

}  // namespace quillet
