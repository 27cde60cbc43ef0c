#pragma once
// One application per user and home: the first launch takes a lock and listens for later ones;
// a later launch asks it to show its window and ends. Both the lock and the socket live in a
// folder only this user can enter (the per-user runtime folder, else one in the user's Library),
// so another local user can neither take the name first nor receive the messages, and two
// launches at the same moment give one instance: the lock decides, not the socket.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <functional>
#include <memory>

namespace quillet {

class Paths;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        primary,         // this process is the instance; listen() makes it reachable
        reopened,        // another instance holds the lock and was asked to show its window
        alreadyRunning,  // another instance holds the lock but did not answer in time
    };

    // runtimeFolder: $XDG_RUNTIME_DIR (may be empty); used only when it is this user's alone.
    SingleInstance(const Paths& paths, const QString& runtimeFolder);
    ~SingleInstance() override;

    // Takes the lock, or reaches the instance that holds it. Without a usable private folder
    // (it cannot be made, or others may enter it) the process runs on its own, after a warning.
    Claim claim();
    // Becomes the instance that later launches reach; reopen runs for each of them. False when
    // the socket cannot be made (the application still runs; later launches then end quietly).
    bool listen(std::function<void()> reopen);

    const QString& folder() const { return _folder; }
    QString socketPath() const;

private:
    bool askToReopen();

    QString _folder;  // empty: no private folder could be had
    std::unique_ptr<QLockFile> _lock;
    QLocalServer _server;
};

// A folder that only this user can enter: made with mode 0700 when missing; an existing one must
// belong to this user and be closed to others. False when it cannot be made so.
bool EnsurePrivateFolder(const QString& path);

}  // namespace quillet
