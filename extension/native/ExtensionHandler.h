#pragma once
// The way in from web-mail pages: it starts the extension's engine and answers "GetSignatures"
// with the signatures of the asking page's client. The browser side has already taken the
// client from the sending tab's address and put its own request id in "callbackToken"; this
// checks every item again, logs and drops whatever is malformed, and sends no answer then.

#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

#include "extension/native/WebCore.h"

namespace quillet::web {

inline constexpr int kMaximumCallbackTokenLength = 128;

class ExtensionHandler {
public:
    // Starts the engine (its first refresh) unless it has been started.
    explicit ExtensionHandler(Core& core);

    // The answer to dispatch to the page ({"name": "message", "userInfo": {"signatures",
    // "callbackToken"}}), or absent when the message gets none. Every answer is built from the
    // store as it is now, which other host processes may have changed.
    std::optional<nlohmann::json> messageReceived(const QString& name,
                                                  const nlohmann::json* userInfo);

private:
    Core& _core;
};

// Whether a callback token is short and plain: 1 to 128 of A-Z a-z 0-9 _ -.
bool IsPlainCallbackToken(const QString& token);

}  // namespace quillet::web
