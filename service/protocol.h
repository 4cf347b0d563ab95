// Request lines, the service address and the receive rule of one exchange.
// No Windows header here: everything is plain bytes and unit-tested natively.
#pragma once

#include <cstddef>
#include <cstdint>

// The service separates fields, in requests and responses, with this byte.
constexpr char field_separator = '\x01';

// Response sizes the callers hand to service_request.
constexpr uint32_t response_size = 32000;
constexpr uint32_t keepsession_response_size = 1024;

// One receive takes at most this many bytes; reception stops once the total
// passes response_size, so the accumulation area needs room for one more chunk.
constexpr uint32_t receive_chunk_size = 1000;
constexpr uint32_t accumulation_size = response_size + receive_chunk_size;

// Room for the longest request line: host (255), user and password (31 each),
// session id (255), seeder id and channel id, the fixed words and separators.
constexpr uint32_t request_line_size = 1024;

// Where the service is: the host text as it appears in request lines
// ("127.0.0.1:8080"), the name to resolve and the port to connect to.
struct service_address {
    char host_text[256];
    char host_name[256];
    uint16_t port;
};

// Reads "host" or "host:port" (port 80 when none is given). Returns false,
// leaving out cleared, for an empty or overlong text, an empty host name or a
// port that is not a number from 1 to 65535.
bool parse_service_address(const char* text, service_address* out);

// The request lines of the catalogue. Each writes the whole line, ending in
// "\r\n", into out (always terminated) and returns its length; values are
// inserted byte for byte, without escaping. When the line would not fit, out
// is left empty and the result is -1, so nothing half-built is ever sent.
int32_t format_version_request(char* out, size_t out_size, const char* host);
int32_t format_account_info_request(char* out, size_t out_size, const char* host,
                                    const char* user, const char* pass);
int32_t format_shares_info_request(char* out, size_t out_size, const char* host,
                                   const char* user, const char* pass);
int32_t format_keepsession_request(char* out, size_t out_size, const char* host,
                                   const char* user, const char* pass,
                                   const char* session_id, const char* seeder_id);
int32_t format_channelslist_request(char* out, size_t out_size, const char* host,
                                    const char* user, const char* pass);
int32_t format_epg_request(char* out, size_t out_size, const char* host,
                           const char* user, const char* pass, const char* channel_id);

// Each wait of an exchange (connect, first answer, each later receive) lasts
// at most wait_ms, and the whole exchange, from the start of the connect to
// the end of reception, at most exchange_ms: a service that drips its answer
// cannot hold the program for longer.
constexpr uint32_t wait_ms = 5000;
constexpr uint32_t exchange_ms = 15000;

// The next wait, given the milliseconds since the exchange began: wait_ms,
// or what is left of exchange_ms when that is less (0 once it has passed).
uint32_t next_wait_ms(uint64_t elapsed_ms);

// The receive rule of one exchange, kept apart from the sockets so that it can
// be driven by any sequence of receives.
struct receive_state {
    char area[accumulation_size];
    uint32_t total;
};

void receive_begin(receive_state* state);

// Takes the result of one receive: n bytes in chunk (n <= receive_chunk_size),
// 0 for a closed connection, negative for an error (nothing is appended).
// Returns true while reception goes on: this receive brought at least 2 bytes,
// neither of its last two bytes is zero, and the total is at most 32000.
bool receive_take(receive_state* state, const char* chunk, int32_t n);

// Copies the first size bytes of the accumulation area (received bytes, then
// zeros) into the caller's buffer.
void receive_copy_out(const receive_state* state, char* buffer, uint32_t size);
