#include "app/demo/service/SignatureService.h"

#include <httplib.h>

#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace quillet {

namespace {

const char* const kUpdatePath = "/node/api/v1/signature";
const char* const kKeyPrefix = "/node/api/v1/signature/key/";

int HexValue(char character) {
    if (character >= '0' && character <= '9')
        return character - '0';
    if (character >= 'a' && character <= 'f')
        return character - 'a' + 10;
    if (character >= 'A' && character <= 'F')
        return character - 'A' + 10;
    return -1;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// The request target as sent, split into its raw path and raw query: the parsed path and
// parameters are already decoded, and decoding before splitting would let "%2C" split a key.
std::pair<std::string, std::string> RawPathAndQuery(const std::string& target) {
    const auto mark = target.find('?');
    if (mark == std::string::npos)
        return {target, {}};
    return {target.substr(0, mark), target.substr(mark + 1)};
}

void AnswerSignatures(const std::filesystem::path& folder, const httplib::Request& request,
                      httplib::Response& response) {
    nlohmann::json answer = nlohmann::json::object();
    for (const std::string& key : KeysFromQuery(RawPathAndQuery(request.target).second)) {
        if (auto text = ReadSignature(folder, key))
            answer[key] = *text;
    }
    // A file that is not UTF-8 is still served, with its bad bytes replaced, rather than failing
    // every signature of the request.
    response.set_content(answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                         "application/json; charset=utf-8");
}

void AnswerKey(const std::filesystem::path& folder, const httplib::Request& request,
               httplib::Response& response) {
    const std::string rawPath = RawPathAndQuery(request.target).first;
    const std::string key = PercentDecode(rawPath.substr(std::string(kKeyPrefix).size()), false);
    if (auto text = ReadSignature(folder, key)) {
        response.set_content(*text, "text/html; charset=utf-8");
        return;
    }
    response.status = 404;
    response.set_content("Unknown signature key\n", "text/plain; charset=utf-8");
}

// Whether the caller's intercept answered the request in the service's stead.
bool Intercepted(const SignatureServiceOptions& options, const httplib::Request& request,
                 httplib::Response& response) {
    if (!options.intercept)
        return false;
    const auto answer = options.intercept(request.target);
    if (answer) {
        response.status = answer->first;
        response.set_content(answer->second, "application/json; charset=utf-8");
    }
    return answer.has_value();
}

}  // namespace

std::string PercentDecode(const std::string& text, bool plusIsSpace) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        const char character = text[i];
        if (character == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else if (character == '+' && plusIsSpace) {
            decoded += ' ';
        } else {
            decoded += character;
        }
    }
    return decoded;
}

std::vector<std::string> KeysFromQuery(const std::string& rawQuery) {
    std::vector<std::string> keys;
    for (const std::string& parameter : Split(rawQuery, '&')) {
        const auto equals = parameter.find('=');
        if (equals == std::string::npos)
            continue;
        if (PercentDecode(parameter.substr(0, equals), true) != "keys")
            continue;
        const std::string value = parameter.substr(equals + 1);
        if (value.empty())
            continue;
        for (const std::string& part : Split(value, ','))
            keys.push_back(PercentDecode(part, true));
    }
    return keys;
}

std::optional<std::filesystem::path> SignatureFilePath(const std::filesystem::path& folder,
                                                       const std::string& key) {
    if (key.empty() || key.find('/') != std::string::npos || key.find("..") != std::string::npos ||
        key.find('\0') != std::string::npos)
        return std::nullopt;
    return folder / (key + ".html");
}

std::optional<std::string> ReadSignature(const std::filesystem::path& folder,
                                         const std::string& key) {
    const auto path = SignatureFilePath(folder, key);
    if (!path)
        return std::nullopt;
    std::error_code error;
    if (!std::filesystem::is_regular_file(*path, error))
        return std::nullopt;
    std::ifstream file(*path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad())
        return std::nullopt;
    return text.str();
}

SignatureService::SignatureService(SignatureServiceOptions options)
    : _options(std::move(options)), _server(std::make_unique<httplib::Server>()) {
    _server->Get(kUpdatePath, [this](const httplib::Request& request, httplib::Response& response) {
        if (!Intercepted(_options, request, response))
            AnswerSignatures(_options.folder, request, response);
    });
    _server->Get(std::string(kKeyPrefix) + "(.*)",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     if (!Intercepted(_options, request, response))
                         AnswerKey(_options.folder, request, response);
                 });
    // One answer per connection: a kept-alive connection would hold stop() for the keep-alive
    // time-out, and a reference service gains nothing from reusing them.
    _server->set_keep_alive_max_count(1);
    // The library's default also sets SO_REUSEPORT, which lets a second service bind a port that
    // is in use and silently share its requests; only reuse a port left in TIME_WAIT.
    _server->set_socket_options([](socket_t socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    auto logLine = _options.logLine;
    if (!logLine)
        logLine = [](const std::string& line) { std::cerr << line << std::endl; };
    _server->set_logger(
        [logLine](const httplib::Request& request, const httplib::Response& response) {
            logLine(request.remote_addr + " \"" + request.method + " " + request.target + "\" " +
                    std::to_string(response.status) + " " + std::to_string(response.body.size()));
        });
}

SignatureService::~SignatureService() {
    stop();
}

std::string SignatureService::baseUrl() const {
    const bool ipv6 = _options.address.find(':') != std::string::npos;
    const std::string host = ipv6 ? "[" + _options.address + "]" : _options.address;
    return "http://" + host + ":" + std::to_string(_port);
}

bool SignatureService::bind() {
    if (_options.port == 0) {
        _port = _server->bind_to_any_port(_options.address);
    } else {
        _port = _server->bind_to_port(_options.address, _options.port) ? _options.port : -1;
    }
    if (_port < 0) {
        _error =
            "Could not listen on " + _options.address + " port " + std::to_string(_options.port);
        return false;
    }
    return true;
}

bool SignatureService::start() {
    if (!bind())
        return false;
    _listenEnded = false;
    _thread = std::thread([this]() {
        _server->listen_after_bind();
        _listenEnded = true;
    });
    // stop() only reaches a server that has begun listening; the socket already accepts
    // connections (they wait in its backlog), so this wait is short.
    while (!_server->is_running() && !_listenEnded)
        std::this_thread::yield();
    return true;
}

void SignatureService::wait() {
    if (_thread.joinable())
        _thread.join();
}

void SignatureService::stop() {
    _server->stop();
    if (_thread.joinable())
        _thread.join();
}

}  // namespace quillet
