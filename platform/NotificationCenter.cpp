#include "platform/NotificationCenter.h"

#include <algorithm>

namespace quillet {

int NotificationCenter::addObserver(const QString& name, Observer observer) {
    const int token = _nextToken++;
    _entries.push_back({token, name, std::move(observer)});
    return token;
}

void NotificationCenter::removeObserver(int token) {
    std::erase_if(_entries, [token](const Entry& entry) { return entry.token == token; });
}

void NotificationCenter::post(const QString& name, const UserInfo& userInfo) {
    // Observers may add or remove observers while being called: work on a copy of the list.
    const auto entries = _entries;
    for (const auto& entry : entries) {
        if (entry.name == name)
            entry.observer(name, userInfo);
    }
}

}  // namespace quillet
