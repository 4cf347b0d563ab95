#include "playback/stream_relay.h"

#include "base/win32.h"
#include "playback/relay_rules.h"
#include "service/service_request.h"

#include <ntsecapi.h>
#include <winhttp.h>

#include <cstring>

namespace {

// The streams the player was last given; a restart by the watchdog asks for
// the current one again.
struct relayed_stream {
    uint64_t id;
    char url[256];
};
const uint32_t remembered_streams = 8;
relayed_stream streams[remembered_streams];
uint32_t next_slot = 0;
CRITICAL_SECTION streams_lock;

SOCKET listener = INVALID_SOCKET;
uint16_t relay_port = 0;
HINTERNET session = nullptr;
bool started = false;
bool failed = false;

// The player opens one connection a stream, and a restart another while
// the last winds down; more than this are refused, so that nothing else on
// the machine can make the relay start threads without end.
const LONG most_connections = 16;
volatile LONG connections = 0;

// Waits on the player's side: its request, and each send of the stream.
const uint32_t player_wait_ms = 10000;
// Each wait on the stream host's side (name, connect, send, each receive).
const int32_t host_wait_ms = 10000;

bool remembered_url(uint64_t id, char* out, size_t out_size) {
    bool found = false;
    EnterCriticalSection(&streams_lock);
    for (const relayed_stream& s : streams)
        if (s.id == id && id != 0) {
            lstrcpynA(out, s.url, static_cast<int>(out_size));
            found = true;
        }
    LeaveCriticalSection(&streams_lock);
    return found;
}

// Reads the player's request head, up to its empty line.
int32_t read_request(SOCKET s, char* head, int32_t size) {
    int32_t n = 0;
    while (n < size - 1) {
        if (!wait_socket_ms(s, false, player_wait_ms)) break;
        int got = recv(s, head + n, size - 1 - n, 0);
        if (got <= 0) break;
        n += got;
        head[n] = 0;
        if (strstr(head, "\r\n\r\n") != nullptr) break;
    }
    return n;
}

void answer_head(SOCKET player, int32_t status, const char* content_type) {
    char head[256];
    int32_t n = format_relay_head(status, content_type, head, sizeof head);
    if (n > 0) send_all(player, head, n);
}

// The content type of the host's answer, as 8-bit text ("" when none).
void content_type_of(HINTERNET request, char* out, int32_t size) {
    out[0] = 0;
    WCHAR type[128];
    DWORD bytes = sizeof type;
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_TYPE, WINHTTP_HEADER_NAME_BY_INDEX, type, &bytes,
                            WINHTTP_NO_HEADER_INDEX))
        WideCharToMultiByte(CP_ACP, 0, type, -1, out, size, nullptr, nullptr);
    out[size - 1] = 0;
}

// Copies the body to the player until either side ends.
void pass_body(HINTERNET request, SOCKET player) {
    char buffer[64 * 1024];
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available) || available == 0) return;
        DWORD want = available < sizeof buffer ? available : static_cast<DWORD>(sizeof buffer);
        DWORD got = 0;
        if (!WinHttpReadData(request, buffer, want, &got) || got == 0) return;
        if (!send_all(player, buffer, static_cast<int32_t>(got))) return;
    }
}

// Fetches the stream from its host and passes it on. WinHTTP follows
// redirects between http and https addresses only; a redirect anywhere else
// fails the request, and the player gets 502 as for a host that is down.
void relay_stream(const char* url, SOCKET player) {
    WCHAR wide[256];
    if (MultiByteToWideChar(CP_ACP, 0, url, -1, wide, 256) == 0) return answer_head(player, 502, nullptr);
    URL_COMPONENTS parts;
    memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    WCHAR host[256];
    WCHAR path[256];
    WCHAR extra[256];
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 256;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = 256;
    if (!WinHttpCrackUrl(wide, 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTP)
        return answer_head(player, 502, nullptr);
    WCHAR object[512];
    lstrcpynW(object, path, 256);
    lstrcpynW(object + lstrlenW(object), extra, 256);

    HINTERNET connection = WinHttpConnect(session, host, parts.nPort, 0);
    HINTERNET request = connection == nullptr ? nullptr
        : WinHttpOpenRequest(connection, L"GET", object, nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                             WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY);
    bool answered = request != nullptr &&
        WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
        WinHttpReceiveResponse(request, nullptr);
    DWORD status = 0;
    DWORD status_size = sizeof status;
    if (answered)
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size, WINHTTP_NO_HEADER_INDEX);
    if (status == 200) {
        char type[128];
        content_type_of(request, type, sizeof type);
        answer_head(player, 200, type);
        pass_body(request, player);
    } else {
        answer_head(player, 502, nullptr);
    }
    if (request != nullptr) WinHttpCloseHandle(request);
    if (connection != nullptr) WinHttpCloseHandle(connection);
}

DWORD WINAPI serve_player(void* context) {
    SOCKET player = static_cast<SOCKET>(reinterpret_cast<uintptr_t>(context));
    char head[4096];
    int32_t n = read_request(player, head, sizeof head);
    uint64_t id = 0;
    char url[256];
    if (n > 0 && parse_relay_request(head, static_cast<size_t>(n), &id) && remembered_url(id, url, sizeof url))
        relay_stream(url, player);
    else if (n > 0)
        answer_head(player, 502, nullptr);
    shutdown(player, SD_BOTH);
    closesocket(player);
    InterlockedDecrement(&connections);
    return 0;
}

DWORD WINAPI accept_players(void*) {
    for (;;) {
        SOCKET player = accept(listener, nullptr, nullptr);
        if (player == INVALID_SOCKET) {
            Sleep(100);
            continue;
        }
        if (InterlockedIncrement(&connections) > most_connections) {
            closesocket(player);
            InterlockedDecrement(&connections);
            continue;
        }
        DWORD wait = player_wait_ms;
        setsockopt(player, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
        HANDLE thread = CreateThread(nullptr, 0, serve_player, reinterpret_cast<void*>(static_cast<uintptr_t>(player)),
                                     0, nullptr);
        if (thread == nullptr) {
            closesocket(player);
            InterlockedDecrement(&connections);
        } else {
            CloseHandle(thread);
        }
    }
}

// Listens on a free loopback port and opens the WinHTTP session, once.
bool start_relay() {
    if (started || failed) return started;
    InitializeCriticalSection(&streams_lock);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    session = WinHttpOpen(L"tvclient", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, 0);
    if (session != nullptr) {
        WinHttpSetTimeouts(session, host_wait_ms, host_wait_ms, host_wait_ms, host_wait_ms);
        // A content network may move an https address to an http one.
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS;
        WinHttpSetOption(session, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    }
    listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = 0;
    int at_size = sizeof at;
    bool listening = session != nullptr && listener != INVALID_SOCKET &&
                     bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
                     listen(listener, SOMAXCONN) == 0 &&
                     getsockname(listener, reinterpret_cast<sockaddr*>(&at), &at_size) == 0;
    HANDLE thread = listening ? CreateThread(nullptr, 0, accept_players, nullptr, 0, nullptr) : nullptr;
    if (thread == nullptr) {
        failed = true;
        return false;
    }
    CloseHandle(thread);
    relay_port = ntohs(at.sin_port);
    started = true;
    return true;
}

}  // namespace

bool relay_address_for(const char* stream_url, char* out, size_t out_size) {
    if (out_size > 0) out[0] = 0;
    if (!start_relay()) return false;
    uint64_t id = 0;
    if (!RtlGenRandom(&id, sizeof id) || id == 0) return false;
    EnterCriticalSection(&streams_lock);
    relayed_stream& slot = streams[next_slot++ % remembered_streams];
    slot.id = id;
    lstrcpynA(slot.url, stream_url, sizeof slot.url);
    LeaveCriticalSection(&streams_lock);
    return format_relay_url(relay_port, id, out, out_size);
}
