// A home line in front of the stand-in, for the benchmarks: a TCP relay on
// loopback that holds each connection's first bytes one round trip (its
// handshake), delays every byte half a round trip each way, and gives the
// bytes towards the client one downstream rate that all connections share.
// No kernel queueing discipline is needed (nor available on the build
// machines); the client, the baseline and the stand-in run unchanged.
#pragma once

#include <asio/io_context.hpp>

#include <cstdint>
#include <string>

namespace standin {

struct line_settings {
    uint32_t rtt_ms = 0;
    uint64_t down_bits_per_second = 0;  // 0: as fast as loopback
    uint64_t up_bits_per_second = 0;
};

// Reads "rtt=20ms,down=30mbit[,up=5mbit]" (rtt in ms or s, rates in bit,
// kbit, mbit or gbit a second); false with the reason in *error.
bool parse_line_settings(const std::string& text, line_settings* out, std::string* error);

// Listens on 127.0.0.1:listen_port (0 for any free port) and carries each
// connection to target_host:target_port over the line; runs on io. The
// port it listens on, or 0 when it cannot listen.
uint16_t start_line(asio::io_context& io, const line_settings& line, uint16_t listen_port,
                    const std::string& target_host, uint16_t target_port);

}  // namespace standin
