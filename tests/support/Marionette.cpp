#include "tests/support/Marionette.h"

#include <QDeadlineTimer>
#include <QThread>

namespace quillet {

bool MarionetteClient::connect(quint16 port, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;; QThread::msleep(200)) {
        _socket.abort();
        _buffer.clear();
        _socket.connectToHost("127.0.0.1", port);
        if (_socket.waitForConnected(1000) &&
            readMessage(static_cast<int>(deadline.remainingTime())))
            break;  // the server's greeting
        if (deadline.hasExpired()) {
            _lastError = "no Marionette server on port " + QString::number(port);
            return false;
        }
    }
    const auto session = command("WebDriver:NewSession", nlohmann::json::object());
    if (!session)
        return false;
    _processId = session->value("capabilities", nlohmann::json::object())
                     .value("moz:processID", static_cast<qint64>(0));
    return command("Marionette:SetContext", {{"value", "chrome"}}).has_value();
}

std::optional<nlohmann::json> MarionetteClient::executeScript(const QString& script) {
    const auto result = command("WebDriver:ExecuteScript", {{"script", script.toStdString()},
                                                            {"args", nlohmann::json::array()}});
    return result ? std::optional(result->value("value", nlohmann::json())) : std::nullopt;
}

bool MarionetteClient::quit() {
    // The answer may not come before the connection closes; the caller waits for the process.
    return command("Marionette:Quit", {{"flags", {"eAttemptQuit"}}}).has_value();
}

std::optional<nlohmann::json> MarionetteClient::command(const QString& name,
                                                        const nlohmann::json& parameters) {
    const int id = _nextId++;
    const std::string body = nlohmann::json::array({0, id, name.toStdString(), parameters}).dump();
    _socket.write(QByteArray::number(static_cast<qsizetype>(body.size())) + ":" +
                  QByteArray::fromStdString(body));
    if (!_socket.waitForBytesWritten(10000))
        return fail(name + ": could not send");
    while (true) {
        const auto message = readMessage(120000);
        if (!message)
            return std::nullopt;
        if (!message->is_array() || message->size() != 4 || (*message)[1] != id)
            continue;  // not the answer to this command
        if (!(*message)[2].is_null())
            return fail(name + ": " + QString::fromStdString((*message)[2].dump()));
        return (*message)[3];
    }
}

std::optional<nlohmann::json> MarionetteClient::readMessage(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        const qsizetype colon = _buffer.indexOf(':');
        const qsizetype length = colon > 0 ? _buffer.left(colon).toLongLong() : -1;
        if (length >= 0 && _buffer.size() >= colon + 1 + length) {
            const QByteArray body = _buffer.mid(colon + 1, length);
            _buffer.remove(0, colon + 1 + length);
            auto parsed = nlohmann::json::parse(body.toStdString(), nullptr, false);
            if (!parsed.is_discarded())
                return parsed;
            return fail("bad Marionette message");
        }
        if (deadline.hasExpired() ||
            !_socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return fail("no answer from Marionette");
        _buffer += _socket.readAll();
    }
}

}  // namespace quillet
