// The bytes of the stream relay: the address the player is given, the
// request it sends back, the request the relay sends the stream host in its
// place, the host's answer head and body, and the head the player gets.
// No Windows header here: unit-tested natively and fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>

// A stream's id is a random 64-bit number, written as 16 hexadecimal
// digits: another program on the machine cannot guess its way to a stream
// of the subscriber's session. Id 0 is never given out: it answers 404.
//
// "http://127.0.0.1:<port>/<id>" into out; false, with out empty, when it
// does not fit.
bool format_relay_url(uint16_t port, uint64_t id, char* out, size_t out_size);

// Reads the stream id from the player's request head ("GET /<id> HTTP/1.1"
// and its header lines). False for any other method, path or a head that
// holds no whole request line.
bool parse_relay_request(const char* head, size_t n, uint64_t* id);

// Where the player's head ends: the length up to and including its empty
// line, or 0 while it has none.
size_t request_head_length(const char* head, size_t n);

// An http or https address taken apart. The request target carries the
// address's bytes as they stand, except that every byte of 0x80 or above
// and the blank are percent-encoded byte for byte (a raw one would break the
// request line); a fragment ("#...") is not sent.
//
// User information ("user:password@host") is taken as credentials, as the
// player took it: percent-decoded, then sent to that host as HTTP Basic
// authorization ("user:password" in base64).
const size_t longest_host = 256;
const size_t longest_target = 2048;
const size_t longest_credentials = 344;  // 255 bytes of "user:password" in base64
struct http_address {
    bool https;
    char host[longest_host];  // a name or an IPv4 address, or an IPv6 one without its brackets
    uint16_t port;
    char target[longest_target];  // "/path?query"
    char credentials[longest_credentials + 1];  // base64, "" when the address has none
};
// False for any other scheme, an empty or malformed host, a bad port, user
// information without a user name or with control bytes once decoded,
// control bytes, or parts that do not fit.
bool parse_http_address(const char* url, http_address* out);

// Whether two addresses name the same scheme, host and port (the host
// compared without case): credentials go to no other.
bool same_origin(const http_address& a, const http_address& b);

// The request the stream host gets: "GET <target> HTTP/1.1", its own Host
// line, then the header lines of the player's request as it sent them,
// except Host, the hop-by-hop ones (Connection, Keep-Alive, Proxy-*, TE,
// Trailer, Transfer-Encoding, Upgrade) and Accept-Encoding (the relay reads
// playlists, so the body must come unencoded), and Authorization: with
// credentials, "Authorization: Basic <credentials>" instead. Last
// "Connection: close" and the empty line. Returns the length, or -1 (out
// empty) when it does not fit.
int32_t format_host_request(const http_address& to, const char* player_head, size_t player_head_n, char* out,
                            size_t out_size);

// What the relay reads from the head of the host's answer.
struct host_answer {
    int32_t status;          // 0 when the status line is not HTTP's (or ICY's)
    size_t head_length;      // through the empty line
    bool chunked;            // Transfer-Encoding: chunked
    int64_t content_length;  // -1 when not given, or not a number
    bool lengths_differ;     // two Content-Length lines with different values: an answer to refuse
    char location[longest_target];  // a redirect's Location ("" when none or too long)
    char content_type[128];
};
// Reads the head of the host's answer. False while it is not whole yet.
bool parse_host_answer(const char* data, size_t n, host_answer* out);

// The head the player gets: "HTTP/1.0 200 OK" or "HTTP/1.0 206 Partial
// Content" with the host's entity headers that the player needs
// (Content-Type, Content-Range, Accept-Ranges, icy-*), never a Location
// or a cookie; any other status is "502 Bad Gateway" and carries none of
// them. Content-Length is the relay's own: content_length when not
// negative (a rewritten playlist), else the one length the relay reads the
// host's body by (none for a chunked body or one whose length is not a
// number). Then "Cache-Control: no-cache", "Connection: close" and the
// empty line. Header lines with control bytes are dropped.
// Returns the length, or -1 (out empty) when it does not fit.
int32_t format_player_head(int32_t status, const char* host_head, size_t host_head_n, int64_t content_length,
                           char* out, size_t out_size);
// The head of an answer with no body of the host's: 404 (an unknown or
// retired stream) or 502.
int32_t format_plain_head(int32_t status, char* out, size_t out_size);

// Reads a chunked body in place: the chunks' data moved to the front of the
// buffer, everything else dropped.
struct chunk_reader {
    int32_t state;       // where in the chunk syntax the reader is
    uint64_t remaining;  // data bytes left in this chunk
    bool size_seen;      // a digit of the size was read
};
void chunk_begin(chunk_reader* r);
// Decodes n bytes of data in place; the decoded length, or -1 for a body
// that is not chunked as HTTP says. *finished turns true at the last chunk.
int64_t chunk_take(chunk_reader* r, char* data, size_t n, bool* finished);

// A transport stream is made of 188-byte packets, each opening with 0x47.
constexpr size_t ts_packet = 188;
constexpr uint8_t ts_sync = 0x47;
// Where the first whole packet of a stream's bytes begins: the first sync
// byte that the next two packets' places (as far as the bytes go) confirm;
// n when there is none.
size_t packet_start(const char* data, size_t n);
