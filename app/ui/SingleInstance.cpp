#include "app/ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalSocket>

#include "common/Log.h"

namespace quillet {

namespace {
constexpr int kAnswerTimeoutMs = 2000;
const QByteArray kReopen = "reopen\n";
}  // namespace

SingleInstance::SingleInstance(const QString& key)
    : _name("quillet-" +
            QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16)) {}

bool SingleInstance::askRunningInstanceToReopen() {
    QLocalSocket socket;
    socket.connectToServer(_name);
    if (!socket.waitForConnected(kAnswerTimeoutMs))
        return false;
    socket.write(kReopen);
    socket.waitForBytesWritten(kAnswerTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::listen(std::function<void()> reopen) {
    // A server file left by a crashed instance would refuse the name.
    QLocalServer::removeServer(_name);
    if (!_server.listen(_name)) {
        LogWarning("SingleInstance: cannot listen as " + _name + ": " + _server.errorString());
        return false;
    }
    connect(&_server, &QLocalServer::newConnection, this, [this, reopen] {
        while (QLocalSocket* socket = _server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, socket, [socket, reopen] {
                if (socket->readAll().contains("reopen"))
                    reopen();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}

}  // namespace quillet
