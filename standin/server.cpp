#include "standin/server.h"

#include "standin/protocol.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace standin {

server_world world;

namespace {

std::atomic<int32_t> open_connections{0};
std::atomic<int64_t> refused_connections{0};

std::mutex log_lock;

std::mutex faults_lock;
fault_table current_faults;
struct timespec control_mtime = {0, 0};
off_t control_size = -1;

// The control file, when given, is read again whenever it changes; its
// settings apply on top of those of the command line.
// The stream connections open now, by session: a client that ends its
// previous stream before it opens the next never has two.
struct counted_stream {
    std::string session;
    int fd = -1;  // the connection's socket, open while it is counted
};
std::mutex streams_lock;
std::map<std::string, std::vector<counted_stream*>> open_streams;

// Whether the client has closed its side of a connection (its FIN, or a
// reset, is waiting to be read).
bool peer_has_closed(int fd) {
    char byte;
    ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void log_stream(const char* what, const std::string& session, size_t now) {
    log_line(std::string(what) + " sid=" + escape_for_log(session) + " open=" + std::to_string(now));
}

// Counts a new stream connection of its session and logs it with the
// session's count. A connection the client had already closed, whose close
// this service's threads have not yet handled, is no longer counted (and
// logged closed first): on a busy machine the new one's request may be
// handled before the old one's end.
void count_stream_open(counted_stream* s) {
    std::vector<size_t> closed;
    size_t now;
    {
        std::lock_guard<std::mutex> hold(streams_lock);
        std::vector<counted_stream*>& mine = open_streams[s->session];
        for (auto it = mine.begin(); it != mine.end();) {
            if (peer_has_closed((*it)->fd)) {
                it = mine.erase(it);
                closed.push_back(mine.size());
            } else {
                ++it;
            }
        }
        mine.push_back(s);
        now = mine.size();
    }
    for (size_t left : closed) log_stream("STREAM CLOSED", s->session, left);
    log_stream("STREAM OPEN", s->session, now);
}

// The end of a counted stream connection, before its socket closes.
void count_stream_closed(counted_stream* s) {
    size_t now;
    {
        std::lock_guard<std::mutex> hold(streams_lock);
        auto session = open_streams.find(s->session);
        if (session == open_streams.end()) return;
        std::vector<counted_stream*>& mine = session->second;
        auto counted = std::find(mine.begin(), mine.end(), s);
        if (counted == mine.end()) return;  // never counted, or counted closed already
        mine.erase(counted);
        now = mine.size();
        if (mine.empty()) open_streams.erase(session);
    }
    log_stream("STREAM CLOSED", s->session, now);
}

// The value of a header line of a request head ("" when none).
std::string header_value(const std::string& head, const std::string& name) {
    size_t at = 0;
    while (at < head.size()) {
        size_t end = head.find("\r\n", at);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(at, end - at);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
            size_t v = name.size() + 1;
            while (v < line.size() && line[v] == ' ') ++v;
            return line.substr(v);
        }
        at = end + 2;
    }
    return std::string();
}

// What the drop and refuse faults remember between connections, under
// faults_lock (the connections run on several threads): when and which
// channel's stream was last dropped, whether a "once" drop happened, and
// the segments whose first request was refused.
std::chrono::steady_clock::time_point last_drop;
std::string last_drop_channel;
bool dropped_once = false;
std::set<std::string> refused_segments;

// Whether a request for the channel comes within 5 s of its stream's drop.
bool just_dropped(const std::string& channel) {
    std::lock_guard<std::mutex> hold(faults_lock);
    return last_drop.time_since_epoch().count() != 0 && channel == last_drop_channel &&
           std::chrono::steady_clock::now() - last_drop < std::chrono::seconds(5);
}

// Whether this stream is to be dropped: every one, or with "once" the first.
bool drop_this_one(bool once) {
    std::lock_guard<std::mutex> hold(faults_lock);
    if (once && dropped_once) return false;
    dropped_once = true;
    return true;
}

void note_drop(const std::string& channel) {
    std::lock_guard<std::mutex> hold(faults_lock);
    last_drop = std::chrono::steady_clock::now();
    last_drop_channel = channel;
}

// True the first time a segment is asked for (under the refuse fault).
bool first_request_of(const std::string& segment) {
    std::lock_guard<std::mutex> hold(faults_lock);
    return refused_segments.insert(segment).second;
}

fault_table faults_now() {
    std::lock_guard<std::mutex> hold(faults_lock);
    if (!world.opts.control.empty()) {
        struct stat st;
        bool exists = stat(world.opts.control.c_str(), &st) == 0;
        off_t size = exists ? st.st_size : -1;
        if (!exists) {
            current_faults = world.opts.faults;
            control_size = -1;
        } else if (st.st_mtim.tv_sec != control_mtime.tv_sec || st.st_mtim.tv_nsec != control_mtime.tv_nsec ||
                   size != control_size) {
            control_mtime = st.st_mtim;
            control_size = size;
            std::string text;
            if (FILE* f = fopen(world.opts.control.c_str(), "r")) {
                char buf[4096];
                size_t n;
                while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
                fclose(f);
            }
            fault_table t = world.opts.faults;
            std::string error;
            if (apply_fault_settings(text, &t, &error)) {
                current_faults = t;
                // New faults: a "once" drop and a refusal start afresh.
                dropped_once = false;
                last_drop = std::chrono::steady_clock::time_point();
                refused_segments.clear();
            } else {
                fprintf(stderr, "tvservice: %s: %s (faults unchanged)\n", world.opts.control.c_str(), error.c_str());
            }
        }
    }
    return current_faults;
}

fault fault_for(const fault_table& t, request_kind kind) {
    size_t i = static_cast<size_t>(kind);
    return i < fault_kinds ? t.of[i] : fault::none;
}

// One connection: its request line, then the answer, a fault or a stream.
// Every step is asynchronous on the connection's strand, so an idle or slow
// connection costs no thread, and every wait has a time limit.
class connection : public std::enable_shared_from_this<connection> {
public:
    explicit connection(asio::ip::tcp::socket socket)
        : socket_(std::move(socket)), timer_(socket_.get_executor()), pause_timer_(socket_.get_executor()),
          linger_timer_(socket_.get_executor()),
          in_(max_request_line + 2) {
        ++open_connections;
        // Not handed on to the encoders started while it is open: a
        // connection the stand-in closes must end for its reader too.
        fcntl(socket_.native_handle(), F_SETFD, FD_CLOEXEC);
    }
    ~connection() {
        leave_stream();
        uncount_stream();
        --open_connections;
    }
    void start() {
        auto self = shared_from_this();
        limit(std::chrono::seconds(10));
        asio::async_read_until(socket_, in_, "\r\n",
                               [self](const asio::error_code&, size_t) { self->take_request_line(); });
    }

private:
    // Closes the connection when the time runs out; a new limit replaces it.
    void limit(std::chrono::steady_clock::duration d) {
        auto self = shared_from_this();
        timer_.expires_after(d);
        timer_.async_wait([self](const asio::error_code& error) {
            if (!error) self->close();
        });
    }
    void close() {
        asio::error_code ignored;
        timer_.cancel();
        pause_timer_.cancel();
        uncount_stream();  // while its socket is still open
        socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }
    void uncount_stream() { count_stream_closed(&stream_); }

    // What arrived: up to the first "\r\n", or all of it (a line cut short,
    // too long or never finished, which the parser refuses).
    void take_request_line() {
        timer_.cancel();
        std::string got(asio::buffers_begin(in_.data()), asio::buffers_end(in_.data()));
        in_.consume(in_.size());
        size_t end = got.find("\r\n");
        std::string line = end == std::string::npos ? got : got.substr(0, end + 2);
        if (end != std::string::npos) rest_ = got.substr(end + 2);
        request_ = parse_request_line(line);
        if (request_.kind == request_kind::bad) {
            std::string shown = line.size() > 200 ? line.substr(0, 200) + "..." : line;
            log_line("BAD (" + request_.reason + ") " + escape_for_log(shown));
            close();
            return;
        }
        log_line(escape_for_log(line));
        faults_ = faults_now();
        if (request_.kind == request_kind::stream) {
            read_stream_headers();
        } else {
            answer(world.svc->respond(request_, static_cast<int64_t>(time(nullptr))));
        }
    }

    // Sends bytes, then does what follows; a send that makes no progress
    // for 10 s ends the connection.
    void send(std::string bytes, std::function<void()> then) {
        auto self = shared_from_this();
        auto data = std::make_shared<std::string>(std::move(bytes));
        limit(std::chrono::seconds(10));
        asio::async_write(socket_, asio::buffer(*data), [self, data, then](const asio::error_code& error, size_t) {
            self->timer_.cancel();
            if (error) {
                self->close();
            } else {
                then();
            }
        });
    }
    void send_and_close(std::string bytes) {
        auto self = shared_from_this();
        send(std::move(bytes), [self] { self->close(); });
    }

    // Keeps the connection open, saying nothing, until the client closes it
    // or the time passes.
    void hold(int32_t seconds) {
        limit(std::chrono::seconds(seconds));
        discard_input();
    }
    // Reads and drops what the client sends, until it closes. While a
    // stream plays, this pending read also keeps the connection alive and
    // notices at once a viewer that went away.
    void discard_input() {
        if (reading_) return;
        reading_ = true;
        auto self = shared_from_this();
        socket_.async_read_some(asio::buffer(scratch_), [self](const asio::error_code& error, size_t) {
            self->reading_ = false;
            if (error) {
                self->close();
                self->leave_stream();
            } else {
                self->discard_input();
            }
        });
    }

    void answer(std::string response) {
        auto self = shared_from_this();
        int32_t hold_seconds = faults_.hold_seconds;
        auto then_hold = [self, hold_seconds] { self->hold(hold_seconds); };
        switch (fault_for(faults_, request_.kind)) {
        case fault::none:
        case fault::stall:
        case fault::redirect:
        case fault::burst:
        case fault::body:
        case fault::drop:
            send_and_close(std::move(response));
            return;
        case fault::silent:
            hold(hold_seconds);
            return;
        case fault::close:
            close();
            return;
        case fault::one_byte:
            send(response.empty() ? "x" : response.substr(0, 1), then_hold);
            return;
        case fault::trailing_zero:
            response.push_back('\0');
            send(std::move(response), then_hold);
            return;
        case fault::huge:
            response.push_back(sep);
            while (response.size() < 40000) response += "filler";
            send_and_close(std::move(response));
            return;
        case fault::drip: {
            asio::error_code ignored;
            socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
            drip_ = std::move(response);
            drip_at_ = 0;
            drip_next();
            return;
        }
        case fault::stall_half:
            response.resize(response.size() / 2);
            send(std::move(response), then_hold);
            return;
        case fault::wrong_version:
            send_and_close("0.02");
            return;
        }
    }

    // One piece of a dripped answer, then the pause before the next.
    void drip_next() {
        if (drip_at_ >= drip_.size()) {
            close();
            return;
        }
        auto self = shared_from_this();
        size_t piece = std::min(static_cast<size_t>(faults_.drip_bytes), drip_.size() - drip_at_);
        std::string bytes = drip_.substr(drip_at_, piece);
        drip_at_ += piece;
        send(std::move(bytes), [self] {
            self->pause_timer_.expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(self->faults_.drip_seconds)));
            self->pause_timer_.async_wait([self](const asio::error_code& error) {
                if (!error) self->drip_next();
            });
        });
    }

    // The rest of the player's HTTP request: header lines up to the empty
    // line, for at most 5 s and 16 KiB.
    void read_stream_headers() {
        bool whole = ("\r\n" + rest_).find("\r\n\r\n") != std::string::npos;
        if (whole || rest_.size() >= 16384 || headers_waited_) {
            timer_.cancel();
            start_stream();
            return;
        }
        auto self = shared_from_this();
        if (!headers_limit_set_) {
            headers_limit_set_ = true;
            timer_.expires_after(std::chrono::seconds(5));
            timer_.async_wait([self](const asio::error_code& error) {
                if (error) return;
                self->headers_waited_ = true;
                asio::error_code ignored;
                self->socket_.cancel(ignored);
            });
        }
        socket_.async_read_some(asio::buffer(scratch_), [self](const asio::error_code& error, size_t n) {
            if (error && error != asio::error::operation_aborted) {
                self->close();
                return;
            }
            self->rest_.append(self->scratch_, n);
            self->read_stream_headers();
        });
    }

    void start_stream() {
        auto self = shared_from_this();
        // Which player asked: the one the client's player library sends.
        log_line("USER-AGENT " + escape_for_log(header_value(rest_, "User-Agent")));
        std::string authorization = header_value(rest_, "Authorization");
        if (!authorization.empty()) log_line("AUTHORIZATION " + escape_for_log(authorization));
        if (!request_.hls_file.empty()) {
            serve_hls();
            return;
        }
        const channel* c = world.svc->stream_channel(request_);
        if (c != nullptr) {
            stream_.session = request_.session_id;
            stream_.fd = socket_.native_handle();
            count_stream_open(&stream_);
        }
        if (c == nullptr) {
            send_and_close("HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        fault f = fault_for(faults_, request_kind::stream);
        if (f == fault::redirect && !request_.moved) {
            std::string to = faults_.redirect_to;
            if (to == "self") to = "http://" + world.opts.public_host + request_.stream_path + "&moved=1";
            if (to == "other")
                to = "http://" + world.opts.listen_host + ":" + std::to_string(world.second_port) +
                     request_.stream_path + "&moved=1";
            send_and_close("HTTP/1.0 302 Found\r\nLocation: " + to +
                           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        if (f == fault::burst) {
            send_burst(faults_.burst_megabytes);
            return;
        }
        if (f == fault::body) {
            send_canned_body(faults_.body_name);
            return;
        }
        if (f == fault::drop) {
            if (faults_.drop_refuse && just_dropped(request_.stream_channel)) {
                log_line("STREAM REFUSED");
                close();
                return;
            }
            if (drop_this_one(faults_.drop_once)) {
                pause_timer_.expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(faults_.drop_seconds)));
                pause_timer_.async_wait([self](const asio::error_code& error) {
                    if (!error) self->drop();
                });
            }
        }
        if (f == fault::stall) {
            pause_timer_.expires_after(std::chrono::seconds(faults_.stall_seconds));
            pause_timer_.async_wait([self](const asio::error_code& error) {
                if (error) return;
                // The picture stops; the connection stays open, silent.
                self->stalled_ = true;
                self->leave_stream();
                if (!self->writing_) self->hold(3600);
            });
        }
        send("HTTP/1.0 200 OK\r\nContent-Type: video/MP2T\r\nCache-Control: no-cache\r\n"
             "Connection: close\r\n\r\n",
             [self, c] { self->watch(*c); });
    }

    // An HLS channel: the master playlist (for a known session, once the
    // channel's encoder has written two segments), its variant playlist and
    // its segments.
    void serve_hls() {
        static const char forbidden[] = "HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        static const char missing[] = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        const bool master = request_.hls_file == "master.m3u8";
        const channel* c = master ? world.svc->stream_channel(request_) : nullptr;
        if (!master)
            for (const channel& any : world.svc->data().channels)
                if (any.id == request_.stream_channel) c = &any;
        if (c == nullptr || !c->hls) {
            send_and_close(master ? forbidden : missing);
            return;
        }
        std::string folder = world.hls->use(*c);
        if (folder.empty()) {
            send_and_close(missing);
        } else if (master) {
            wait_for_segments(folder, c->id, 80);
        } else if (request_.hls_file == "index.m3u8") {
            std::string playlist;
            if (!read_file(folder + "/index.m3u8", &playlist)) return send_and_close(missing);
            if (faults_.hls_absolute) {
                std::string absolute = "http://" + world.opts.listen_host + ":" + std::to_string(world.second_port) + "/hls/" + c->id + "/";
                std::string moved;
                size_t at = 0;
                while (at < playlist.size()) {
                    size_t end = playlist.find('\n', at);
                    if (end == std::string::npos) end = playlist.size();
                    std::string line = playlist.substr(at, end - at);
                    moved += (line.empty() || line[0] == '#' ? "" : absolute) + line + "\n";
                    at = end + 1;
                }
                playlist = moved;
            }
            send_playlist(playlist);
        } else if (faults_.hls_refuse_once && first_request_of(c->id + "/" + request_.hls_file)) {
            log_line("SEGMENT REFUSED");
            close();
        } else if (!faults_.hls_segment_redirect.empty()) {
            send_and_close("HTTP/1.0 302 Found\r\nLocation: " + faults_.hls_segment_redirect +
                           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        } else {
            std::string segment;
            if (!read_file(folder + "/" + request_.hls_file, &segment)) return send_and_close(missing);
            send_and_close("HTTP/1.0 200 OK\r\nContent-Type: video/MP2T\r\nContent-Length: " +
                           std::to_string(segment.size()) + "\r\nConnection: close\r\n\r\n" + segment);
        }
    }
    // A stream body of the given megabytes (null transport-stream packets)
    // written as fast as the reader takes it, a megabyte at a time, each
    // allowed a minute.
    void send_burst(int32_t megabytes) {
        auto packets = std::make_shared<std::string>();
        for (size_t i = 0; i < (1u << 20) / 188; ++i) packets->append("\x47\x1f\xff\x10" + std::string(184, '\xff'));
        int64_t total = static_cast<int64_t>(packets->size()) * megabytes;
        auto self = shared_from_this();
        send("HTTP/1.0 200 OK\r\nContent-Type: video/MP2T\r\nContent-Length: " + std::to_string(total) +
                 "\r\nConnection: close\r\n\r\n",
             [self, packets, megabytes] { self->send_burst_piece(packets, megabytes); });
    }
    void send_burst_piece(std::shared_ptr<std::string> packets, int32_t left) {
        if (left == 0) {
            log_line("BURST SENT");
            close();
            return;
        }
        auto self = shared_from_this();
        limit(std::chrono::seconds(60));
        asio::async_write(socket_, asio::buffer(*packets), [self, packets, left](const asio::error_code& error, size_t) {
            self->timer_.cancel();
            if (error) self->close();
            else self->send_burst_piece(packets, left - 1);
        });
    }
    // A body that the relay must judge, in place of the stream.
    void send_canned_body(const std::string& name) {
        static const char gzipped[] =  // "#EXTM3U\n#EXTINF:4,\nhttp://example.invalid/a.ts\n", gzipped
            "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x53\x76\x8d\x08\xf1\x35\x0e\xe5\x52\x06\xd2\x9e\x7e"
            "\x6e\x56\x26\x3a\x5c\x19\x25\x25\x05\x56\xfa\xfa\xa9\x15\x89\xb9\x05\x39\xa9\x7a\x99\x79\x65"
            "\x89\x39\x99\x29\xfa\x89\x7a\x25\xc5\x5c\x00\xeb\xc4\x92\x21\x2f\x00\x00\x00";
        std::string type = "application/octet-stream";
        std::string body;
        if (name == "dash") {
            type = "application/xml";
            body = "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" type=\"dynamic\">"
                   "<BaseURL>http://example.invalid/</BaseURL></MPD>\n";
        } else if (name == "smooth") {
            std::string text = "<SmoothStreamingMedia MajorVersion=\"2\" IsLive=\"TRUE\"></SmoothStreamingMedia>";
            body = "\xff\xfe";
            for (char c : text) body += std::string(1, c) + '\0';
        } else if (name == "gzip") {
            body.assign(gzipped, sizeof gzipped - 1);
        } else {
            // A byte order mark and the start of the header alone, the rest later.
            type = "text/plain";
            auto self = shared_from_this();
            send("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n\xEF\xBB\xBF#EX", [self] {
                self->pause_timer_.expires_after(std::chrono::milliseconds(300));
                self->pause_timer_.async_wait([self](const asio::error_code& error) {
                    if (!error) self->send_and_close("TM3U\n#EXTINF:4,\nhttp://example.invalid/a.ts\n");
                });
            });
            return;
        }
        send_and_close("HTTP/1.0 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    }
    void send_playlist(const std::string& playlist) {
        send_and_close("HTTP/1.0 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\nContent-Length: " +
                       std::to_string(playlist.size()) + "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n" +
                       playlist);
    }
    // Answers the master playlist once the variant has segments to play,
    // checking every 100 ms, tries times at most.
    void wait_for_segments(const std::string& folder, const std::string& id, int32_t tries) {
        if (world.hls->ready(folder) || tries <= 0) {
            std::string master = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-STREAM-INF:BANDWIDTH=1400000,RESOLUTION=640x360\n" +
                                 id + "/index.m3u8\n";
            send_playlist(master);
            return;
        }
        auto self = shared_from_this();
        pause_timer_.expires_after(std::chrono::milliseconds(100));
        pause_timer_.async_wait([self, folder, id, tries](const asio::error_code& error) {
            if (!error) self->wait_for_segments(folder, id, tries - 1);
        });
    }

    void watch(const channel& c) {
        if (stalled_) {
            hold(3600);
            return;
        }
        // A few seconds of picture in the kernel's buffer: a viewer that
        // stops reading is then seen making no progress soon, not after
        // megabytes.
        asio::error_code ignored;
        socket_.set_option(asio::socket_base::send_buffer_size(256 * 1024), ignored);
        std::weak_ptr<connection> weak = shared_from_this();
        auto executor = socket_.get_executor();
        channel_id_ = c.id;
        viewer_ = world.hub->join(c, [weak, executor] {
            asio::post(executor, [weak] {
                if (auto me = weak.lock()) me->pump();
            });
        });
        joined_ = true;
        discard_input();
        pump();
    }

    // Sends the viewer's next piece when none is on its way.
    void pump() {
        if (writing_ || !joined_ || !socket_.is_open()) return;
        std::shared_ptr<const std::string> piece;
        piece_state state = stream_hub::take_piece(*viewer_, &piece);
        if (state == piece_state::ended) {
            close();
            leave_stream();
            return;
        }
        if (state == piece_state::none_yet) return;
        auto self = shared_from_this();
        writing_ = true;
        limit(std::chrono::seconds(10));  // a viewer that takes nothing for 10 s is ended
        asio::async_write(socket_, asio::buffer(*piece), [self, piece](const asio::error_code& error, size_t) {
            self->writing_ = false;
            self->timer_.cancel();
            if (error) {
                self->close();
                self->leave_stream();
            } else if (self->stalled_) {
                self->hold(3600);
            } else {
                self->pump();
            }
        });
    }

    // The stream's connection ends under the viewer, as a broken line ends
    // it: closed, or with "reset" reset.
    void drop() {
        log_line("STREAM DROPPED");
        note_drop(request_.stream_channel);
        if (faults_.drop_reset) {
            asio::error_code ignored;
            socket_.set_option(asio::socket_base::linger(true, 0), ignored);
        }
        uncount_stream();
        timer_.cancel();
        asio::error_code ignored;
        if (!faults_.drop_reset) socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        // The channel stays on the air a while, as a head-end's does when
        // one of its connections breaks: a viewer back at once joins it.
        lingering_ = true;
        auto self = shared_from_this();
        linger_timer_.expires_after(std::chrono::seconds(5));
        linger_timer_.async_wait([self](const asio::error_code&) {
            self->lingering_ = false;
            self->leave_stream();
        });
    }

    // Leaves the channel, once: its encoder ends with its last viewer.
    void leave_stream() {
        if (!joined_ || lingering_) return;
        joined_ = false;
        world.hub->leave(channel_id_, viewer_);
    }

    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    asio::steady_timer pause_timer_;  // the drip's pauses, the stream's stall
    asio::steady_timer linger_timer_;  // a dropped stream's channel kept on the air
    asio::streambuf in_;
    char scratch_[4096];
    std::string rest_;
    request request_;
    fault_table faults_;
    std::string drip_;
    size_t drip_at_ = 0;
    bool headers_limit_set_ = false;
    bool headers_waited_ = false;
    std::shared_ptr<viewer> viewer_;
    std::string channel_id_;
    bool joined_ = false;
    bool reading_ = false;
    bool writing_ = false;
    bool stalled_ = false;
    bool lingering_ = false;
    counted_stream stream_;  // its place among its session's open streams
};

}  // namespace

void log_line(const std::string& text) {
    if (world.log_file == nullptr) return;
    std::lock_guard<std::mutex> hold(log_lock);
    fputs(text.c_str(), world.log_file);
    fputc('\n', world.log_file);
    fflush(world.log_file);
}

void set_faults(const fault_table& faults) {
    std::lock_guard<std::mutex> hold(faults_lock);
    current_faults = faults;
}

void acceptor::start() {
    listener_.async_accept(asio::make_strand(io_), [this](const asio::error_code& error, asio::ip::tcp::socket s) {
        if (error == asio::error::operation_aborted) return;
        if (error) {
            // Out of descriptors or memory for a moment: try again soon.
            retry_.expires_after(std::chrono::milliseconds(100));
            retry_.async_wait([this](const asio::error_code& e) {
                if (!e) start();
            });
            return;
        }
        if (open_connections.load() >= world.opts.max_connections) {
            int64_t n = ++refused_connections;
            log_line("REFUSED (" + std::to_string(world.opts.max_connections) + " connections open) " +
                     std::to_string(n) + " so far");
            asio::error_code ignored;
            s.close(ignored);
        } else {
            std::make_shared<connection>(std::move(s))->start();
        }
        start();
    });
}

}  // namespace standin
