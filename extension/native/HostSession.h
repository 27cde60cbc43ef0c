#pragma once
// One connection of a browser to the host: the browser starts a host process per connection, and
// the extension's background keeps one connection for the whole browser, sending the requests of
// every page and of the popup through it. Each request gets its answer (the page handler's or
// the popup's), carrying the request's "requestId" when it had one, so that answers that come
// back out of order (a key fetch takes a while) find their request. Once the engine has nothing
// left running (its refresh, a key fetch) the host says "Finished", so that a browser side that
// closes its connection after an answer does not cut a refresh short.

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "extension/native/ExtensionHandler.h"
#include "extension/native/WebCore.h"

namespace quillet::web {

class HostSession {
public:
    using Send = std::function<void(const nlohmann::json& message)>;

    HostSession(Core& core, Send send);

    // A request {"name", "userInfo", "requestId"} from the browser.
    void messageReceived(const nlohmann::json& message);
    // Sends an answer that no request's handler made (a refused message).
    void answer(const nlohmann::json& message);
    // Nothing is running: every request is answered and the engine is idle.
    bool isIdle() const;
    // Sends "Finished" when idle and something was answered since the last one.
    void finishIfIdle();

private:
    Core& _core;
    Send _send;
    ExtensionHandler _handler;
    int _commandsInProgress = 0;
    bool _finishPending = false;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

}  // namespace quillet::web
