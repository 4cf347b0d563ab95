// tvservice: the stand-in for the operator's service. One request line per
// connection, answered from the demo data; live channels over HTTP. All
// connections and encoder outputs are served by a few threads running one
// event loop (Asio): an idle or slow connection costs no thread. The
// connections themselves are the library's (server.h); this program reads
// its command line, sets up what they share and runs the loop.
#include "standin/demo_data.h"
#include "standin/faults.h"
#include "standin/protocol.h"
#include "standin/server.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <asio.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace standin;

namespace {

// The event loop's threads: a small fixed number, whatever the load.
const int32_t worker_threads = 4;

server_options& opts = world.opts;
std::string work_dir;

void usage() {
    fprintf(stderr,
            "usage: tvservice [--listen HOST:PORT] [--public HOST:PORT] [--data FILE] [--log FILE]\n"
            "                 [--fault KIND=FAULT]... [--control FILE] [--hold SECONDS] [--port-file FILE]\n"
            "                 [--list-accounts] [--on-air] [--max-connections N] [--session-minutes N]\n"
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
        } else if (a == "--max-connections") {
            if (!value(&v) || (opts.max_connections = atoi(v.c_str())) < 1) return false;
        } else if (a == "--session-minutes") {
            if (!value(&v) || (opts.session_minutes = atoi(v.c_str())) < 1) return false;
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
        world.log_file = fopen(opts.log.c_str(), "a");
        if (world.log_file == nullptr) {
            fprintf(stderr, "tvservice: cannot write the log %s: %s\n", opts.log.c_str(), strerror(errno));
            return 1;
        }
    }
    set_faults(opts.faults);

    // Each connection is a descriptor: let the cap, not the descriptor
    // limit, bound them.
    rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    asio::io_context io;
    asio::ip::tcp::acceptor listener(io);
    asio::error_code net_error;
    asio::ip::address host = asio::ip::make_address_v4(opts.listen_host, net_error);
    if (net_error) {
        fprintf(stderr, "tvservice: %s is not an IPv4 address\n", opts.listen_host.c_str());
        return 1;
    }
    asio::ip::tcp::endpoint at(host, opts.listen_port);
    listener.open(at.protocol(), net_error);
    if (!net_error) listener.set_option(asio::ip::tcp::acceptor::reuse_address(true), net_error);
    if (!net_error) listener.bind(at, net_error);
    if (!net_error) listener.listen(asio::socket_base::max_listen_connections, net_error);
    if (net_error) {
        fprintf(stderr, "tvservice: cannot listen on %s:%u: %s\n", opts.listen_host.c_str(),
                static_cast<unsigned>(opts.listen_port), net_error.message().c_str());
        return 1;
    }
    uint16_t port = listener.local_endpoint().port();
    std::string address = opts.listen_host + ":" + std::to_string(port);
    if (opts.public_host.empty()) opts.public_host = address;

    char dir_template[] = "/tmp/tvservice.XXXXXX";
    if (mkdtemp(dir_template) == nullptr) {
        fprintf(stderr, "tvservice: cannot make a work folder: %s\n", strerror(errno));
        return 1;
    }
    work_dir = dir_template;

    service the_service(data, opts.public_host, opts.session_minutes * 60);
    stream_hub the_hub(io, opts.ffmpeg, work_dir);
    hls_hub the_hls(opts.ffmpeg, work_dir);
    world.svc = &the_service;
    world.hub = &the_hub;
    world.hls = &the_hls;
    if (!the_hub.prepare_clips(the_service.data().channels)) {
        fprintf(stderr, "tvservice: the broadcast-like channels' clips could not be encoded (ffmpeg with libx264?)\n");
        return 1;
    }
    if (opts.on_air)
        for (const channel& c : the_service.data().channels) world.hub->put_on_air(c);

    signal(SIGPIPE, SIG_IGN);
    asio::signal_set stop_signals(io, SIGINT, SIGTERM);
    stop_signals.async_wait([&io](const asio::error_code&, int) { io.stop(); });

    // Sessions not used for a while are forgotten.
    asio::steady_timer expiry(io);
    std::function<void()> expire = [&] {
        expiry.expires_after(std::chrono::seconds(10));
        expiry.async_wait([&](const asio::error_code& e) {
            if (e) return;
            world.svc->forget_idle_sessions();
            world.hls->end_idle(std::chrono::seconds(30));
            expire();
        });
    };
    expire();

    acceptor accepting(io, listener);
    accepting.start();
    asio::ip::tcp::acceptor second_listener(io);
    second_listener.open(at.protocol(), net_error);
    if (!net_error) second_listener.bind(asio::ip::tcp::endpoint(host, 0), net_error);
    if (!net_error) second_listener.listen(asio::socket_base::max_listen_connections, net_error);
    acceptor second_accepting(io, second_listener);
    if (!net_error) {
        world.second_port = second_listener.local_endpoint().port();
        second_accepting.start();
    }

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

    // No exception may end the service: one that leaves a handler is
    // logged and the loop goes on.
    auto run = [&io] {
        for (;;) {
            try {
                io.run();
                return;
            } catch (const std::exception& e) {
                log_line(std::string("ERROR ") + e.what());
            }
        }
    };
    std::vector<std::thread> workers;
    for (int32_t i = 1; i < worker_threads; ++i) {
        try {
            workers.emplace_back(run);
        } catch (const std::system_error& e) {
            fprintf(stderr, "tvservice: runs with fewer threads: %s\n", e.what());
        }
    }
    run();
    for (std::thread& t : workers) t.join();

    world.hub->stop_all();
    world.hls->stop_all();
    for (const channel& c : data.channels) unlink((work_dir + "/name-" + c.id + ".txt").c_str());
    rmdir(work_dir.c_str());
    if (world.log_file) fflush(world.log_file);
    printf("tvservice: stopped\n");
    fflush(stdout);
    _exit(0);
}
