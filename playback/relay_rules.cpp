#include "playback/relay_rules.h"

#include <cstdio>
#include <cstring>

bool format_relay_url(uint16_t port, uint32_t id, char* out, size_t out_size) {
    if (out == nullptr || out_size == 0) return false;
    int n = snprintf(out, out_size, "http://127.0.0.1:%u/%lu", static_cast<unsigned>(port),
                     static_cast<unsigned long>(id));
    if (n < 0 || static_cast<size_t>(n) >= out_size) {
        out[0] = 0;
        return false;
    }
    return true;
}

bool parse_relay_request(const char* head, size_t n, uint32_t* id) {
    static const char method[] = "GET /";
    const size_t method_len = sizeof method - 1;
    if (head == nullptr || n < method_len || memcmp(head, method, method_len) != 0) return false;
    size_t i = method_len;
    uint64_t value = 0;
    size_t digits = 0;
    while (i < n && head[i] >= '0' && head[i] <= '9' && digits < 10) {
        value = value * 10 + static_cast<uint64_t>(head[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0 || value > UINT32_MAX || i >= n || head[i] != ' ') return false;
    // The request line must be whole.
    for (; i + 1 < n; ++i)
        if (head[i] == '\r' && head[i + 1] == '\n') {
            *id = static_cast<uint32_t>(value);
            return true;
        }
    return false;
}

int32_t format_relay_head(int32_t status, const char* content_type, char* out, size_t out_size) {
    if (out == nullptr || out_size == 0) return -1;
    char type[101];
    size_t t = 0;
    for (size_t i = 0; content_type != nullptr && content_type[i] != 0 && t < sizeof type - 1; ++i) {
        unsigned char c = static_cast<unsigned char>(content_type[i]);
        if (c >= 0x20 && c != 0x7f) type[t++] = static_cast<char>(c);
    }
    type[t] = 0;
    if (status != 200) status = 502;
    const char* reason = status == 200 ? "OK" : "Bad Gateway";
    int n = snprintf(out, out_size, "HTTP/1.0 %d %s\r\n%s%s%sCache-Control: no-cache\r\nConnection: close\r\n\r\n",
                     static_cast<int>(status), reason, t > 0 ? "Content-Type: " : "", type, t > 0 ? "\r\n" : "");
    if (n < 0 || static_cast<size_t>(n) >= out_size) {
        out[0] = 0;
        return -1;
    }
    return n;
}
