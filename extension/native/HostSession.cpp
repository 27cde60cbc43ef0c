#include "extension/native/HostSession.h"

#include <optional>

#include "extension/native/PopupCommands.h"

namespace quillet::web {

namespace {

// The browser's key for the request's answer: a short text or a number, else none.
std::optional<nlohmann::json> RequestId(const nlohmann::json& message) {
    const auto id = message.find("requestId");
    if (id == message.end())
        return std::nullopt;
    if ((id->is_string() && id->get_ref<const std::string&>().size() <= 128) ||
        id->is_number_integer()) {
        return *id;
    }
    return std::nullopt;
}

}  // namespace

HostSession::HostSession(Core& core, Send send)
    : _core(core), _send(std::move(send)), _handler(core) {}

void HostSession::answer(const nlohmann::json& message) {
    // No request behind it started any work: nothing for a "Finished" to wait for.
    _send(message);
}

void HostSession::messageReceived(const nlohmann::json& message) {
    _finishPending = true;
    const auto name = message.find("name");
    if (name == message.end() || !name->is_string())
        return;
    const std::optional<nlohmann::json> requestId = RequestId(message);
    const auto keyed = [requestId](nlohmann::json answer) {
        if (requestId)
            answer["requestId"] = *requestId;
        return answer;
    };
    const QString text = QString::fromStdString(name->get<std::string>());
    const auto userInfo = message.find("userInfo");
    const nlohmann::json* info = userInfo == message.end() ? nullptr : &*userInfo;
    if (IsPopupCommand(text)) {
        ++_commandsInProgress;
        RunPopupCommand(
            _core, text, info ? *info : nlohmann::json::object(),
            [this, keyed, alive = std::weak_ptr<bool>(_alive)](const nlohmann::json& answer) {
                if (alive.expired())
                    return;
                --_commandsInProgress;
                _send(keyed(answer));
            });
        return;
    }
    if (auto answer = _handler.messageReceived(text, info))
        _send(keyed(std::move(*answer)));
}

bool HostSession::isIdle() const {
    return _commandsInProgress == 0 && _core.isIdle();
}

void HostSession::finishIfIdle() {
    if (!_finishPending || !isIdle())
        return;
    _finishPending = false;
    _send({{"name", "Finished"}});
}

}  // namespace quillet::web
