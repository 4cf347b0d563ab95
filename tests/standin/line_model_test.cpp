// The benchmarks' home line: a request's first answer byte comes two round
// trips after its connection opened (the handshake, then the request and
// the answer each half a round trip), and the bytes towards the client
// come no faster than the downstream rate.
#include "standin/line_model.h"

#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

using standin::line_settings;
using standin::parse_line_settings;
using standin::start_line;
using asio::ip::tcp;

namespace {

using ms = std::chrono::milliseconds;

// A server that answers each connection's first piece with the given number
// of body bytes and closes; the line in front of it, on a thread of its own.
class LineModel : public ::testing::Test {
protected:
    void start(const std::string& settings, size_t body_bytes) {
        line_settings line;
        std::string error;
        ASSERT_TRUE(parse_line_settings(settings, &line, &error)) << error;
        server_ = std::thread([this, body_bytes] {
            asio::io_context io;
            tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
            server_port_ = acceptor.local_endpoint().port();
            ready_ = true;
            tcp::socket s(io);
            acceptor.accept(s);
            char request[512];
            asio::error_code error;
            s.read_some(asio::buffer(request), error);
            asio::write(s, asio::buffer("HTTP/1.0 200 OK\r\n\r\n" + std::string(body_bytes, 'x')), error);
        });
        while (!ready_) std::this_thread::sleep_for(ms(1));
        line_port_ = start_line(line_io_, line, 0, "127.0.0.1", server_port_);
        ASSERT_NE(line_port_, 0);
        line_thread_ = std::thread([this] { line_io_.run(); });
    }
    void TearDown() override {
        line_io_.stop();
        if (line_thread_.joinable()) line_thread_.join();
        if (server_.joinable()) server_.join();
    }
    // Asks through the line; the times to the first answer byte and to the
    // end of the answer, and its length.
    void ask(ms* first, ms* whole, size_t* length) {
        asio::io_context io;
        tcp::socket s(io);
        auto opened = std::chrono::steady_clock::now();
        s.connect(tcp::endpoint(asio::ip::address_v4::loopback(), line_port_));
        asio::write(s, asio::buffer(std::string("GET / HTTP/1.0\r\n\r\n")));
        char byte;
        asio::read(s, asio::buffer(&byte, 1));
        *first = std::chrono::duration_cast<ms>(std::chrono::steady_clock::now() - opened);
        std::string rest;
        asio::error_code end;
        asio::read(s, asio::dynamic_buffer(rest), end);
        *whole = std::chrono::duration_cast<ms>(std::chrono::steady_clock::now() - opened);
        *length = 1 + rest.size();
    }

    std::thread server_;
    std::atomic<bool> ready_{false};
    uint16_t server_port_ = 0;
    asio::io_context line_io_;
    std::thread line_thread_;
    uint16_t line_port_ = 0;
};

TEST_F(LineModel, TheFirstAnswerByteComesTwoRoundTripsAfterTheConnectionOpened) {
    start("rtt=150ms", 10);
    ms first, whole;
    size_t length = 0;
    ask(&first, &whole, &length);
    EXPECT_GE(first.count(), 300);
    EXPECT_LT(first.count(), 300 + 150) << "a round trip more than the line's";
    EXPECT_EQ(length, 19u + 10u);
}

TEST_F(LineModel, TheAnswerComesNoFasterThanTheDownstreamRate) {
    // 1.5 MB at 12 Mbit/s: a second on the line, after the two round trips.
    start("rtt=20ms,down=12mbit", 1500000);
    ms first, whole;
    size_t length = 0;
    ask(&first, &whole, &length);
    EXPECT_EQ(length, 19u + 1500000u);
    EXPECT_GE(whole.count(), 1000 + 40);
    EXPECT_LT(whole.count(), 3000);
}

TEST(LineModelSettings, AreReadWithTheirUnits) {
    line_settings line;
    std::string error;
    ASSERT_TRUE(parse_line_settings("rtt=20ms,down=30mbit", &line, &error)) << error;
    EXPECT_EQ(line.rtt_ms, 20u);
    EXPECT_EQ(line.down_bits_per_second, 30000000u);
    EXPECT_EQ(line.up_bits_per_second, 0u);
    ASSERT_TRUE(parse_line_settings("up=512kbit,rtt=0.06s", &line, &error)) << error;
    EXPECT_EQ(line.rtt_ms, 60u);
    EXPECT_EQ(line.up_bits_per_second, 512000u);
    EXPECT_EQ(line.down_bits_per_second, 0u);
    for (const char* bad : {"", "rtt=20", "rtt=fast", "down=30", "down=-1mbit", "rtt=20ms,", "delay=20ms",
                            "rtt=20ms,down=30mbyte"}) {
        EXPECT_FALSE(parse_line_settings(bad, &line, &error)) << bad;
        EXPECT_NE(error.find("rtt=20ms"), std::string::npos) << bad;
    }
}

}  // namespace
