// The https road: WinHTTP speaks TLS (1.2 or newer), asynchronously, so
// that the relay's thread waits for each step or the request's end and
// closes the request itself; it never logs on with the user's Windows
// credentials. Redirects come back to the relay's loop, which follows them
// between http and https addresses only.
#include "relay/relay_internal.h"

#include <cstring>

namespace relay {

namespace {

HINTERNET session = nullptr;  // WinHTTP's, opened once, asynchronous

// Converts 8-bit text to UTF-16 byte for byte (Latin-1): the relay's
// addresses and headers are ASCII by the time they get here.
void widen(const char* text, WCHAR* out, int32_t size) {
    int32_t i = 0;
    for (; text[i] != 0 && i < size - 1; ++i) out[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

// Each request's number, its context: WinHTTP may still tell of a closed
// request while the place serves the next one (and under Wine the next
// may even get the same handle), so news is taken only for the number the
// place serves now.
volatile LONG requests_made = 0;

// WinHTTP tells how each step of a request ended, from a thread of its own.
void CALLBACK request_news(HINTERNET, DWORD_PTR context, DWORD status, void* information, DWORD length) {
    LONG serial = static_cast<LONG>(context);
    connection_place* place = nullptr;
    for (connection_place& p : places)
        if (serial != 0 && InterlockedCompareExchange(&p.https_serial, 0, 0) == serial) place = &p;
    if (place == nullptr) return;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        InterlockedExchange(&place->https_outcome, 0);
        SetEvent(place->https_done);
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        InterlockedExchange(&place->https_outcome,
                            static_cast<LONG>(length >= sizeof(DWORD) ? *static_cast<DWORD*>(information) : 0));
        SetEvent(place->https_done);
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        InterlockedExchange(&place->https_outcome, static_cast<LONG>(length));
        SetEvent(place->https_done);
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        InterlockedExchange(&place->https_outcome, -1);
        SetEvent(place->https_done);
        break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        SetEvent(place->https_closed);
        break;
    default:
        break;
    }
}

// Starts a step of the request (start() returns whether WinHTTP took it;
// its news may come before the call returns) and waits for it: its
// outcome, or -1 when it failed, the wait ran out or the request was ended.
template <typename Start>
int64_t step(relay_connection* c, Start start) {
    ResetEvent(c->place->https_done);
    if (!start()) return -1;
    HANDLE handles[2] = {c->place->end, c->place->https_done};
    if (WaitForMultipleObjects(2, handles, FALSE, wait_ms) != WAIT_OBJECT_0 + 1) return -1;
    return InterlockedCompareExchange(&c->place->https_outcome, 0, 0);
}

// Closes the request on the thread that reads it, and waits for WinHTTP
// to let go of it (a step under way is cancelled), so that nothing of it
// reaches the place's next request.
void close_request(relay_connection* c, HINTERNET request, HINTERNET connection) {
    if (request != nullptr) {
        WinHttpCloseHandle(request);
        WaitForSingleObject(c->place->https_closed, 2000);
        InterlockedExchange(&c->place->https_serial, 0);
    }
    if (connection != nullptr) WinHttpCloseHandle(connection);
    InterlockedExchange(&c->place->host_open, 0);
}

}  // namespace

// Asks what has come first and reads just that, so that each step ends
// as soon as the host sends anything (a read for more would wait for it).
int64_t read_https(relay_connection* c, HINTERNET request, char* buffer, size_t size) {
    if (ended(c)) return -1;
    int64_t come = step(c, [&] { return WinHttpQueryDataAvailable(request, nullptr); });
    if (come < 0) return come;
    // Nothing said to have come is the end only when a read says so too.
    DWORD wanted = static_cast<DWORD>(come > 0 && static_cast<size_t>(come) < size ? static_cast<size_t>(come) : size);
    return step(c, [&] { return WinHttpReadData(request, buffer, wanted, nullptr); });
}

// One hop through WinHTTP (it speaks TLS): the request, the answer's head,
// then a redirect's next address into url (true), or the answer passed on
// (false). Redirects are followed by the relay's own loop, as on the http
// road, so that credentials never go to another host.
bool relay_https(relay_connection* c, const http_address& to, char* url, size_t url_size) {
    char request[12288];
    int32_t request_n = format_host_request(to, c->head, c->head_n, request, sizeof request);
    const char* headers = request_n > 0 ? strstr(request, "\r\n") : nullptr;
    headers = headers != nullptr ? strstr(headers + 2, "\r\n") : nullptr;  // past the request and Host lines
    WCHAR wide_headers[12288];
    WCHAR host[longest_host];
    WCHAR target[longest_target];
    if (session == nullptr || headers == nullptr) {
        answer_plain(c, 502);
        return false;
    }
    widen(headers + 2, wide_headers, 12288);
    // WinHTTP takes the header lines without the empty line that ends them.
    int32_t end = lstrlenW(wide_headers);
    while (end > 0 && (wide_headers[end - 1] == '\r' || wide_headers[end - 1] == '\n')) wide_headers[--end] = 0;
    widen(to.host, host, longest_host);
    widen(to.target, target, longest_target);
    InterlockedExchange(&c->place->host_open, 1);
    HINTERNET connection = ended(c) ? nullptr : WinHttpConnect(session, host, to.port, 0);
    DWORD secure = to.https ? WINHTTP_FLAG_SECURE : 0;
    HINTERNET request_handle = connection == nullptr ? nullptr
        : WinHttpOpenRequest(connection, L"GET", target, nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                             secure | WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY);
    if (request_handle != nullptr) {
        DWORD never = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
        WinHttpSetOption(request_handle, WINHTTP_OPTION_AUTOLOGON_POLICY, &never, sizeof never);
        DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(request_handle, WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects, sizeof no_redirects);
        LONG serial = InterlockedIncrement(&requests_made);
        if (serial == 0) serial = InterlockedIncrement(&requests_made);
        DWORD_PTR context = static_cast<DWORD_PTR>(serial);
        ResetEvent(c->place->https_closed);
        InterlockedExchange(&c->place->https_serial, serial);
        WinHttpSetOption(request_handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    }
    player_sends_at_once(c);
    if (request_handle != nullptr) wait_for_turn(c);  // WinHTTP connects as it sends: no head start here
    bool answered = request_handle != nullptr && !ended(c) && step(c, [&] {
        return WinHttpSendRequest(request_handle, wide_headers, static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0,
                                  0, 0);
    }) >= 0 && step(c, [&] { return WinHttpReceiveResponse(request_handle, nullptr); }) >= 0;
    // The answer's head as the host wrote it, status line first: read as
    // the http road reads one.
    WCHAR raw[8192];
    char head[8192];
    DWORD raw_size = sizeof raw;
    host_answer parsed;
    bool next = false;
    if (answered &&
        WinHttpQueryHeaders(request_handle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw,
                            &raw_size, WINHTTP_NO_HEADER_INDEX) &&
        WideCharToMultiByte(28591, 0, raw, -1, head, sizeof head, nullptr, nullptr) > 0 &&
        parse_host_answer(head, strlen(head), &parsed)) {
        body_source b;
        memset(&b, 0, sizeof b);
        b.c = c;
        b.request = request_handle;
        b.left = -1;
        next = take_answer(c, parsed, head, &b, url, url_size);
    } else {
        // No answer the relay could read: tried again.
        c->host_failed = true;
    }
    close_request(c, request_handle, connection);
    return next;
}

// WinHTTP, for the https road: TLS 1.2 or newer where the system has it
// (Windows 7 starts at TLS 1.0), and never the user's Windows logon.
void open_https_session() {
    if (session != nullptr) return;
    // No agent of its own: the host gets the player's User-Agent line.
    session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                          WINHTTP_FLAG_ASYNC);
    if (session == nullptr) return;
    WinHttpSetTimeouts(session, wait_ms, wait_ms, wait_ms, wait_ms);
    if (WinHttpSetStatusCallback(session, request_news,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        WinHttpCloseHandle(session);
        session = nullptr;
        return;
    }
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
