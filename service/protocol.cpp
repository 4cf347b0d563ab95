#include "service/protocol.h"

#include <cstdio>
#include <cstring>

namespace {

const char request_prefix[] = "GET http://";
const char request_path[] = "/socket_server/server.php?input=";

// Joins the prefix, host, path and body into out, then "\r\n".
int32_t finish_line(char* out, size_t out_size, const char* host, const char* body, int body_len) {
    if (out == nullptr || out_size == 0) return -1;
    out[0] = '\0';
    if (body_len < 0) return -1;
    int n = snprintf(out, out_size, "%s%s%s%s\r\n", request_prefix, host ? host : "", request_path, body);
    if (n < 0 || static_cast<size_t>(n) >= out_size) {
        memset(out, 0, out_size);
        return -1;
    }
    return n;
}

const char* safe(const char* s) { return s ? s : ""; }

// A body of the form user<sep>U<sep>pass<sep>P<sep>word<sep>value.
int32_t user_request(char* out, size_t out_size, const char* host, const char* user,
                     const char* pass, const char* word, const char* value) {
    char body[request_line_size];
    int n = snprintf(body, sizeof body, "user%c%s%cpass%c%s%c%s%c%s", field_separator, safe(user),
                     field_separator, field_separator, safe(pass), field_separator, word,
                     field_separator, safe(value));
    if (n < 0 || static_cast<size_t>(n) >= sizeof body) n = -1;
    return finish_line(out, out_size, host, body, n);
}

}  // namespace

bool parse_service_address(const char* text, service_address* out) {
    memset(out, 0, sizeof *out);
    if (text == nullptr) return false;
    size_t len = strlen(text);
    if (len == 0 || len >= sizeof out->host_text) return false;

    const char* colon = strrchr(text, ':');
    size_t name_len = colon ? static_cast<size_t>(colon - text) : len;
    uint32_t port = 80;
    if (colon != nullptr) {
        const char* p = colon + 1;
        if (*p == '\0' || strlen(p) > 5) return false;
        port = 0;
        for (; *p; ++p) {
            if (*p < '0' || *p > '9') return false;
            port = port * 10 + static_cast<uint32_t>(*p - '0');
        }
        if (port == 0 || port > 65535) return false;
    }
    if (name_len == 0) return false;
    for (size_t i = 0; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c <= ' ' || c == '/' || c == 0x7f) return false;
    }

    memcpy(out->host_text, text, len);
    memcpy(out->host_name, text, name_len);
    out->port = static_cast<uint16_t>(port);
    return true;
}

int32_t format_version_request(char* out, size_t out_size, const char* host) {
    return finish_line(out, out_size, host, "version", 7);
}

int32_t format_account_info_request(char* out, size_t out_size, const char* host,
                                    const char* user, const char* pass) {
    return user_request(out, out_size, host, user, pass, "account", "info");
}

int32_t format_shares_info_request(char* out, size_t out_size, const char* host,
                                   const char* user, const char* pass) {
    return user_request(out, out_size, host, user, pass, "shares", "info");
}

int32_t format_keepsession_request(char* out, size_t out_size, const char* host,
                                   const char* user, const char* pass,
                                   const char* session_id, const char* seeder_id) {
    char tail[request_line_size];
    int n = snprintf(tail, sizeof tail, "%s%cseederid%c%s", safe(session_id), field_separator,
                     field_separator, safe(seeder_id));
    if (n < 0 || static_cast<size_t>(n) >= sizeof tail) {
        if (out && out_size) memset(out, 0, out_size);
        return -1;
    }
    return user_request(out, out_size, host, user, pass, "keepsession", tail);
}

int32_t format_channelslist_request(char* out, size_t out_size, const char* host,
                                    const char* user, const char* pass) {
    return user_request(out, out_size, host, user, pass, "channelslist", "info");
}

int32_t format_epg_request(char* out, size_t out_size, const char* host,
                           const char* user, const char* pass, const char* channel_id) {
    return user_request(out, out_size, host, user, pass, "epg", channel_id);
}

uint32_t next_wait_ms(uint64_t elapsed_ms) {
    if (elapsed_ms >= exchange_ms) return 0;
    uint64_t left = exchange_ms - elapsed_ms;
    return left < wait_ms ? static_cast<uint32_t>(left) : wait_ms;
}

void receive_begin(receive_state* state) {
    memset(state, 0, sizeof *state);
}

bool receive_take(receive_state* state, const char* chunk, int32_t n) {
    if (n <= 0) return false;
    if (n > static_cast<int32_t>(receive_chunk_size)) n = receive_chunk_size;
    // The total never exceeds response_size while reception goes on, so one
    // more chunk always fits.
    memcpy(state->area + state->total, chunk, static_cast<size_t>(n));
    state->total += static_cast<uint32_t>(n);
    if (n < 2) return false;
    if (chunk[n - 2] == '\0' || chunk[n - 1] == '\0') return false;
    return state->total <= response_size;
}

void receive_copy_out(const receive_state* state, char* buffer, uint32_t size) {
    uint32_t from_area = size < accumulation_size ? size : accumulation_size;
    memcpy(buffer, state->area, from_area);
    if (size > from_area) memset(buffer + from_area, 0, size - from_area);
}
