#include "relay/relay_rules.h"

#include <cstdio>
#include <cstring>

namespace {

const size_t id_digits = 16;
// Longer header lines than this are not passed on either way.
const size_t longest_header_line = 1024;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool starts_with_nocase(const char* text, size_t n, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != 0; ++i)
        if (i >= n || lower(text[i]) != prefix[i]) return false;
    return true;
}

// A header line's name is exactly this one (compared without case).
bool name_is(const char* line, size_t n, const char* name) {
    size_t len = strlen(name);
    return starts_with_nocase(line, n, name) && len < n && line[len] == ':';
}

bool has_control_bytes(const char* text, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7f) return true;
    }
    return false;
}

// Appends bytes to out[*at..size); false (and nothing more appended) when
// they do not fit with room left for the terminator.
bool append(char* out, size_t size, size_t* at, const char* text, size_t n) {
    if (*at + n + 1 > size) return false;
    memcpy(out + *at, text, n);
    *at += n;
    out[*at] = 0;
    return true;
}
bool append(char* out, size_t size, size_t* at, const char* text) { return append(out, size, at, text, strlen(text)); }

// Walks the header lines of a head (after its first line) up to the empty
// line; lines end in "\r\n" or a bare "\n". take(line, length) for each.
template <typename Take>
void each_header_line(const char* head, size_t n, Take take) {
    size_t at = 0;
    while (at < n && head[at] != '\n') ++at;  // the request or status line
    ++at;
    while (at < n) {
        size_t end = at;
        while (end < n && head[end] != '\n') ++end;
        size_t len = end - at;
        if (len > 0 && head[at + len - 1] == '\r') --len;
        if (len == 0) return;
        take(head + at, len);
        at = end + 1;
    }
}

int32_t finish(char* out, size_t at, bool fitted) {
    if (!fitted) {
        out[0] = 0;
        return -1;
    }
    return static_cast<int32_t>(at);
}

int hex_value(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// "user:password" percent-decoded into base64; false when it holds no user
// name, a control byte, or does not fit.
bool encode_credentials(const char* info, size_t n, char* out, size_t out_size) {
    unsigned char plain[256];
    size_t m = 0;
    for (size_t i = 0; i < n; ++i) {
        int value = static_cast<unsigned char>(info[i]);
        if (info[i] == '%' && i + 2 < n && hex_value(info[i + 1]) >= 0 && hex_value(info[i + 2]) >= 0) {
            value = hex_value(info[i + 1]) * 16 + hex_value(info[i + 2]);
            i += 2;
        }
        if (value < 0x20 || value == 0x7f || m >= sizeof plain) return false;
        plain[m++] = static_cast<unsigned char>(value);
    }
    if (m == 0 || plain[0] == ':') return false;
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    size_t at = 0;
    for (size_t i = 0; i < m; i += 3) {
        uint32_t bits = static_cast<uint32_t>(plain[i]) << 16;
        if (i + 1 < m) bits |= static_cast<uint32_t>(plain[i + 1]) << 8;
        if (i + 2 < m) bits |= plain[i + 2];
        if (at + 4 >= out_size) return false;
        out[at++] = digits[bits >> 18 & 63];
        out[at++] = digits[bits >> 12 & 63];
        out[at++] = i + 1 < m ? digits[bits >> 6 & 63] : '=';
        out[at++] = i + 2 < m ? digits[bits & 63] : '=';
    }
    out[at] = 0;
    return true;
}

}  // namespace

bool format_relay_url(uint16_t port, uint64_t id, char* out, size_t out_size) {
    if (out == nullptr || out_size == 0) return false;
    int n = snprintf(out, out_size, "http://127.0.0.1:%u/%08lx%08lx", static_cast<unsigned>(port),
                     static_cast<unsigned long>(id >> 32), static_cast<unsigned long>(id & 0xffffffffu));
    if (n < 0 || static_cast<size_t>(n) >= out_size) {
        out[0] = 0;
        return false;
    }
    return true;
}

bool parse_relay_request(const char* head, size_t n, uint64_t* id) {
    static const char method[] = "GET /";
    const size_t method_len = sizeof method - 1;
    if (head == nullptr || n < method_len + id_digits + 1 || memcmp(head, method, method_len) != 0) return false;
    uint64_t value = 0;
    size_t i = method_len;
    for (; i < method_len + id_digits; ++i) {
        char c = head[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    if (head[i] != ' ') return false;
    // The request line must be whole.
    for (; i + 1 < n; ++i)
        if (head[i] == '\r' && head[i + 1] == '\n') {
            *id = value;
            return true;
        }
    return false;
}

size_t request_head_length(const char* head, size_t n) {
    for (size_t i = 0; i + 1 < n; ++i) {
        if (head[i] != '\n') continue;
        if (head[i + 1] == '\n') return i + 2;
        if (i + 2 < n && head[i + 1] == '\r' && head[i + 2] == '\n') return i + 3;
    }
    return 0;
}

namespace {

bool read_http_address(const char* url, http_address* out) {
    size_t n = strlen(url);
    if (has_control_bytes(url, n) || memchr(url, '\t', n) != nullptr) return false;
    size_t at;
    if (starts_with_nocase(url, n, "http://")) {
        at = 7;
        out->port = 80;
    } else if (starts_with_nocase(url, n, "https://")) {
        at = 8;
        out->https = true;
        out->port = 443;
    } else {
        return false;
    }
    size_t end = at;
    while (end < n && url[end] != '/' && url[end] != '?' && url[end] != '#') ++end;
    // User information: everything before the authority's last '@'.
    for (size_t i = end; i > at; --i) {
        if (url[i - 1] != '@') continue;
        if (!encode_credentials(url + at, i - 1 - at, out->credentials, sizeof out->credentials)) {
            memset(out, 0, sizeof *out);
            return false;
        }
        at = i;
        break;
    }
    // The authority: host, or [IPv6], then an optional ":port".
    size_t host_start = at, host_end;
    size_t port_start = end;
    if (at < end && url[at] == '[') {
        host_start = at + 1;
        host_end = host_start;
        while (host_end < end && url[host_end] != ']') ++host_end;
        if (host_end == end) return false;
        if (host_end + 1 < end) {
            if (url[host_end + 1] != ':') return false;
            port_start = host_end + 2;
        }
        for (size_t i = host_start; i < host_end; ++i)
            if (hex_value(url[i]) < 0 && url[i] != ':' && url[i] != '.') return false;
    } else {
        host_end = host_start;
        while (host_end < end && url[host_end] != ':') ++host_end;
        if (host_end < end) port_start = host_end + 1;
        for (size_t i = host_start; i < host_end; ++i) {
            char c = url[i];
            bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '.' || c == '_';
            if (!ok) return false;  // user information, a blank, a byte of 0x80 or above
        }
    }
    size_t host_len = host_end - host_start;
    if (host_len == 0 || host_len >= sizeof out->host) return false;
    memcpy(out->host, url + host_start, host_len);
    if (port_start < end) {
        uint32_t port = 0;
        for (size_t i = port_start; i < end; ++i) {
            if (url[i] < '0' || url[i] > '9' || i - port_start >= 5) return false;
            port = port * 10 + static_cast<uint32_t>(url[i] - '0');
        }
        if (port == 0 || port > 65535) return false;
        out->port = static_cast<uint16_t>(port);
    } else if (port_start == end && end > at && url[end - 1] == ':') {
        return false;  // "host:" with no port
    }
    // The target: its bytes as they stand, the high ones and the blank encoded.
    static const char digits[] = "0123456789ABCDEF";
    size_t t = 0;
    if (end >= n || url[end] != '/') out->target[t++] = '/';
    for (size_t i = end; i < n && url[i] != '#'; ++i) {
        unsigned char c = static_cast<unsigned char>(url[i]);
        if (c >= 0x80 || c == ' ') {
            if (t + 3 >= sizeof out->target) return false;
            out->target[t++] = '%';
            out->target[t++] = digits[c >> 4];
            out->target[t++] = digits[c & 15];
        } else {
            if (t + 1 >= sizeof out->target) return false;
            out->target[t++] = static_cast<char>(c);
        }
    }
    out->target[t] = 0;
    return true;
}

}  // namespace

bool parse_http_address(const char* url, http_address* out) {
    memset(out, 0, sizeof *out);
    if (read_http_address(url, out)) return true;
    memset(out, 0, sizeof *out);
    return false;
}

bool same_origin(const http_address& a, const http_address& b) {
    if (a.https != b.https || a.port != b.port || strlen(a.host) != strlen(b.host)) return false;
    for (size_t i = 0; a.host[i] != 0; ++i)
        if (lower(a.host[i]) != lower(b.host[i])) return false;
    return true;
}

int32_t format_host_request(const http_address& to, const char* player_head, size_t player_head_n, char* out,
                            size_t out_size) {
    if (out == nullptr || out_size == 0) return -1;
    out[0] = 0;
    size_t at = 0;
    bool ipv6 = strchr(to.host, ':') != nullptr;
    uint16_t usual_port = to.https ? 443 : 80;
    char port[8] = "";
    if (to.port != usual_port) snprintf(port, sizeof port, ":%u", static_cast<unsigned>(to.port));
    bool fitted = append(out, out_size, &at, "GET ") && append(out, out_size, &at, to.target) &&
                  append(out, out_size, &at, " HTTP/1.1\r\nHost: ") && append(out, out_size, &at, ipv6 ? "[" : "") &&
                  append(out, out_size, &at, to.host) && append(out, out_size, &at, ipv6 ? "]" : "") &&
                  append(out, out_size, &at, port) && append(out, out_size, &at, "\r\n");
    bool passing = false;  // whether the last header line was passed on (for folded lines)
    each_header_line(player_head, player_head_n, [&](const char* line, size_t len) {
        if (line[0] != ' ' && line[0] != '\t') {
            static const char* const dropped[] = {"host",    "connection",        "keep-alive",      "te",
                                                  "trailer", "transfer-encoding", "upgrade",         "accept-encoding",
                                                  "authorization"};
            passing = memchr(line, ':', len) != nullptr && !starts_with_nocase(line, len, "proxy-");
            for (const char* name : dropped) passing = passing && !name_is(line, len, name);
        }
        if (passing && len <= longest_header_line && !has_control_bytes(line, len))
            fitted = fitted && append(out, out_size, &at, line, len) && append(out, out_size, &at, "\r\n");
    });
    if (to.credentials[0] != 0)
        fitted = fitted && append(out, out_size, &at, "Authorization: Basic ") &&
                 append(out, out_size, &at, to.credentials) && append(out, out_size, &at, "\r\n");
    fitted = fitted && append(out, out_size, &at, "Connection: close\r\n\r\n");
    return finish(out, at, fitted);
}

bool parse_host_answer(const char* data, size_t n, host_answer* out) {
    memset(out, 0, sizeof *out);
    out->content_length = -1;
    // A host's head may end its lines with a bare "\n", as a player's may.
    size_t head = request_head_length(data, n);
    if (head == 0) return false;
    out->head_length = head;
    size_t version = starts_with_nocase(data, head, "http/1.") ? 9 : starts_with_nocase(data, head, "icy ") ? 4 : 0;
    if (version != 0 && version + 3 <= head && (version == 4 || data[version - 1] == ' ')) {
        int32_t status = 0;
        for (size_t i = version; i < version + 3; ++i)
            status = data[i] >= '0' && data[i] <= '9' && status >= 0 ? status * 10 + (data[i] - '0') : -1;
        bool ends = version + 3 == head || data[version + 3] == ' ' || data[version + 3] == '\r' ||
                    data[version + 3] == '\n';
        out->status = status >= 100 && ends ? status : 0;
    }
    int32_t lengths_seen = 0;
    each_header_line(data, head, [&](const char* line, size_t len) {
        const char* value = static_cast<const char*>(memchr(line, ':', len));
        if (value == nullptr) return;
        size_t v = static_cast<size_t>(value - line) + 1;
        while (v < len && (line[v] == ' ' || line[v] == '\t')) ++v;
        size_t value_len = len - v;
        while (value_len > 0 && (line[v + value_len - 1] == ' ' || line[v + value_len - 1] == '\t')) --value_len;
        if (name_is(line, len, "transfer-encoding")) {
            for (size_t i = v; i + 7 <= v + value_len; ++i)
                if (starts_with_nocase(line + i, 7, "chunked")) out->chunked = true;
        } else if (name_is(line, len, "content-length")) {
            int64_t length = value_len > 0 && value_len < 16 ? 0 : -1;
            for (size_t i = v; i < v + value_len && length >= 0; ++i)
                length = line[i] >= '0' && line[i] <= '9' ? length * 10 + (line[i] - '0') : -1;
            if (lengths_seen > 0 && length != out->content_length) out->lengths_differ = true;
            ++lengths_seen;
            out->content_length = length;
        } else if (name_is(line, len, "location")) {
            if (value_len < sizeof out->location && !has_control_bytes(line + v, value_len))
                memcpy(out->location, line + v, value_len);
        } else if (name_is(line, len, "content-type")) {
            if (value_len < sizeof out->content_type && !has_control_bytes(line + v, value_len))
                memcpy(out->content_type, line + v, value_len);
        }
    });
    return true;
}

int32_t format_player_head(int32_t status, const char* host_head, size_t host_head_n, int64_t content_length,
                           char* out, size_t out_size) {
    if (out == nullptr || out_size == 0) return -1;
    out[0] = 0;
    if (status != 200 && status != 206) return format_plain_head(502, out, out_size);
    host_answer answer;
    if (content_length < 0 && parse_host_answer(host_head, host_head_n, &answer) && !answer.chunked)
        content_length = answer.content_length;
    size_t at = 0;
    bool fitted = append(out, out_size, &at, status == 200 ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.0 206 Partial Content\r\n");
    each_header_line(host_head, host_head_n, [&](const char* line, size_t len) {
        bool wanted = name_is(line, len, "content-type") || name_is(line, len, "content-range") ||
                      name_is(line, len, "accept-ranges") || starts_with_nocase(line, len, "icy-");
        if (wanted && len <= longest_header_line && !has_control_bytes(line, len))
            fitted = fitted && append(out, out_size, &at, line, len) && append(out, out_size, &at, "\r\n");
    });
    if (content_length >= 0) {
        char line[48];
        snprintf(line, sizeof line, "Content-Length: %lld\r\n", static_cast<long long>(content_length));
        fitted = fitted && append(out, out_size, &at, line);
    }
    fitted = fitted && append(out, out_size, &at, "Cache-Control: no-cache\r\nConnection: close\r\n\r\n");
    return finish(out, at, fitted);
}

int32_t format_plain_head(int32_t status, char* out, size_t out_size) {
    if (out == nullptr || out_size == 0) return -1;
    const char* line = status == 404 ? "HTTP/1.0 404 Not Found\r\n" : "HTTP/1.0 502 Bad Gateway\r\n";
    int n = snprintf(out, out_size, "%sContent-Length: 0\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n", line);
    if (n < 0 || static_cast<size_t>(n) >= out_size) {
        out[0] = 0;
        return -1;
    }
    return n;
}

namespace {
enum chunk_state : int32_t { size_digits, extension, size_lf, data_bytes, data_cr, data_lf, last_seen };
}

void chunk_begin(chunk_reader* r) {
    r->state = size_digits;
    r->remaining = 0;
    r->size_seen = false;
}

int64_t chunk_take(chunk_reader* r, char* data, size_t n, bool* finished) {
    size_t out = 0;
    *finished = r->state == last_seen;
    for (size_t i = 0; i < n && r->state != last_seen;) {
        char c = data[i];
        bool size_line_done = false;
        switch (r->state) {
        case size_digits: {
            int d = hex_value(c);
            if (d >= 0) {
                if (r->remaining >> 56) return -1;  // no chunk is that long
                r->remaining = r->remaining << 4 | static_cast<uint64_t>(d);
                r->size_seen = true;
            } else if (!r->size_seen) {
                return -1;
            } else if (c == ';' || c == ' ' || c == '\t') {
                r->state = extension;
            } else if (c == '\r') {
                r->state = size_lf;
            } else if (c == '\n') {
                size_line_done = true;
            } else {
                return -1;
            }
            ++i;
            break;
        }
        case extension:
            if (c == '\r') r->state = size_lf;
            else if (c == '\n') size_line_done = true;
            ++i;
            break;
        case size_lf:
            if (c != '\n') return -1;
            size_line_done = true;
            ++i;
            break;
        case data_bytes: {
            size_t take = n - i;
            if (take > r->remaining) take = static_cast<size_t>(r->remaining);
            memmove(data + out, data + i, take);
            out += take;
            i += take;
            r->remaining -= take;
            if (r->remaining == 0) r->state = data_cr;
            break;
        }
        case data_cr:
            if (c == '\r') r->state = data_lf;
            else if (c == '\n') chunk_begin(r);
            else return -1;
            ++i;
            break;
        case data_lf:
            if (c != '\n') return -1;
            chunk_begin(r);
            ++i;
            break;
        }
        if (size_line_done) {
            if (r->remaining == 0) {
                r->state = last_seen;
                *finished = true;
            } else {
                r->state = data_bytes;
            }
        }
    }
    return static_cast<int64_t>(out);
}

size_t packet_start(const char* data, size_t n) {
    for (size_t p = 0; p < n; ++p) {
        bool sync = true;
        for (size_t k = 0; k < 3 && sync && p + k * ts_packet < n; ++k)
            sync = static_cast<uint8_t>(data[p + k * ts_packet]) == ts_sync;
        if (sync) return p;
    }
    return n;
}
