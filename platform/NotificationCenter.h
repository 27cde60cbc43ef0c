#pragma once
// The process's notification centre: named notifications with a user-info map, delivered
// synchronously to the observers of that name, in the order they registered. The engine posts
// only on the main thread.

#include <QString>
#include <any>
#include <functional>
#include <map>
#include <vector>

namespace quillet {

using UserInfo = std::map<QString, std::any>;

class NotificationCenter {
public:
    using Observer = std::function<void(const QString& name, const UserInfo& userInfo)>;

    // Returns a token for removeObserver. It is not an error to observe a name never posted.
    int addObserver(const QString& name, Observer observer);
    void removeObserver(int token);
    void post(const QString& name, const UserInfo& userInfo = {});

private:
    struct Entry {
        int token;
        QString name;
        Observer observer;
    };
    std::vector<Entry> _entries;
    int _nextToken = 1;
};

}  // namespace quillet
