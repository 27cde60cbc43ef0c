// Stand-in for /usr/bin/defaults: "defaults read DOMAIN KEY" prints the value kept in
// ROOT/var/fake-mac/defaults/DOMAIN/KEY, or reports on its error output, as the real tool does,
// that the pair does not exist.
#include <cstdio>
#include <string>

#include "StandIn.h"

int main(int argc, char* argv[]) {
    if (argc != 4 || std::string(argv[1]) != "read") {
        std::fprintf(stderr, "usage: defaults read DOMAIN KEY\n");
        return 1;
    }
    const std::string domain = argv[2], key = argv[3];
    const auto folder = standin::RootFromArgv0(argv[0]) / "var/fake-mac/defaults" / domain;
    if (const auto value = standin::ReadFile(folder / key)) {
        std::fputs(value->c_str(), stdout);
        if (value->empty() || value->back() != '\n')
            std::fputc('\n', stdout);
        return 0;
    }
    std::fprintf(stderr, "\nThe domain/default pair of (%s, %s) does not exist\n", domain.c_str(),
                 key.c_str());
    return 1;
}
