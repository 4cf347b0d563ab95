#include "playback/stream_relay.h"

#include "base/trace.h"
#include "base/win32.h"
#include "playback/playlist_rules.h"
#include "playback/relay_rules.h"

#include <ntsecapi.h>
#include <winhttp.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The addresses the player may ask for: the stream of the channel playing
// and, for an HLS channel, the segments, keys and variant playlists its
// playlists named. Each stream start retires the earlier ones.
struct relayed_address {
    uint64_t id;  // 0: a free place
    uint32_t generation;
    uint32_t last_used;
    bool pinned;  // the stream itself: never given up for a segment
    char url[longest_target];
};
const uint32_t remembered_addresses = 256;
relayed_address addresses[remembered_addresses];
uint32_t generation = 1;  // counts stream starts
uint32_t use_clock = 0;
CRITICAL_SECTION relay_lock;  // the addresses, the generation and the connections' places

// The player opens one connection a stream (an HLS channel one at a time
// per playlist or segment), and a restart another while the last winds
// down; more than this are refused, so that nothing else on the machine can
// make the relay start threads without end.
const uint32_t most_connections = 16;
struct relay_connection;
// A place for one connection, with a thread of its own that serves the
// place's connections one after the other: a channel change costs no new
// thread.
struct connection_place {
    bool usable;  // its events and connection were made
    bool in_use;
    HANDLE work;  // auto reset: a connection was handed to the place's thread
    HANDLE thread;
    relay_connection* connection;  // made with the place and kept
    WSAEVENT player_event;    // kept for the place's connections, reset after each
    WSAEVENT host_event;
    HANDLE end;               // manual reset: set to end this connection's request at once
    volatile LONG ending;     // 1 once end is set: read without a call to the system
    volatile LONG host_open;  // 1 while a connection to a stream host may be open
    void* volatile https_request;  // a WinHTTP request, closed by whoever takes it out first
};
connection_place places[most_connections];

volatile SOCKET listener = INVALID_SOCKET;
uint16_t relay_port = 0;
HINTERNET session = nullptr;
bool https_settings_applied = false;
bool started = false;
bool refusing = false;

// The player's whole request head must come within this: a connection that
// drips its head cannot hold a place for longer.
const uint32_t request_head_ms = 2000;
// Each wait on either side once the request is under way: the host's name,
// connection and answer, every later receive, and each send to the player.
const uint32_t wait_ms = 10000;
const int32_t redirects_followed = 8;
// A playlist larger than this is not one the player could use.
const size_t largest_playlist = 1u << 20;
const size_t largest_rewritten = 4u << 20;
// After the first moments of a stream, a small receive is followed by a
// pause, so that the stream is passed on in fewer, larger pieces: the
// player keeps a second of it in hand, and every socket call costs (under
// Wine each is a round trip to its server). A quarter of a second takes
// the relay's share of playing from 0.22 s of processor time a minute
// (a tenth of a second) to 0.08.
const uint32_t gather_after_ms = 2000;
const uint32_t gather_pause_ms = 250;
const int32_t small_receive = 64 * 1024;

uint64_t remember_address(const char* url, uint32_t for_generation, bool pin) {
    uint64_t id = 0;
    EnterCriticalSection(&relay_lock);
    if (for_generation == generation && strlen(url) < longest_target) {
        relayed_address* place = nullptr;
        for (relayed_address& a : addresses) {
            if (a.id != 0 && a.generation == generation && strcmp(a.url, url) == 0) {
                place = &a;  // a live playlist names its segments again and again
                break;
            }
        }
        if (place == nullptr) {
            place = &addresses[0];
            for (relayed_address& a : addresses) {
                if (a.id == 0) {
                    place = &a;
                    break;
                }
                if (!a.pinned && (place->pinned || a.last_used < place->last_used)) place = &a;
            }
            uint64_t fresh = 0;
            if (RtlGenRandom(&fresh, sizeof fresh) && fresh != 0) {
                place->id = fresh;
                place->generation = generation;
                place->pinned = pin;
                lstrcpynA(place->url, url, sizeof place->url);
            } else {
                place = nullptr;
            }
        }
        if (place != nullptr) {
            place->last_used = ++use_clock;
            id = place->id;
        }
    }
    LeaveCriticalSection(&relay_lock);
    return id;
}

struct registrar_context {
    uint32_t generation;
};
uint64_t register_from_playlist(const char* absolute, void* context) {
    http_address parsed;
    if (!parse_http_address(absolute, &parsed)) return 0;
    return remember_address(absolute, static_cast<registrar_context*>(context)->generation, false);
}

// The address of an id, and the stream start it belongs to.
bool remembered_url(uint64_t id, char* out, size_t out_size, uint32_t* of_generation) {
    bool found = false;
    EnterCriticalSection(&relay_lock);
    for (relayed_address& a : addresses)
        if (a.id == id && id != 0 && a.generation == generation) {
            lstrcpynA(out, a.url, static_cast<int>(out_size));
            *of_generation = a.generation;
            a.last_used = ++use_clock;
            found = true;
        }
    LeaveCriticalSection(&relay_lock);
    return found;
}

// One connection of the player's, from its request to the end of the answer.
struct relay_connection {
    connection_place* place;
    SOCKET player;
    WSAEVENT player_event;
    SOCKET host;
    WSAEVENT host_event;
    uint32_t generation;
    char head[8192];  // the player's request head
    size_t head_n;
    bool answered;  // the player got a head
    bool no_delay;  // the player's socket sends small pieces at once
    char* buffer;   // what passes through, from the spare buffers
};
const size_t buffer_size = 256 * 1024;
// Buffers of finished connections, the last one given back on top: the
// next connection takes the one whose pages are in memory, so the relay
// holds only as many buffers as connections ever passed a body at once.
char* spare_buffers[most_connections];
uint32_t spare_count = 0;

char* take_buffer() {
    char* buffer = nullptr;
    EnterCriticalSection(&relay_lock);
    if (spare_count > 0) buffer = spare_buffers[--spare_count];
    LeaveCriticalSection(&relay_lock);
    return buffer != nullptr ? buffer : static_cast<char*>(malloc(buffer_size));
}

void give_back_buffer(relay_connection* c) {
    if (c->buffer == nullptr) return;
    EnterCriticalSection(&relay_lock);
    if (spare_count < most_connections) {
        spare_buffers[spare_count++] = c->buffer;
        c->buffer = nullptr;
    }
    LeaveCriticalSection(&relay_lock);
    free(c->buffer);
    c->buffer = nullptr;
}

bool ended(relay_connection* c) { return InterlockedCompareExchange(&c->place->ending, 0, 0) != 0; }

// What a wait saw.
enum class woke { host, player_gone, ended, timed_out };

// Waits for the host's socket (or, with for_player_write, room to send to
// the player), the player's leaving, or the end of the request.
woke wait_for(relay_connection* c, bool for_player_write, uint32_t ms) {
    for (;;) {
        HANDLE handles[3] = {c->place->end, c->player_event, c->host_event};
        DWORD n = !for_player_write && c->host_event != WSA_INVALID_EVENT ? 3 : 2;
        DWORD r = WSAWaitForMultipleEvents(n, handles, FALSE, ms, FALSE);
        if (r == WSA_WAIT_TIMEOUT) return woke::timed_out;
        if (r == WSA_WAIT_EVENT_0) return woke::ended;
        WSANETWORKEVENTS seen;
        if (r == WSA_WAIT_EVENT_0 + 2) {
            WSAEnumNetworkEvents(c->host, c->host_event, &seen);
            return woke::host;
        }
        if (r != WSA_WAIT_EVENT_0 + 1 || WSAEnumNetworkEvents(c->player, c->player_event, &seen) != 0)
            return woke::player_gone;
        if (seen.lNetworkEvents & FD_CLOSE) return woke::player_gone;
        if (seen.lNetworkEvents & FD_READ) {
            char scratch[512];  // the player has nothing more to say; what it says is dropped
            if (recv(c->player, scratch, sizeof scratch, 0) == 0) return woke::player_gone;
        }
        if (for_player_write && (seen.lNetworkEvents & FD_WRITE)) return woke::host;
    }
}

// Sends everything to the player; false when it left, or the request ended.
bool send_to_player(relay_connection* c, const char* data, size_t n) {
    while (n > 0) {
        int32_t piece = n > 1u << 30 ? 1 << 30 : static_cast<int32_t>(n);
        int sent = send(c->player, data, piece, 0);
        if (sent > 0) {
            data += sent;
            n -= static_cast<size_t>(sent);
            continue;
        }
        if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && wait_for(c, true, wait_ms) == woke::host)
            continue;
        return false;
    }
    return true;
}

// The relay's pieces go to the player as they come, never held back to
// wait for the player's acknowledgement of the last one.
void player_sends_at_once(relay_connection* c) {
    if (c->no_delay) return;
    int on = 1;
    setsockopt(c->player, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    c->no_delay = true;
}

void answer_plain(relay_connection* c, int32_t status) {
    if (c->answered) return;
    player_sends_at_once(c);
    char head[160];
    int32_t n = format_plain_head(status, head, sizeof head);
    if (n > 0) send_to_player(c, head, static_cast<size_t>(n));
    c->answered = true;
}

void close_host(relay_connection* c) {
    if (c->host != INVALID_SOCKET) {
        closesocket(c->host);
        c->host = INVALID_SOCKET;
    }
    c->host_event = WSA_INVALID_EVENT;  // the place's, kept
    InterlockedExchange(&c->place->host_open, 0);
}

// The body of an answer, read one piece at a time: from the host's socket
// (decoding chunks), or from WinHTTP for https.
struct body_source {
    relay_connection* c;
    HINTERNET request;  // https; otherwise the socket
    bool chunked;
    chunk_reader chunks;
    bool finished;
    int64_t left;  // bytes of a body with a known length still to come; -1 unknown
    char* pending;  // body bytes that came with the head
    size_t pending_n;
};

// The next piece of the body into buffer: its length, 0 at the end, -1
// when the host failed, the player left or the request ended.
int64_t read_body(body_source* b, char* buffer, size_t size, bool gather) {
    relay_connection* c = b->c;
    for (;;) {
        if (b->finished || b->left == 0) return 0;
        if (ended(c)) return -1;
        int64_t got;
        if (b->pending_n > 0) {
            got = static_cast<int64_t>(b->pending_n < size ? b->pending_n : size);
            memmove(buffer, b->pending, static_cast<size_t>(got));
            b->pending += got;
            b->pending_n -= static_cast<size_t>(got);
        } else if (b->request != nullptr) {
            DWORD n = 0;
            HINTERNET request = b->request;
            if (!WinHttpReadData(request, buffer, static_cast<DWORD>(size), &n)) return -1;
            if (n == 0) return 0;
            got = n;
        } else {
            int r = recv(c->host, buffer, static_cast<int>(size), 0);
            if (r == 0) return 0;
            if (r == SOCKET_ERROR) {
                if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
                woke w = wait_for(c, false, wait_ms);
                if (w != woke::host) return -1;
                continue;
            }
            got = r;
            if (gather && r < small_receive && WaitForSingleObject(c->place->end, gather_pause_ms) == WAIT_OBJECT_0)
                return -1;
        }
        if (b->chunked) {
            got = chunk_take(&b->chunks, buffer, static_cast<size_t>(got), &b->finished);
            if (got < 0) return -1;
            if (got == 0) continue;
        }
        if (b->left > 0) {
            if (got > b->left) got = b->left;
            b->left -= got;
        }
        return got;
    }
}

// A playlist: read whole (after the first bytes, already read), its
// addresses rewritten, then passed on with its new length.
void pass_playlist(relay_connection* c, int32_t status, const char* host_head, size_t head_n, const char* final_url,
                   const char* first, size_t first_n, body_source* b) {
    char* body = static_cast<char*>(malloc(largest_playlist + 1));
    char* rewritten = static_cast<char*>(malloc(largest_rewritten));
    size_t n = first_n;
    int64_t got = 1;
    if (body != nullptr) memcpy(body, first, first_n);
    while (body != nullptr && n < largest_playlist && got > 0) {
        got = read_body(b, body + n, largest_playlist - n, false);
        if (got > 0) n += static_cast<size_t>(got);
    }
    registrar_context context = {c->generation};
    int64_t length = got == 0 && rewritten != nullptr
        ? rewrite_playlist(body, n, final_url, relay_port, register_from_playlist, &context, rewritten, largest_rewritten)
        : -1;
    char head[4096];
    int32_t head_length = length >= 0 ? format_player_head(status, host_head, head_n, length, head, sizeof head) : -1;
    if (head_length > 0) {
        c->answered = true;
        if (send_to_player(c, head, static_cast<size_t>(head_length)))
            send_to_player(c, rewritten, static_cast<size_t>(length));
    } else {
        answer_plain(c, 502);
    }
    free(body);
    free(rewritten);
}

// Passes a 200 or 206 answer on: a playlist rewritten, anything else as it comes.
void pass_answer(relay_connection* c, int32_t status, const char* host_head, size_t head_n, const char* content_type,
                 const char* final_url, body_source* b) {
    static const size_t head_room = 4096;
    if (c->buffer == nullptr) c->buffer = take_buffer();
    char* buffer = c->buffer;
    if (buffer == nullptr) return answer_plain(c, 502);
    // The first bytes of the body tell a playlist that came with another type.
    size_t have = 0;
    int64_t got = 1;
    while (have < 7 && got > 0 && !is_playlist(content_type, buffer, have)) {
        // Room is kept for the head in front of them.
        got = read_body(b, buffer + have, buffer_size - head_room - have, false);
        if (got > 0) have += static_cast<size_t>(got);
    }
    char head[head_room];
    int32_t head_length = format_player_head(status, host_head, head_n, -1, head, sizeof head);
    if (got < 0 || head_length <= 0) {
        answer_plain(c, 502);
    } else if (is_playlist(content_type, buffer, have)) {
        pass_playlist(c, status, host_head, head_n, final_url, buffer, have, b);
    } else {
        // The head and the body's first bytes go in one send.
        c->answered = true;
        memmove(buffer + head_length, buffer, have);
        memcpy(buffer, head, static_cast<size_t>(head_length));
        size_t n = static_cast<size_t>(head_length) + have;
        if (b->pending_n > 0) {
            got = read_body(b, buffer + n, buffer_size - n, false);
            if (got > 0) n += static_cast<size_t>(got);
        }
        DWORD began = GetTickCount();
        trace_event("relay.passing");
        bool going = send_to_player(c, buffer, n);
        while (going) {
            got = read_body(b, buffer, buffer_size, GetTickCount() - began > gather_after_ms);
            going = got > 0 && send_to_player(c, buffer, static_cast<size_t>(got));
        }
    }
}

// Connects one socket to one address within the wait, or until the
// request ends.
bool connect_to(relay_connection* c, const sockaddr* address, int32_t size) {
    c->host = socket(address->sa_family, SOCK_STREAM, IPPROTO_TCP);
    c->host_event = c->place->host_event;
    if (c->host == INVALID_SOCKET || c->host_event == WSA_INVALID_EVENT ||
        WSAEventSelect(c->host, c->host_event, FD_CONNECT | FD_READ | FD_CLOSE) != 0) {
        close_host(c);
        return false;
    }
    InterlockedExchange(&c->place->host_open, 1);
    // The request may have ended between the caller's check and now.
    bool connected = false;
    if (!ended(c)) {
        if (connect(c->host, address, size) == 0) {
            connected = true;
        } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
            // The place's event may still carry a word about an earlier
            // host's socket (before a redirect): only FD_CONNECT counts.
            DWORD began = GetTickCount();
            for (;;) {
                DWORD spent = GetTickCount() - began;
                HANDLE handles[2] = {c->place->end, c->host_event};
                WSANETWORKEVENTS seen;
                if (spent >= wait_ms ||
                    WSAWaitForMultipleEvents(2, handles, FALSE, wait_ms - spent, FALSE) != WSA_WAIT_EVENT_0 + 1 ||
                    WSAEnumNetworkEvents(c->host, c->host_event, &seen) != 0)
                    break;
                if (seen.lNetworkEvents & FD_CONNECT) {
                    connected = seen.iErrorCode[FD_CONNECT_BIT] == 0;
                    break;
                }
            }
        }
    }
    if (!connected) close_host(c);
    return connected;
}

// Connects to the host: straight to an IPv4 address, else to each address
// its name has until one answers.
bool connect_host(relay_connection* c, const http_address& to) {
    sockaddr_in direct;
    memset(&direct, 0, sizeof direct);
    direct.sin_family = AF_INET;
    direct.sin_port = htons(to.port);
    if (inet_pton(AF_INET, to.host, &direct.sin_addr) == 1)
        return connect_to(c, reinterpret_cast<const sockaddr*>(&direct), sizeof direct);
    char port[8];
    snprintf(port, sizeof port, "%u", static_cast<unsigned>(to.port));
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (getaddrinfo(to.host, port, &hints, &found) != 0) return false;
    bool connected = false;
    for (addrinfo* a = found; a != nullptr && !connected && !ended(c); a = a->ai_next)
        connected = connect_to(c, a->ai_addr, static_cast<int32_t>(a->ai_addrlen));
    freeaddrinfo(found);
    return connected;
}

// Sends the request to the host; false when it cannot be sent within the wait.
bool send_to_host(relay_connection* c, const char* data, size_t n) {
    while (n > 0) {
        int sent = send(c->host, data, static_cast<int>(n), 0);
        if (sent > 0) {
            data += sent;
            n -= static_cast<size_t>(sent);
            continue;
        }
        if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && !ended(c)) {
            HANDLE handles[2] = {c->place->end, c->host_event};
            WSAEventSelect(c->host, c->host_event, FD_WRITE | FD_READ | FD_CLOSE);
            DWORD w = WSAWaitForMultipleEvents(2, handles, FALSE, wait_ms, FALSE);
            WSANETWORKEVENTS seen;
            WSAEnumNetworkEvents(c->host, c->host_event, &seen);
            WSAEventSelect(c->host, c->host_event, FD_READ | FD_CLOSE);
            if (w == WSA_WAIT_EVENT_0 + 1) continue;
        }
        return false;
    }
    return true;
}

// One http hop: the request, the answer's head, then a redirect's next
// address into url (true), or the answer passed on (false).
bool relay_http(relay_connection* c, const http_address& to, char* url, size_t url_size) {
    char request[12288];
    int32_t request_n = format_host_request(to, c->head, c->head_n, request, sizeof request);
    bool connected = request_n > 0 && connect_host(c, to);
    trace_event("relay.connected");
    if (!connected || !send_to_host(c, request, static_cast<size_t>(request_n))) {
        answer_plain(c, 502);
        return false;
    }
    player_sends_at_once(c);  // while the host prepares its answer
    char answer[16384];
    size_t n = 0;
    host_answer parsed;
    bool whole = false;
    while (!whole && n < sizeof answer - 1) {
        int r = recv(c->host, answer + n, static_cast<int>(sizeof answer - 1 - n), 0);
        if (r > 0) {
            n += static_cast<size_t>(r);
            whole = parse_host_answer(answer, n, &parsed);
        } else if (r == 0 || WSAGetLastError() != WSAEWOULDBLOCK || wait_for(c, false, wait_ms) != woke::host) {
            break;
        }
    }
    trace_event("relay.answered");
    bool redirect = whole && parsed.location[0] != 0 &&
                    (parsed.status == 301 || parsed.status == 302 || parsed.status == 303 || parsed.status == 307 ||
                     parsed.status == 308);
    if (redirect) {
        char next[longest_target];
        bool resolved = resolve_address(url, parsed.location, strlen(parsed.location), next, sizeof next);
        close_host(c);
        if (!resolved) {
            answer_plain(c, 502);
            return false;
        }
        lstrcpynA(url, next, static_cast<int>(url_size));
        return true;
    }
    if (!whole || (parsed.status != 200 && parsed.status != 206)) {
        answer_plain(c, 502);
    } else {
        body_source b;
        memset(&b, 0, sizeof b);
        b.c = c;
        b.chunked = parsed.chunked;
        chunk_begin(&b.chunks);
        b.left = parsed.chunked ? -1 : parsed.content_length;
        b.pending = answer + parsed.head_length;
        b.pending_n = n - parsed.head_length;
        pass_answer(c, parsed.status, answer, parsed.head_length, parsed.content_type, url, &b);
    }
    close_host(c);
    return false;
}

// Converts 8-bit text to UTF-16 byte for byte (Latin-1): the relay's
// addresses and headers are ASCII by the time they get here.
void widen(const char* text, WCHAR* out, int32_t size) {
    int32_t i = 0;
    for (; text[i] != 0 && i < size - 1; ++i) out[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

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

// Reads the player's request head; false when it did not come whole
// within its time, or the request was ended. The head has usually come by
// the time its connection is accepted: it is read before any wait.
bool read_request_head(relay_connection* c) {
    DWORD began = GetTickCount();
    c->head_n = 0;
    for (;;) {
        if (c->head_n >= sizeof c->head - 1) return false;
        int got = recv(c->player, c->head + c->head_n, static_cast<int>(sizeof c->head - 1 - c->head_n), 0);
        if (got > 0) {
            c->head_n += static_cast<size_t>(got);
            c->head[c->head_n] = 0;
            size_t whole = request_head_length(c->head, c->head_n);
            if (whole > 0) {
                c->head_n = whole;
                return true;
            }
            continue;
        }
        if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK) return false;
        DWORD spent = GetTickCount() - began;
        HANDLE handles[2] = {c->place->end, c->player_event};
        if (spent >= request_head_ms ||
            WSAWaitForMultipleEvents(2, handles, FALSE, request_head_ms - spent, FALSE) != WSA_WAIT_EVENT_0 + 1)
            return false;
        WSANETWORKEVENTS seen;
        WSAEnumNetworkEvents(c->player, c->player_event, &seen);
    }
}

void serve(relay_connection* c) {
    trace_event("relay.serving");
    // The player's socket is watched through the place's event from here on
    // (which also makes it non-blocking).
    if (WSAEventSelect(c->player, c->player_event, FD_READ | FD_CLOSE) != 0 || !read_request_head(c)) return;
    trace_event("relay.request");
    uint64_t id = 0;
    char url[longest_target];
    if (!parse_relay_request(c->head, c->head_n, &id)) return answer_plain(c, 502);
    if (!remembered_url(id, url, sizeof url, &c->generation)) return answer_plain(c, 404);
    for (int32_t hop = 0; hop <= redirects_followed; ++hop) {
        http_address to;
        if (!parse_http_address(url, &to) || ended(c)) return answer_plain(c, 502);
        if (to.https) return relay_https(c, to);
        if (!relay_http(c, to, url, sizeof url)) return;
    }
    answer_plain(c, 502);
}

// Names the calling thread where the system can (Windows 10 and Wine), so
// that a profiler or the benchmarks tell the relay's threads apart.
void name_thread(const WCHAR* name) {
    typedef HRESULT(WINAPI * describe)(HANDLE, const WCHAR*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    describe set = kernel != nullptr ? reinterpret_cast<describe>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetThreadDescription"))) : nullptr;
    if (set != nullptr) set(GetCurrentThread(), name);
}

DWORD WINAPI serve_place(void* context) {
    name_thread(L"relay");
    connection_place* place = static_cast<connection_place*>(context);
    for (;;) {
        WaitForSingleObject(place->work, INFINITE);
        relay_connection* c = place->connection;
        serve(c);
        close_host(c);
        shutdown(c->player, SD_BOTH);
        closesocket(c->player);
        give_back_buffer(c);
        // Ready for the next connection, off its road: the events carry no
        // word of this one's sockets, and the place is not ending.
        WSAResetEvent(place->player_event);
        WSAResetEvent(place->host_event);
        EnterCriticalSection(&relay_lock);
        ResetEvent(place->end);
        place->ending = 0;
        place->host_open = 0;
        place->https_request = nullptr;
        place->in_use = false;
        LeaveCriticalSection(&relay_lock);
    }
}

// A free place for a new connection, or nullptr.
connection_place* take_place() {
    connection_place* found = nullptr;
    EnterCriticalSection(&relay_lock);
    for (connection_place& p : places) {
        if (!p.in_use && p.usable) {
            p.in_use = true;
            found = &p;
            break;
        }
    }
    LeaveCriticalSection(&relay_lock);
    if (found != nullptr && found->thread == nullptr)
        found->thread = CreateThread(nullptr, 256 * 1024, serve_place, found, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                     nullptr);
    if (found != nullptr && found->thread == nullptr) {
        EnterCriticalSection(&relay_lock);
        found->in_use = false;
        LeaveCriticalSection(&relay_lock);
        found = nullptr;
    }
    return found;
}

DWORD WINAPI accept_players(void* context) {
    name_thread(L"relay-accept");
    SOCKET listening = static_cast<SOCKET>(reinterpret_cast<uintptr_t>(context));
    for (;;) {
        SOCKET player = accept(listening, nullptr, nullptr);
        if (player == INVALID_SOCKET) {
            if (listener != listening) return 0;  // the relay was stopped
            Sleep(100);
            continue;
        }
        trace_event("relay.accepted");
        connection_place* place = take_place();
        if (place == nullptr) {
            closesocket(player);
            continue;
        }
        relay_connection* c = place->connection;
        memset(c, 0, sizeof *c);
        c->place = place;
        c->player = player;
        c->player_event = place->player_event;
        c->host = INVALID_SOCKET;
        c->host_event = WSA_INVALID_EVENT;
        SetEvent(place->work);
    }
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

// Listens on a free loopback port; tried again at each stream start while
// it could not.
bool start_relay() {
    static bool prepared = false;
    if (!prepared) {
        InitializeCriticalSection(&relay_lock);
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        // Every place is made at once; its thread at its first connection
        // (a thread under Wine holds about a megabyte, and a player that
        // changes channels one at a time uses two or three places).
        for (connection_place& p : places) {
            p.end = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            p.work = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            p.player_event = WSACreateEvent();
            p.host_event = WSACreateEvent();
            p.connection = static_cast<relay_connection*>(calloc(1, sizeof(relay_connection)));
            p.usable = p.end != nullptr && p.work != nullptr && p.player_event != WSA_INVALID_EVENT &&
                       p.host_event != WSA_INVALID_EVENT && p.connection != nullptr;
        }
        prepared = true;
    }
    if (started) return true;
    if (refusing) return false;
    open_https_session();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = 0;
    int at_size = sizeof at;
    bool listening = s != INVALID_SOCKET && bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
                     listen(s, SOMAXCONN) == 0 &&
                     getsockname(s, reinterpret_cast<sockaddr*>(&at), &at_size) == 0;
    bool serving = false;
    for (connection_place& p : places) serving = serving || p.usable;
    listener = listening && serving ? s : INVALID_SOCKET;
    HANDLE thread = listener != INVALID_SOCKET
        ? CreateThread(nullptr, 0, accept_players, reinterpret_cast<void*>(static_cast<uintptr_t>(s)), 0, nullptr)
        : nullptr;
    if (thread == nullptr) {
        listener = INVALID_SOCKET;
        if (s != INVALID_SOCKET) closesocket(s);
        return false;
    }
    CloseHandle(thread);
    relay_port = ntohs(at.sin_port);
    started = true;
    return true;
}

// Each connection closes its side to the host as soon as it sees the end
// of its request; the next request goes out only after that. WinHTTP may
// take until its next wait ends, so the wait here is bounded.
void wait_for_hosts_closed() {
    DWORD until = GetTickCount() + 1000;
    for (;;) {
        bool open = false;
        for (connection_place& p : places) open = open || InterlockedCompareExchange(&p.host_open, 0, 0) != 0;
        if (!open || static_cast<int32_t>(GetTickCount() - until) >= 0) return;
        Sleep(1);
    }
}

}  // namespace

void end_relayed_requests() {
    if (!started) return;
    EnterCriticalSection(&relay_lock);
    for (connection_place& p : places) {
        if (!p.in_use) continue;
        InterlockedExchange(&p.ending, 1);
        SetEvent(p.end);
        HINTERNET request = static_cast<HINTERNET>(InterlockedExchangePointer(&p.https_request, nullptr));
        if (request != nullptr) WinHttpCloseHandle(request);
    }
    LeaveCriticalSection(&relay_lock);
}

bool relay_address_for(const char* stream_url, char* out, size_t out_size) {
    if (out_size > 0) out[0] = 0;
    if (!start_relay()) return false;
    // Earlier addresses are retired first, so that a connection for one of
    // them that comes while the requests end can no longer start anything.
    EnterCriticalSection(&relay_lock);
    ++generation;
    for (relayed_address& a : addresses) a.id = 0;
    uint32_t now = generation;
    LeaveCriticalSection(&relay_lock);
    trace_event("relay.ending");
    end_relayed_requests();
    wait_for_hosts_closed();
    trace_event("relay.ended");
    uint64_t id = remember_address(stream_url, now, true);
    return id != 0 && format_relay_url(relay_port, id, out, out_size);
}

void relay_refuse_start(bool refuse) {
    refusing = refuse;
    if (!refuse || !started) return;
    end_relayed_requests();
    SOCKET s = listener;
    listener = INVALID_SOCKET;
    started = false;
    closesocket(s);
}

bool relay_https_settings_applied() {
    start_relay();
    return https_settings_applied;
}
