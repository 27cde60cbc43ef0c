#include "app/ui/SingleInstance.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#include "common/Log.h"
#include "platform/Paths.h"

namespace quillet {

namespace {
// How long a later launch tries to reach the instance that holds the lock: it may still be
// starting (it listens right after taking the lock, but a loaded machine is slow).
constexpr int kReachTimeoutMs = 10000;
constexpr int kRetryIntervalMs = 50;
const QByteArray kReopen = "reopen\n";
}  // namespace

bool EnsurePrivateFolder(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        return false;
    }
    // Ours: close it to others if an earlier run left it open.
    return (info.st_mode & 077) == 0 || ::chmod(native.constData(), 0700) == 0;
}

SingleInstance::SingleInstance(const Paths& paths, const QString& runtimeFolder) {
    // Each home has its own instance (tests and the demo run beside a person's application).
    const QString home = QCryptographicHash::hash(paths.home().toUtf8(), QCryptographicHash::Sha256)
                             .toHex()
                             .left(16);
    QStringList candidates;
    if (QDir::isAbsolutePath(runtimeFolder) && EnsurePrivateFolder(runtimeFolder))
        candidates << runtimeFolder + "/quillet-" + home;
    candidates << paths.userLibrary() + "/Quillet Instance";
    for (const QString& candidate : candidates) {
        if (QDir().mkpath(QFileInfo(candidate).absolutePath()) && EnsurePrivateFolder(candidate)) {
            _folder = candidate;
            break;
        }
    }
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath() const {
    return _folder + "/Quillet.socket";
}

SingleInstance::Claim SingleInstance::claim() {
    if (_folder.isEmpty()) {
        LogWarning("SingleInstance: no private folder for the instance lock; running on its own");
        return Claim::primary;
    }
    _lock = std::make_unique<QLockFile>(_folder + "/Quillet.lock");
    // Never stale by age: a lock whose process has gone is taken over, one whose process lives
    // is never broken.
    _lock->setStaleLockTime(0);
    if (_lock->tryLock(0))
        return Claim::primary;
    if (_lock->error() != QLockFile::LockFailedError) {
        LogWarning("SingleInstance: cannot take the instance lock in " + _folder +
                   "; running on its own");
        return Claim::primary;
    }
    return askToReopen() ? Claim::reopened : Claim::alreadyRunning;
}

bool SingleInstance::askToReopen() {
    const QDeadlineTimer deadline(kReachTimeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            socket.write(kReopen);
            const bool written = socket.waitForBytesWritten(kRetryIntervalMs * 20);
            socket.disconnectFromServer();
            return written;
        }
        QThread::msleep(kRetryIntervalMs);
    }
    return false;
}

bool SingleInstance::listen(std::function<void()> reopen) {
    if (_folder.isEmpty())
        return false;
    // This process holds the lock: a socket file there was left by an instance that died.
    QLocalServer::removeServer(socketPath());
    _server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!_server.listen(socketPath())) {
        LogWarning("SingleInstance: cannot listen at " + socketPath() + ": " +
                   _server.errorString());
        return false;
    }
    connect(&_server, &QLocalServer::newConnection, this, [this, reopen] {
        while (QLocalSocket* socket = _server.nextPendingConnection()) {
            // The message may have come already, or come with the end of the connection.
            const auto read = [socket, reopen] {
                if (socket->readAll().contains("reopen"))
                    reopen();
            };
            connect(socket, &QLocalSocket::readyRead, socket, read);
            connect(socket, &QLocalSocket::disconnected, socket, [socket, read] {
                read();
                socket->deleteLater();
            });
            read();
        }
    });
    return true;
}

}  // namespace quillet
