#pragma once
// The reference signature service on loopback, serving the HTML files of a folder of its own,
// with what tests need of a service besides: it counts what it was asked, and can fail update
// requests or hold them, or a key's, until the test releases them.

#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "app/demo/service/SignatureService.h"

namespace quillet {

class TestService {
public:
    TestService();
    ~TestService();

    QUrl url() const { return QUrl(QString::fromStdString(_service->baseUrl())); }
    // Serves HTML under the key; the path of the file served, which `install --file` also takes.
    QString setSignature(const QString& key, const QString& html) const;
    void removeSignature(const QString& key) const;
    // Every update request is answered with this status and body instead (0: normal answers).
    void failUpdates(int status, const QString& body = {});
    // Update requests wait until release() (or the end of the service).
    void holdUpdates() { holdKey({}); }
    void release() { releaseKey({}); }
    // Requests for this key wait until releaseKey(key) (or the end of the service).
    void holdKey(const QString& key);
    void releaseKey(const QString& key);
    // Stops answering: every later request fails to connect.
    void stop();

    int updateRequests() const;
    std::vector<QString> requestedKeys() const;  // the keys asked for by key request, in order
    int keyRequests() const { return static_cast<int>(requestedKeys().size()); }
    void resetCounts();

    QTemporaryDir serviceFolder;

private:
    std::optional<std::pair<int, std::string>> answer(const std::string& target);

    mutable std::mutex _lock;
    std::condition_variable _released;
    int _failStatus = 0;
    std::string _failBody;
    std::set<QString> _held;
    bool _stopping = false;
    int _updateRequests = 0;
    std::vector<QString> _requestedKeys;
    // Last, so that it stops answering before what its answers use goes.
    std::unique_ptr<SignatureService> _service;
};

}  // namespace quillet
