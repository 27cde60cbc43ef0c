#pragma once
// One application per user: a second launch asks the first one to show its window and ends.

#include <QLocalServer>
#include <QObject>
#include <functional>

namespace quillet {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // key: the same for every launch that must share one instance (the user's home, say).
    explicit SingleInstance(const QString& key);

    // True when another instance answered (it was asked to reopen); this one should end.
    bool askRunningInstanceToReopen();
    // Becomes the instance that later launches reach; reopen runs for each of them.
    bool listen(std::function<void()> reopen);

private:
    QString _name;
    QLocalServer _server;
};

}  // namespace quillet
