#pragma once
// A small client of Mozilla's Marionette remote protocol on loopback: each message is its length
// in decimal, a colon and a JSON array ([0, id, command, parameters] out, [1, id, error, result]
// back). Enough to run chrome-context scripts in a real Thunderbird and to quit it.

#include <QString>
#include <QTcpSocket>
#include <nlohmann/json.hpp>
#include <optional>

namespace quillet {

class MarionetteClient {
public:
    // Connects (retrying until the deadline while the application starts), opens a session and
    // switches to the chrome context. False, with lastError(), when it could not.
    bool connect(quint16 port, int timeoutMs);
    // Runs the script as a function body in the chrome context; its returned value, or absent
    // with lastError() set when the script threw or the connection failed.
    std::optional<nlohmann::json> executeScript(const QString& script);
    // Asks the application to quit the way its own Quit menu item does.
    bool quit();
    // The process id the session reported.
    qint64 processId() const { return _processId; }
    const QString& lastError() const { return _lastError; }

private:
    std::optional<nlohmann::json> command(const QString& name, const nlohmann::json& parameters);
    std::optional<nlohmann::json> readMessage(int timeoutMs);
    std::nullopt_t fail(const QString& error) {
        _lastError = error;
        return std::nullopt;
    }

    QTcpSocket _socket;
    QByteArray _buffer;
    int _nextId = 1;
    qint64 _processId = 0;
    QString _lastError;
};

}  // namespace quillet
