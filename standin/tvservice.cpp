// tvservice: the stand-in for the operator's service. One request line per
// connection, answered from the demo data; live channels over HTTP.
#include "standin/demo_data.h"
#include "standin/faults.h"
#include "standin/protocol.h"
#include "standin/service.h"
#include "standin/streams.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

#ifndef TVSERVICE_DEFAULT_DATA
#define TVSERVICE_DEFAULT_DATA "standin/demo.yaml"
#endif

using namespace standin;

namespace {

struct options {
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
};

options opts;
service* svc = nullptr;
stream_hub* hub = nullptr;
std::atomic<bool> stopping{false};
int wake_pipe[2] = {-1, -1};
std::string work_dir;

std::mutex log_lock;
FILE* log_file = nullptr;

std::mutex faults_lock;
fault_table current_faults;
struct timespec control_mtime = {0, 0};
off_t control_size = -1;

void log_line(const std::string& text) {
    if (log_file == nullptr) return;
    std::lock_guard<std::mutex> hold(log_lock);
    fputs(text.c_str(), log_file);
    fputc('\n', log_file);
    fflush(log_file);
}

// The control file, when given, is read again whenever it changes; its
// settings apply on top of those of the command line.
fault_table faults_now() {
    std::lock_guard<std::mutex> hold(faults_lock);
    if (!opts.control.empty()) {
        struct stat st;
        bool exists = stat(opts.control.c_str(), &st) == 0;
        off_t size = exists ? st.st_size : -1;
        if (!exists) {
            current_faults = opts.faults;
            control_size = -1;
        } else if (st.st_mtim.tv_sec != control_mtime.tv_sec || st.st_mtim.tv_nsec != control_mtime.tv_nsec ||
                   size != control_size) {
            control_mtime = st.st_mtim;
            control_size = size;
            std::string text;
            if (FILE* f = fopen(opts.control.c_str(), "r")) {
                char buf[4096];
                size_t n;
                while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
                fclose(f);
            }
            fault_table t = opts.faults;
            std::string error;
            if (apply_fault_settings(text, &t, &error)) {
                current_faults = t;
            } else {
                fprintf(stderr, "tvservice: %s: %s (faults unchanged)\n", opts.control.c_str(), error.c_str());
            }
        }
    }
    return current_faults;
}

fault fault_for(const fault_table& t, request_kind kind) {
    size_t i = static_cast<size_t>(kind);
    return i < fault_kinds ? t.of[i] : fault::none;
}

bool send_all(int fd, const char* data, size_t n) {
    while (n > 0) {
        ssize_t sent = send(fd, data, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

// Keeps the connection open, saying nothing, until the client closes it,
// the hold time passes or the service stops.
void hold_open(int fd, int32_t seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!stopping && std::chrono::steady_clock::now() < until) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 200) > 0) {
            char c[256];
            ssize_t n = recv(fd, c, sizeof c, 0);
            if (n <= 0) return;
        }
    }
}

// Reads up to the first "\r\n" (or what arrives before the time limit).
std::string read_line(int fd, std::string* rest) {
    std::string got;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.find("\r\n") == std::string::npos && got.size() <= max_request_line + 2) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        until - std::chrono::steady_clock::now()).count());
        if (left <= 0 || stopping) break;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) break;
        char buf[1024];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    size_t end = got.find("\r\n");
    if (end == std::string::npos) return got;
    *rest = got.substr(end + 2);
    return got.substr(0, end + 2);
}

void answer(int fd, const request& r, const std::string& response, const fault_table& t) {
    fault f = fault_for(t, r.kind);
    switch (f) {
    case fault::none:
    case fault::stall:
    case fault::redirect:
        send_all(fd, response.data(), response.size());
        return;
    case fault::silent:
        hold_open(fd, t.hold_seconds);
        return;
    case fault::close:
        return;
    case fault::one_byte:
        send_all(fd, response.empty() ? "x" : response.data(), 1);
        hold_open(fd, t.hold_seconds);
        return;
    case fault::trailing_zero: {
        std::string with_zero = response;
        with_zero.push_back('\0');
        send_all(fd, with_zero.data(), with_zero.size());
        hold_open(fd, t.hold_seconds);
        return;
    }
    case fault::huge: {
        std::string big = response;
        big.push_back(sep);
        while (big.size() < 40000) big += "filler";
        send_all(fd, big.data(), big.size());
        return;
    }
    case fault::drip: {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        size_t piece = static_cast<size_t>(t.drip_bytes);
        auto pause = std::chrono::duration<double>(t.drip_seconds);
        for (size_t at = 0; at < response.size() && !stopping; at += piece) {
            if (!send_all(fd, response.data() + at, std::min(piece, response.size() - at))) return;
            auto until = std::chrono::steady_clock::now() + pause;
            while (!stopping && std::chrono::steady_clock::now() < until) usleep(1000);
        }
        return;
    }
    case fault::stall_half:
        send_all(fd, response.data(), response.size() / 2);
        hold_open(fd, t.hold_seconds);
        return;
    case fault::wrong_version:
        send_all(fd, "0.02", 4);
        return;
    }
}

void serve_stream(int fd, const request& r, const std::string& rest, const fault_table& t) {
    // The rest of the HTTP request: headers up to the empty line.
    std::string headers = "\r\n" + rest;  // the request line ended in "\r\n"
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (headers.find("\r\n\r\n") == std::string::npos && headers.size() < 16384 &&
           std::chrono::steady_clock::now() < until) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char buf[1024];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return;
        headers.append(buf, static_cast<size_t>(n));
    }
    const channel* c = svc->stream_channel(r);
    if (c == nullptr) {
        const char forbidden[] = "HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        send_all(fd, forbidden, sizeof forbidden - 1);
        return;
    }
    fault f = fault_for(t, request_kind::stream);
    if (f == fault::redirect && !r.moved) {
        std::string to = t.redirect_to;
        if (to == "self") to = "http://" + opts.public_host + r.stream_path + "&moved=1";
        std::string moved = "HTTP/1.0 302 Found\r\nLocation: " + to +
                            "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        send_all(fd, moved.data(), moved.size());
        return;
    }
    const char ok[] = "HTTP/1.0 200 OK\r\nContent-Type: video/MP2T\r\nCache-Control: no-cache\r\n"
                      "Connection: close\r\n\r\n";
    if (!send_all(fd, ok, sizeof ok - 1)) return;
    auto stall_at = std::chrono::steady_clock::now() + std::chrono::seconds(t.stall_seconds);
    std::shared_ptr<viewer> v = hub->join(*c);
    std::shared_ptr<const std::string> piece;
    bool stalled = false;
    while (!stopping) {
        if (f == fault::stall && std::chrono::steady_clock::now() >= stall_at) {
            stalled = true;
            break;
        }
        if (!stream_hub::next_piece(*v, &piece, 500)) break;
        if (piece && !send_all(fd, piece->data(), piece->size())) break;
    }
    hub->leave(c->id, v);
    if (stalled) hold_open(fd, 3600);
}

void handle_connection(int fd) {
    std::string rest;
    std::string line = read_line(fd, &rest);
    request r = parse_request_line(line);
    if (r.kind == request_kind::bad) {
        std::string shown = line.size() > 200 ? line.substr(0, 200) + "..." : line;
        log_line("BAD (" + r.reason + ") " + escape_for_log(shown));
        close(fd);
        return;
    }
    log_line(escape_for_log(line));
    fault_table t = faults_now();
    if (r.kind == request_kind::stream) {
        serve_stream(fd, r, rest, t);
    } else {
        std::string response = svc->respond(r, static_cast<int64_t>(time(nullptr)));
        answer(fd, r, response, t);
    }
    close(fd);
}

void on_signal(int) {
    stopping = true;
    if (wake_pipe[1] >= 0) {
        ssize_t ignored = write(wake_pipe[1], "x", 1);
        (void)ignored;
    }
}

void usage() {
    fprintf(stderr,
            "usage: tvservice [--listen HOST:PORT] [--public HOST:PORT] [--data FILE] [--log FILE]\n"
            "                 [--fault KIND=FAULT]... [--control FILE] [--hold SECONDS] [--port-file FILE]\n"
            "                 [--list-accounts] [--on-air]\n"
            "  KIND: version account shares keepsession channelslist epg stream all\n"
            "  FAULT: none silent close one_byte trailing_zero huge drip[:SECONDS[/BYTES]]\n"
            "         stall_half wrong_version (version) stall[:SECONDS] (stream)\n"
            "         redirect[:LOCATION] (stream; LOCATION \"self\" by default: the same\n"
            "         stream here, e.g. redirect:file:///etc/hostname)\n");
}

bool split_host_port(const std::string& text, std::string* host, uint16_t* port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    *host = text.substr(0, colon);
    long p = strtol(text.c_str() + colon + 1, nullptr, 10);
    if (p < 0 || p > 65535) return false;
    *port = static_cast<uint16_t>(p);
    return !host->empty();
}

bool parse_options(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--listen") {
            if (!value(&v) || !split_host_port(v, &opts.listen_host, &opts.listen_port)) return false;
        } else if (a == "--public") {
            if (!value(&opts.public_host)) return false;
        } else if (a == "--data") {
            if (!value(&opts.data)) return false;
        } else if (a == "--log") {
            if (!value(&opts.log)) return false;
        } else if (a == "--control") {
            if (!value(&opts.control)) return false;
        } else if (a == "--port-file") {
            if (!value(&opts.port_file)) return false;
        } else if (a == "--ffmpeg") {
            if (!value(&opts.ffmpeg)) return false;
        } else if (a == "--hold") {
            if (!value(&v)) return false;
            opts.faults.hold_seconds = atoi(v.c_str());
        } else if (a == "--on-air") {
            opts.on_air = true;
        } else if (a == "--list-accounts") {
            opts.list_accounts = true;
        } else if (a == "--fault") {
            std::string error;
            if (!value(&v) || !apply_fault_setting(v, &opts.faults, &error)) {
                fprintf(stderr, "tvservice: %s\n", error.c_str());
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!parse_options(argc, argv)) {
        usage();
        return 2;
    }
    demo_data data;
    std::string error;
    if (!load_demo_file(opts.data, &data, &error)) {
        fprintf(stderr, "tvservice: %s\n", error.c_str());
        return 1;
    }
    if (opts.list_accounts) {
        for (const account& a : data.accounts) {
            printf("  %-10s password %-10s %s %s, credit %s%s\n", a.user.c_str(), a.password.c_str(),
                   a.first_name.c_str(), a.last_name.c_str(), format_cents(a.credit_cents).c_str(),
                   a.shares.empty() ? "" : ", with shared accounts");
        }
        return 0;
    }
    if (!opts.log.empty()) {
        log_file = fopen(opts.log.c_str(), "a");
        if (log_file == nullptr) {
            fprintf(stderr, "tvservice: cannot write the log %s: %s\n", opts.log.c_str(), strerror(errno));
            return 1;
        }
    }
    current_faults = opts.faults;

    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_port = htons(opts.listen_port);
    if (inet_pton(AF_INET, opts.listen_host.c_str(), &at.sin_addr) != 1) {
        fprintf(stderr, "tvservice: %s is not an IPv4 address\n", opts.listen_host.c_str());
        return 1;
    }
    if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener, 128) != 0) {
        fprintf(stderr, "tvservice: cannot listen on %s:%u: %s\n", opts.listen_host.c_str(),
                static_cast<unsigned>(opts.listen_port), strerror(errno));
        return 1;
    }
    socklen_t len = sizeof at;
    getsockname(listener, reinterpret_cast<sockaddr*>(&at), &len);
    uint16_t port = ntohs(at.sin_port);
    std::string address = opts.listen_host + ":" + std::to_string(port);
    if (opts.public_host.empty()) opts.public_host = address;

    char dir_template[] = "/tmp/tvservice.XXXXXX";
    if (mkdtemp(dir_template) == nullptr) {
        fprintf(stderr, "tvservice: cannot make a work folder: %s\n", strerror(errno));
        return 1;
    }
    work_dir = dir_template;

    service the_service(data, opts.public_host);
    stream_hub the_hub(opts.ffmpeg, work_dir);
    svc = &the_service;
    hub = &the_hub;
    if (opts.on_air)
        for (const channel& c : the_service.data().channels) hub->put_on_air(c);

    if (pipe2(wake_pipe, O_CLOEXEC) != 0) return 1;
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    if (!opts.port_file.empty()) {
        std::string tmp = opts.port_file + ".tmp";
        if (FILE* f = fopen(tmp.c_str(), "w")) {
            fprintf(f, "%u\n", static_cast<unsigned>(port));
            fclose(f);
            rename(tmp.c_str(), opts.port_file.c_str());
        }
    }
    printf("tvservice: listening on %s with %zu accounts and %zu channels\n", address.c_str(),
           data.accounts.size(), data.channels.size());
    fflush(stdout);

    while (!stopping) {
        pollfd p[2] = {{listener, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0) continue;
        if (p[1].revents) break;
        if (!(p[0].revents & POLLIN)) continue;
        int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::thread(handle_connection, fd).detach();
    }

    close(listener);
    hub->stop_all();
    for (const channel& c : data.channels) unlink((work_dir + "/name-" + c.id + ".txt").c_str());
    rmdir(work_dir.c_str());
    if (log_file) fflush(log_file);
    printf("tvservice: stopped\n");
    fflush(stdout);
    _exit(0);
}
