#pragma once
// The browsers' native-messaging framing, the same in Chromium and Firefox: each message is
// UTF-8 JSON preceded by its length as 4 bytes in the machine's byte order. A browser takes at
// most 1 MB per message from a host, so a longer message goes out as "chunk" messages
// ({"name": "chunk", "userInfo": {"index", "count", "data"}}) whose data, joined in order, is
// the message's JSON text.

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace quillet::web {

// What a browser accepts from a host in one message.
inline constexpr std::size_t kHostMessageLimit = 1024 * 1024;
// What this host accepts from a browser: far more than any request needs.
inline constexpr std::size_t kBrowserMessageLimit = 64 * 1024 * 1024;
// How deeply a browser's message may nest objects and arrays. Requests need three levels; a
// message nested thousands deep would exhaust the stack of every recursive walk of the value
// (copying, comparing, writing), so it is refused while it is parsed, before any walk.
inline constexpr int kMaximumMessageDepth = 32;

enum class FrameStatus { message, tooDeep, endOfInput, malformed };

struct NativeFrame {
    FrameStatus status = FrameStatus::endOfInput;
    nlohmann::json message;  // an object, when status is message
};

// Reads one message from fd (blocking). endOfInput when the input ends before a message starts;
// tooDeep for a whole message nested deeper than kMaximumMessageDepth (the stream goes on after
// it); malformed for a cut-off message, one over kBrowserMessageLimit, or one whose body is no
// JSON object (the stream cannot be trusted after that).
NativeFrame ReadNativeFrame(int fd);
// The frames (length and body) that carry the message, each within `limit` bytes.
std::vector<std::string> FramesForMessage(const nlohmann::json& message,
                                          std::size_t limit = kHostMessageLimit);
// The answer to a message that was refused unread.
nlohmann::json TooDeepAnswer();
// Writes the frames; false when the output is closed.
bool WriteNativeMessage(int fd, const nlohmann::json& message);

}  // namespace quillet::web
