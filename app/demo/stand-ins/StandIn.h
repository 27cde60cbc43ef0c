#pragma once
// What the stand-in tools share: finding the fake Mac they live in, and small file helpers.

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace standin {

namespace fs = std::filesystem;

// The stand-in runs as ROOT/usr/bin/NAME and is started with that absolute path.
inline fs::path RootFromArgv0(const char* argv0) {
    return fs::absolute(fs::path(argv0)).parent_path().parent_path().parent_path();
}

inline std::optional<std::string> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline void AppendLine(const fs::path& path, const std::string& line) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::app) << line << '\n';
}

}  // namespace standin
