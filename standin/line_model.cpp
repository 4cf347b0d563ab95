#include "standin/line_model.h"

#include <asio/connect.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

namespace standin {

namespace {

using line_clock = std::chrono::steady_clock;
using asio::ip::tcp;

const size_t piece_size = 16384;
const size_t most_queued = 4u << 20;  // beyond this a direction stops reading until it drains

// One direction of the line, shared by every connection: when it is free
// to carry the next byte, at its rate.
struct link {
    uint64_t bits_per_second = 0;
    line_clock::time_point free_at;

    // When n bytes handed over at now have crossed the link's bottleneck.
    line_clock::time_point carry(size_t n, line_clock::time_point now) {
        if (bits_per_second == 0) return now;
        if (free_at < now) free_at = now;
        free_at += std::chrono::microseconds(static_cast<int64_t>(n) * 8 * 1000000 /
                                             static_cast<int64_t>(bits_per_second));
        return free_at;
    }
};

struct the_line {
    line_settings settings;
    link down;
    link up;
};

class line_connection;

// Bytes read from one socket, written to the other when their time comes;
// an empty piece is the end of that side's sending.
struct piece {
    line_clock::time_point due;
    std::vector<char> bytes;
};

class direction {
public:
    direction(line_connection* owner, tcp::socket* from, tcp::socket* to, link* carried_by, bool upwards)
        : owner_(owner), from_(from), to_(to), link_(carried_by), upwards_(upwards), timer_(from->get_executor()) {}
    void start();
    void stop() {
        asio::error_code ignored;
        timer_.cancel(ignored);
    }
    bool done() const { return finished_; }

private:
    void read();
    void queue(std::vector<char> bytes);
    void write_next();

    line_connection* owner_;
    tcp::socket* from_;
    tcp::socket* to_;
    link* link_;
    bool upwards_;
    asio::steady_timer timer_;
    std::deque<piece> queued_;
    size_t queued_bytes_ = 0;
    bool reading_ = false;
    bool writing_ = false;
    bool read_ended_ = false;
    bool finished_ = false;
    std::vector<char> buffer_ = std::vector<char>(piece_size);
};

class line_connection : public std::enable_shared_from_this<line_connection> {
public:
    line_connection(tcp::socket client, tcp::socket server, the_line* line)
        : client_(std::move(client)), server_(std::move(server)), line_(line), opened_(line_clock::now()),
          up_(this, &client_, &server_, &line->up, true), down_(this, &server_, &client_, &line->down, false) {}

    void start() {
        up_.start();
        down_.start();
    }
    // The connection's first bytes wait for its handshake: one round trip
    // from its opening; then every byte takes half a round trip.
    line_clock::time_point due(size_t n, bool upwards, link* l) {
        line_clock::time_point now = line_clock::now();
        if (upwards && now < opened_ + rtt()) now = opened_ + rtt();
        return l->carry(n, now) + rtt() / 2;
    }
    // A side ended or failed: the connection closes once both have finished,
    // or at once on a failure.
    void finished(bool failed) {
        if (!failed && !(up_.done() && down_.done())) return;
        up_.stop();
        down_.stop();
        asio::error_code ignored;
        client_.close(ignored);
        server_.close(ignored);
    }
    std::shared_ptr<line_connection> self() { return shared_from_this(); }

private:
    std::chrono::microseconds rtt() const { return std::chrono::milliseconds(line_->settings.rtt_ms); }

    tcp::socket client_;
    tcp::socket server_;
    the_line* line_;
    line_clock::time_point opened_;
    direction up_;
    direction down_;
};

void direction::start() { read(); }

void direction::read() {
    if (reading_ || read_ended_ || queued_bytes_ > most_queued) return;
    reading_ = true;
    auto keep = owner_->self();
    from_->async_read_some(asio::buffer(buffer_), [this, keep](const asio::error_code& error, size_t n) {
        reading_ = false;
        if (error || n == 0) {
            read_ended_ = true;
            queue(std::vector<char>());  // the end goes over the line as the bytes do
            return;
        }
        queue(std::vector<char>(buffer_.begin(), buffer_.begin() + static_cast<long>(n)));
        read();
    });
}

void direction::queue(std::vector<char> bytes) {
    piece p;
    p.due = owner_->due(bytes.size(), upwards_, link_);
    p.bytes = std::move(bytes);
    queued_bytes_ += p.bytes.size();
    queued_.push_back(std::move(p));
    write_next();
}

void direction::write_next() {
    if (writing_ || queued_.empty()) return;
    writing_ = true;
    auto keep = owner_->self();
    timer_.expires_at(queued_.front().due);
    timer_.async_wait([this, keep](const asio::error_code& error) {
        if (error) {
            writing_ = false;
            return;
        }
        if (queued_.front().bytes.empty()) {
            // That side sent all it had: so does this one, now.
            asio::error_code ignored;
            to_->shutdown(tcp::socket::shutdown_send, ignored);
            queued_.clear();
            writing_ = false;
            finished_ = true;
            owner_->finished(false);
            return;
        }
        asio::async_write(*to_, asio::buffer(queued_.front().bytes),
                          [this, keep](const asio::error_code& error, size_t) {
                              writing_ = false;
                              if (error) {
                                  finished_ = true;
                                  owner_->finished(true);
                                  return;
                              }
                              queued_bytes_ -= queued_.front().bytes.size();
                              queued_.pop_front();
                              write_next();
                              read();
                          });
    });
}

void accept_next(std::shared_ptr<tcp::acceptor> acceptor, std::shared_ptr<the_line> line, tcp::endpoint target) {
    acceptor->async_accept([acceptor, line, target](const asio::error_code& error, tcp::socket client) {
        if (error == asio::error::operation_aborted) return;
        if (!error) {
            tcp::socket server(acceptor->get_executor());
            asio::error_code failed;
            server.connect(target, failed);  // loopback: at once
            if (!failed) {
                asio::error_code ignored;
                client.set_option(tcp::no_delay(true), ignored);
                server.set_option(tcp::no_delay(true), ignored);
                std::make_shared<line_connection>(std::move(client), std::move(server), line.get())->start();
            }
        }
        accept_next(acceptor, line, target);
    });
}

// "30mbit" and the like, in bits a second.
bool parse_rate(const std::string& text, uint64_t* bits) {
    char* end = nullptr;
    double value = strtod(text.c_str(), &end);
    std::string unit = end == nullptr ? "" : end;
    double scale = unit == "bit" ? 1 : unit == "kbit" ? 1e3 : unit == "mbit" ? 1e6 : unit == "gbit" ? 1e9 : 0;
    if (end == text.c_str() || scale == 0 || !(value > 0) || value * scale > 1e12) return false;
    *bits = static_cast<uint64_t>(value * scale);
    return true;
}

}  // namespace

bool parse_line_settings(const std::string& text, line_settings* out, std::string* error) {
    line_settings s;
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        std::string item = text.substr(at, comma - at);
        at = comma + 1;
        size_t eq = item.find('=');
        std::string name = item.substr(0, eq);
        std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
        bool ok = false;
        if (name == "rtt") {
            char* end = nullptr;
            double v = strtod(value.c_str(), &end);
            std::string unit = end == nullptr ? "" : end;
            double ms = unit == "ms" ? v : unit == "s" ? v * 1000 : -1;
            ok = end != value.c_str() && ms >= 0 && ms <= 10000;
            if (ok) s.rtt_ms = static_cast<uint32_t>(ms + 0.5);
        } else if (name == "down") {
            ok = parse_rate(value, &s.down_bits_per_second);
        } else if (name == "up") {
            ok = parse_rate(value, &s.up_bits_per_second);
        }
        if (!ok) {
            *error = "a line is rtt=20ms,down=30mbit[,up=5mbit], not '" + item + "'";
            return false;
        }
    }
    *out = s;
    return true;
}

uint16_t start_line(asio::io_context& io, const line_settings& settings, uint16_t listen_port,
                    const std::string& target_host, uint16_t target_port) {
    asio::error_code error;
    tcp::endpoint target(asio::ip::make_address(target_host, error), target_port);
    if (error) return 0;
    auto acceptor = std::make_shared<tcp::acceptor>(io);
    tcp::endpoint here(asio::ip::address_v4::loopback(), listen_port);
    acceptor->open(here.protocol(), error);
    if (!error) acceptor->set_option(tcp::acceptor::reuse_address(true), error);
    if (!error) acceptor->bind(here, error);
    if (!error) acceptor->listen(asio::socket_base::max_listen_connections, error);
    if (error) return 0;
    auto line = std::make_shared<the_line>();
    line->settings = settings;
    line->down.bits_per_second = settings.down_bits_per_second;
    line->up.bits_per_second = settings.up_bits_per_second;
    accept_next(acceptor, line, target);
    return acceptor->local_endpoint().port();
}

}  // namespace standin
