#pragma once
// A small reference signature service that serves the signatures of one folder: "<key>.html"
// holds the HTML of signature key. It answers the two requests that Quillet sends, so tests, the
// demo and an organisation trying Quillet can run one on their own machine. It reads the folder
// at every request, so a changed file is served at once.

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace quillet {

struct SignatureServiceOptions {
    std::filesystem::path folder;
    std::string address = "127.0.0.1";  // loopback unless told otherwise
    int port = 0;                       // 0 picks a free port; port() tells which
    // Receives one line per request; without it the lines go to standard error.
    std::function<void(const std::string&)> logLine;
    // Sees each request's raw target before the service answers it, and may answer it instead
    // (a status and a body): a caller that stands in for a real service can delay or fail
    // requests and count them.
    std::function<std::optional<std::pair<int, std::string>>(const std::string& target)> intercept =
        nullptr;
};

class SignatureService {
public:
    explicit SignatureService(SignatureServiceOptions options);
    ~SignatureService();  // stops serving
    SignatureService(const SignatureService&) = delete;
    SignatureService& operator=(const SignatureService&) = delete;

    // Binds and serves on a thread of its own; false, with error(), when the address or port
    // cannot be bound. Requests may be sent as soon as it returns true.
    bool start();
    // Waits until the serving thread ends (stop() called from another thread).
    void wait();
    // Stops serving and waits for the serving thread; safe to call more than once.
    void stop();

    int port() const { return _port; }
    // "http://ADDRESS:PORT", what Quillet takes as its service base URL.
    std::string baseUrl() const;
    const std::string& error() const { return _error; }
    const std::filesystem::path& folder() const { return _options.folder; }

private:
    bool bind();

    SignatureServiceOptions _options;
    std::unique_ptr<httplib::Server> _server;
    std::thread _thread;
    std::atomic<bool> _listenEnded = false;
    int _port = -1;
    std::string _error;
};

// The file of a key's signature; none for a key that is empty or holds "/", ".." or a NUL, so no
// key ever names a file outside the folder.
std::optional<std::filesystem::path> SignatureFilePath(const std::filesystem::path& folder,
                                                       const std::string& key);
// The text of a key's signature; none when the key is unknown (no such regular file).
std::optional<std::string> ReadSignature(const std::filesystem::path& folder,
                                         const std::string& key);
// The keys of the raw query "keys=a,b%2Cc": split at the literal commas, then each decoded
// ("%2C" is a comma inside a key; "+" is a space, as in any query).
std::vector<std::string> KeysFromQuery(const std::string& rawQuery);
// Decodes %XX escapes (and "+" as a space when asked); a malformed escape stays as it is.
std::string PercentDecode(const std::string& text, bool plusIsSpace);

}  // namespace quillet
