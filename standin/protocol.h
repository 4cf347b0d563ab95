// The stand-in service's side of the protocol: reading request lines and
// building responses. No sockets here; unit-tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

constexpr char sep = '\x01';

enum class request_kind {
    version,
    account_info,
    shares_info,
    keepsession,
    channelslist,
    epg,
    stream,  // an HTTP GET of a live channel
    bad,
};

const char* kind_name(request_kind kind);

struct request {
    request_kind kind = request_kind::bad;
    std::string user;
    std::string pass;
    std::string session_id;  // keepsession, stream
    std::string seeder_id;   // keepsession
    std::string channel_id;  // epg, stream
    std::string stream_channel;  // stream: the "ch" parameter
    std::string stream_path;     // stream: the path and query as requested
    bool moved = false;          // stream: "moved=1", the target of a redirect
    // An HLS channel: "master.m3u8" (its master playlist, which carries the
    // session), or a file of the channel's folder ("index.m3u8", a segment),
    // then in stream_channel.
    std::string hls_file;
    std::string reason;      // bad: why
};

// Longest request line the service reads before giving up on a connection.
constexpr size_t max_request_line = 4096;

// Reads one request line (with its "\r\n" or, for a stream, the HTTP request
// line). Fields of the protocol are split exactly, so empty values count.
request parse_request_line(const std::string& line);

// Joins fields with the separator byte.
std::string join_fields(const std::vector<std::string>& fields);

// Shows a request line in the log: printable ASCII as is, every other byte
// (the separator, "\r", "\n", bytes above 0x7e) and the backslash as \xNN.
std::string escape_for_log(const std::string& bytes);

// Money is kept in cents and shown as "12.50".
std::string format_cents(int64_t cents);
bool parse_cents(const std::string& text, int64_t* cents);

// Reads a query parameter ("ch", "sid", "channelid") from a URL path.
std::string query_value(const std::string& path, const std::string& name);

}  // namespace standin
