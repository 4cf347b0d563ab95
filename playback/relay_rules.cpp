#include "playback/relay_rules.h"

#include <cstdio>
#include <cstring>

const size_t id_digits = 16;

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
