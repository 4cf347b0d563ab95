// The https road: WinHTTP speaks TLS (1.2 or newer) and follows redirects
// between http and https addresses only; it never logs on with the user's
// Windows credentials.
#include "relay/relay_internal.h"

#include <cstring>

namespace relay {

namespace {

HINTERNET session = nullptr;  // WinHTTP's, opened once

// Converts 8-bit text to UTF-16 byte for byte (Latin-1): the relay's
// addresses and headers are ASCII by the time they get here.
void widen(const char* text, WCHAR* out, int32_t size) {
    int32_t i = 0;
    for (; text[i] != 0 && i < size - 1; ++i) out[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

}  // namespace

// An https address, through WinHTTP: it speaks TLS, and follows redirects
// between http and https addresses only.
void relay_https(relay_connection* c, const http_address& to) {
    char request[12288];
    int32_t request_n = format_host_request(to, c->head, c->head_n, request, sizeof request);
    const char* headers = request_n > 0 ? strstr(request, "\r\n") : nullptr;
    headers = headers != nullptr ? strstr(headers + 2, "\r\n") : nullptr;  // past the request and Host lines
    WCHAR wide_headers[12288];
    WCHAR host[longest_host];
    WCHAR target[longest_target];
    if (session == nullptr || headers == nullptr) return answer_plain(c, 502);
    widen(headers + 2, wide_headers, 12288);
    // WinHTTP takes the header lines without the empty line that ends them.
    int32_t end = lstrlenW(wide_headers);
    while (end > 0 && (wide_headers[end - 1] == '\r' || wide_headers[end - 1] == '\n')) wide_headers[--end] = 0;
    widen(to.host, host, longest_host);
    widen(to.target, target, longest_target);
    InterlockedExchange(&c->place->host_open, 1);
    HINTERNET connection = ended(c) ? nullptr : WinHttpConnect(session, host, to.port, 0);
    HINTERNET request_handle = connection == nullptr ? nullptr
        : WinHttpOpenRequest(connection, L"GET", target, nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                             WINHTTP_FLAG_SECURE | WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY);
    if (request_handle != nullptr) {
        DWORD never = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
        WinHttpSetOption(request_handle, WINHTTP_OPTION_AUTOLOGON_POLICY, &never, sizeof never);
        InterlockedExchangePointer(&c->place->https_request, request_handle);
        if (ended(c)) {
            // Ended meanwhile: closed here, unless end_relayed_requests took it first.
            HINTERNET mine = static_cast<HINTERNET>(InterlockedExchangePointer(&c->place->https_request, nullptr));
            if (mine != nullptr) WinHttpCloseHandle(mine);
            request_handle = nullptr;
        }
    }
    player_sends_at_once(c);
    bool answered = request_handle != nullptr &&
                    WinHttpSendRequest(request_handle, wide_headers, static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA,
                                       0, 0, 0) &&
                    WinHttpReceiveResponse(request_handle, nullptr);
    DWORD status = 0;
    DWORD size = sizeof status;
    if (answered)
        WinHttpQueryHeaders(request_handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    WCHAR raw[8192];
    char head[8192];
    WCHAR final_wide[longest_target];
    char final_url[longest_target];
    DWORD raw_size = sizeof raw;
    DWORD url_size = sizeof final_wide;
    if ((status == 200 || status == 206) &&
        WinHttpQueryHeaders(request_handle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw,
                            &raw_size, WINHTTP_NO_HEADER_INDEX) &&
        WinHttpQueryOption(request_handle, WINHTTP_OPTION_URL, final_wide, &url_size)) {
        WideCharToMultiByte(28591, 0, raw, -1, head, sizeof head, nullptr, nullptr);
        WideCharToMultiByte(28591, 0, final_wide, -1, final_url, sizeof final_url, nullptr, nullptr);
        head[sizeof head - 1] = 0;
        final_url[sizeof final_url - 1] = 0;
        host_answer parsed;
        size_t head_n = strlen(head);
        parse_host_answer(head, head_n, &parsed);
        body_source b;
        memset(&b, 0, sizeof b);
        b.c = c;
        b.request = request_handle;
        b.left = -1;
        pass_answer(c, static_cast<int32_t>(status), head, head_n, parsed.content_type, final_url, &b);
    } else {
        answer_plain(c, 502);
    }
    HINTERNET mine = static_cast<HINTERNET>(InterlockedExchangePointer(&c->place->https_request, nullptr));
    if (mine != nullptr) WinHttpCloseHandle(mine);
    if (connection != nullptr) WinHttpCloseHandle(connection);
    InterlockedExchange(&c->place->host_open, 0);
}

// WinHTTP, for the https road: TLS 1.2 or newer where the system has it
// (Windows 7 starts at TLS 1.0), and never the user's Windows logon.
void open_https_session() {
    if (session != nullptr) return;
    // No agent of its own: the host gets the player's User-Agent line.
    session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr) return;
    WinHttpSetTimeouts(session, wait_ms, wait_ms, wait_ms, wait_ms);
    // A content network may move an https address to an http one.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS;
    WinHttpSetOption(session, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    DWORD newest = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    DWORD modern = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    bool tls = WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &newest, sizeof newest) ||
               WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &modern, sizeof modern);
    // The logon policy belongs to each request; a request can be asked for it.
    HINTERNET probe_connection = WinHttpConnect(session, L"127.0.0.1", 443, 0);
    HINTERNET probe = probe_connection != nullptr
        ? WinHttpOpenRequest(probe_connection, L"GET", L"/", nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                             WINHTTP_FLAG_SECURE)
        : nullptr;
    DWORD never = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    bool logon = probe != nullptr && WinHttpSetOption(probe, WINHTTP_OPTION_AUTOLOGON_POLICY, &never, sizeof never);
    if (probe != nullptr) WinHttpCloseHandle(probe);
    if (probe_connection != nullptr) WinHttpCloseHandle(probe_connection);
    https_settings_applied = tls && logon;
}

}  // namespace relay
