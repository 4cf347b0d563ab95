// line_model: a modelled home line in front of a service on loopback.
//
//   line_model rtt=20ms,down=30mbit 127.0.0.1:8080 [PORT]
//
// Listens on PORT (any free one without it), prints the address to use
// instead of the service's ("127.0.0.1:PORT") on its first line, then
// carries every connection until it is killed.
#include "standin/line_model.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    standin::line_settings line;
    std::string error;
    std::string target = argc >= 3 ? argv[2] : "";
    size_t colon = target.rfind(':');
    int listen_port = argc == 4 ? atoi(argv[3]) : 0;
    int port = colon == std::string::npos ? 0 : atoi(target.c_str() + colon + 1);
    if (argc < 3 || argc > 4 || port <= 0 || port > 65535 || listen_port < 0 || listen_port > 65535 ||
        !standin::parse_line_settings(argv[1], &line, &error)) {
        fprintf(stderr, "line_model: %s\nusage: line_model rtt=20ms,down=30mbit HOST:PORT [LISTEN_PORT]\n",
                error.empty() ? "a line and the service's address" : error.c_str());
        return 2;
    }
    asio::io_context io;
    uint16_t listening = standin::start_line(io, line, static_cast<uint16_t>(listen_port), target.substr(0, colon),
                                             static_cast<uint16_t>(port));
    if (listening == 0) {
        fprintf(stderr, "line_model: cannot carry connections to %s\n", target.c_str());
        return 1;
    }
    printf("127.0.0.1:%u\n", listening);
    fflush(stdout);
    io.run();
    return 0;
}
