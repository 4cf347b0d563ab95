// The stand-in's network side: the connections it accepts (a request line
// answered from the service, a fault, a live stream or an HLS playlist and
// its segments) and the acceptor that takes them, on one Asio event loop.
// tvservice.cpp reads the command line and sets up the world they share.
#pragma once

#include "standin/faults.h"
#include "standin/hls.h"
#include "standin/service.h"
#include "standin/streams.h"

#include <asio.hpp>

#include <cstdint>
#include <cstdio>
#include <string>

#ifndef TVSERVICE_DEFAULT_DATA
#define TVSERVICE_DEFAULT_DATA "standin/demo.yaml"
#endif

namespace standin {

struct server_options {
    std::string listen_host = "127.0.0.1";
    uint16_t listen_port = 8080;
    std::string public_host;  // defaults to the listening address
    std::string data = TVSERVICE_DEFAULT_DATA;
    std::string log;
    std::string control;
    std::string port_file;
    std::string ffmpeg = "ffmpeg";
    fault_table faults;
    bool list_accounts = false;
    bool on_air = false;
    int32_t max_connections = 4096;
    int32_t session_minutes = 30;
};

// What every connection shares, set up before the first is accepted.
struct server_world {
    server_options opts;
    service* svc = nullptr;
    stream_hub* hub = nullptr;
    hls_hub* hls = nullptr;
    // The service's second port: HLS segments named by absolute addresses
    // there (the "hls=absolute" fault) come from another host, as on a
    // content network.
    uint16_t second_port = 0;
    FILE* log_file = nullptr;  // the request log, when one is written
};
extern server_world world;

// Appends a line to the request log (nothing without one).
void log_line(const std::string& text);
// The faults in force from now on (the control file's, when one is given,
// go on top of these).
void set_faults(const fault_table& faults);

// Accepts connections for as long as the service runs. Beyond the cap a
// connection is accepted and closed at once, and counted in the log.
class acceptor {
public:
    acceptor(asio::io_context& io, asio::ip::tcp::acceptor& listener) : io_(io), listener_(listener), retry_(io) {}
    void start();

private:
    asio::io_context& io_;
    asio::ip::tcp::acceptor& listener_;
    asio::steady_timer retry_;
};

}  // namespace standin
