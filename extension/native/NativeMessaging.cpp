#include "extension/native/NativeMessaging.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace quillet::web {

namespace {

// False when the input ended or failed before `size` bytes came.
bool ReadExactly(int fd, char* buffer, std::size_t size, std::size_t* got) {
    *got = 0;
    while (*got < size) {
        const ssize_t n = read(fd, buffer + *got, size - *got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        *got += static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

std::string Frame(const std::string& body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    std::string frame(sizeof length, '\0');
    std::memcpy(frame.data(), &length, sizeof length);
    return frame + body;
}

std::string Dump(const nlohmann::json& message) {
    // Invalid UTF-8 in a text is replaced rather than thrown on.
    return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

NativeFrame ReadNativeFrame(int fd) {
    std::uint32_t length = 0;
    std::size_t got = 0;
    if (!ReadExactly(fd, reinterpret_cast<char*>(&length), sizeof length, &got))
        return {got == 0 ? FrameStatus::endOfInput : FrameStatus::malformed, {}};
    if (length > kBrowserMessageLimit)
        return {FrameStatus::malformed, {}};
    std::string body(length, '\0');
    if (!ReadExactly(fd, body.data(), length, &got))
        return {FrameStatus::malformed, {}};
    // The parser keeps its own stack; values below the limit are dropped as they are met, so a
    // deep message never becomes a deep value.
    bool tooDeep = false;
    const nlohmann::json::parser_callback_t limitDepth =
        [&tooDeep](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
            const bool opens = event == nlohmann::json::parse_event_t::object_start ||
                               event == nlohmann::json::parse_event_t::array_start;
            if (opens && depth >= kMaximumMessageDepth)
                tooDeep = true;
            return !tooDeep;
        };
    nlohmann::json message = nlohmann::json::parse(body, limitDepth, false);
    if (tooDeep)
        return {FrameStatus::tooDeep, {}};
    if (message.is_discarded() || !message.is_object())
        return {FrameStatus::malformed, {}};
    return {FrameStatus::message, std::move(message)};
}

std::vector<std::string> FramesForMessage(const nlohmann::json& message, std::size_t limit) {
    const std::string text = Dump(message);
    if (text.size() + 4 <= limit)
        return {Frame(text)};
    // Escaping at most doubles a piece of JSON text (every quote and backslash gains one), and
    // the chunk's own items take far less than the reserve.
    const std::size_t reserve = 256;
    const std::size_t pieceLimit = (limit - reserve) / 2;
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.size(), at + pieceLimit);
        // Never cut inside a UTF-8 sequence: each piece must be text of its own.
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        pieces.push_back(text.substr(at, end - at));
        at = end;
    }
    std::vector<std::string> frames;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        frames.push_back(Frame(
            Dump({{"name", "chunk"},
                  {"userInfo", {{"index", i}, {"count", pieces.size()}, {"data", pieces[i]}}}})));
    }
    return frames;
}

nlohmann::json TooDeepAnswer() {
    return {{"name", "Error"},
            {"userInfo",
             {{"message", "The message is nested deeper than " +
                              std::to_string(kMaximumMessageDepth) + " levels."}}}};
}

bool WriteNativeMessage(int fd, const nlohmann::json& message) {
    for (const std::string& frame : FramesForMessage(message)) {
        if (!WriteAll(fd, frame))
            return false;
    }
    return true;
}

}  // namespace quillet::web
