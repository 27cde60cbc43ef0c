#include "extension/native/HostSession.h"

#include "extension/native/PopupCommands.h"

namespace quillet::web {

HostSession::HostSession(Core& core, Send send)
    : _core(core), _send(std::move(send)), _handler(core) {}

void HostSession::messageReceived(const nlohmann::json& message) {
    _finishPending = true;
    const auto name = message.find("name");
    if (name == message.end() || !name->is_string())
        return;
    const QString text = QString::fromStdString(name->get<std::string>());
    const auto userInfo = message.find("userInfo");
    const nlohmann::json* info = userInfo == message.end() ? nullptr : &*userInfo;
    if (IsPopupCommand(text)) {
        ++_commandsInProgress;
        RunPopupCommand(_core, text, info ? *info : nlohmann::json::object(),
                        [this, alive = std::weak_ptr<bool>(_alive)](const nlohmann::json& answer) {
                            if (alive.expired())
                                return;
                            --_commandsInProgress;
                            _send(answer);
                        });
        return;
    }
    if (auto answer = _handler.messageReceived(text, info))
        _send(*answer);
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
