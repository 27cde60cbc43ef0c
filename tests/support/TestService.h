#pragma once
// A signature service for tests, on a free loopback port: it answers the update and key
// requests from a map of key to HTML, counts what it was asked, and can fail, or hold an
// answer until the test releases it.

#include <QString>
#include <QUrl>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace quillet {

class TestService {
public:
    TestService();
    ~TestService();

    QUrl url() const;
    void setSignature(const QString& key, const QString& html);
    void removeSignature(const QString& key);
    // Every update request is answered with this status and body instead (0: normal answers).
    void failUpdates(int status, const QString& body = {});
    // Update requests wait until release() (or the end of the service).
    void holdUpdates();
    void release();
    // Requests for this key wait until releaseKey(key) (or the end of the service).
    void holdKey(const QString& key);
    void releaseKey(const QString& key);

    int updateRequests() const;
    std::vector<QString> updateQueries() const;  // the raw "keys" query texts, in order
    int keyRequests() const;
    std::vector<QString> requestedKeys() const;  // the keys asked for by key request, in order
    void resetCounts();

private:
    std::unique_ptr<httplib::Server> _server;
    std::thread _thread;
    int _port = 0;
    mutable std::mutex _lock;
    std::condition_variable _released;
    std::map<QString, QString> _signatures;
    int _failStatus = 0;
    QString _failBody;
    bool _holding = false;
    std::set<QString> _heldKeys;
    bool _stopping = false;
    std::vector<QString> _updateQueries;
    std::vector<QString> _requestedKeys;
};

}  // namespace quillet
