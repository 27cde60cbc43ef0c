// Stand-in for /usr/bin/osascript. It recognises the script it is given by the comment on the
// script's first line ("-- NAME"), records the run, and answers from the fake Mac:
//   ROOT/var/fake-mac/osascript/NAME/stdout, stderr, exit  canned output and exit status
//   ROOT/var/fake-mac/osascript/NAME/crash                 present: the tool dies by a signal
// Every run appends "NAME<TAB>script path" to ROOT/var/fake-mac/osascript.log and keeps the
// script text it was given in ROOT/var/fake-mac/osascript/NAME/last-script.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "StandIn.h"

namespace {

std::string ScriptName(const std::string& text) {
    const std::string firstLine = text.substr(0, text.find('\n'));
    const auto start = firstLine.find_first_not_of("-# \t");
    if (start == std::string::npos) return {};
    auto name = firstLine.substr(start);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\r')) name.pop_back();
    return name;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: osascript FILE\n");
        return 1;
    }
    const auto root = standin::RootFromArgv0(argv[0]);
    const auto fakeMac = root / "var/fake-mac";
    const auto text = standin::ReadFile(argv[1]);
    if (!text) {
        std::fprintf(stderr, "osascript: %s: No such file or directory\n", argv[1]);
        return 1;
    }
    const std::string name = ScriptName(*text);
    standin::AppendLine(fakeMac / "osascript.log", name + "\t" + argv[1]);
    const auto folder = fakeMac / "osascript" / name;
    standin::WriteFile(folder / "last-script", *text);

    if (standin::fs::exists(folder / "crash")) std::raise(SIGKILL);
    if (const auto err = standin::ReadFile(folder / "stderr")) std::fputs(err->c_str(), stderr);
    if (const auto out = standin::ReadFile(folder / "stdout")) std::fputs(out->c_str(), stdout);
    if (const auto code = standin::ReadFile(folder / "exit")) return std::atoi(code->c_str());
    return 0;
}
