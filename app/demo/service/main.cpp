// quillet-signature-service: serves the "<key>.html" files of a folder as the signature service.
//   quillet-signature-service [--folder DIR] [--address ADDRESS] [--port PORT]
// Prints "Serving DIR on http://ADDRESS:PORT" on standard output once it accepts requests (with
// --port 0, the default, a free port is chosen), then one line per request on standard error.
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/demo/service/SignatureService.h"

namespace {

int Usage(const char* program, int status) {
    (status == 0 ? std::cout : std::cerr)
        << "usage: " << program << " [--folder DIR] [--address ADDRESS] [--port PORT]\n"
        << "  --folder DIR      the folder of <key>.html files (default: the current folder)\n"
        << "  --address ADDRESS the address to listen on (default: 127.0.0.1)\n"
        << "  --port PORT       the port to listen on; 0 picks a free one (default: 0)\n";
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    quillet::SignatureServiceOptions options;
    options.folder = ".";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h")
            return Usage(argv[0], 0);
        if (i + 1 >= argc)
            return Usage(argv[0], 2);
        const std::string value = argv[++i];
        if (argument == "--folder") {
            options.folder = value;
        } else if (argument == "--address") {
            options.address = value;
        } else if (argument == "--port") {
            char* end = nullptr;
            const long port = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || port < 0 || port > 65535)
                return Usage(argv[0], 2);
            options.port = static_cast<int>(port);
        } else {
            return Usage(argv[0], 2);
        }
    }

    quillet::SignatureService service(options);
    if (!service.start()) {
        std::cerr << service.error() << std::endl;
        return 1;
    }
    std::cout << "Serving " << options.folder.string() << " on " << service.baseUrl() << std::endl;
    service.wait();  // serves until the process is ended
    return 0;
}
