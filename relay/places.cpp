// The relay's accept loop and its places: a loopback port, a thread that
// accepts the player's connections, and a place for each connection with a
// thread of its own, made at its first use and kept. Ending the requests
// under way, and stopping the relay for the tests.
#include "relay/stream_relay.h"

#include "base/trace.h"
#include "base/countof.h"
#include "relay/relay_internal.h"

#include <cstdlib>
#include <cstring>

namespace relay {

CRITICAL_SECTION relay_lock;
connection_place places[most_connections];
volatile SOCKET listener = INVALID_SOCKET;
uint16_t relay_port = 0;
bool https_settings_applied = false;
bool http_through_winhttp = false;
volatile LONG resumes_made = 0;
// Set while the relay's requests may go (see relay_hold_requests).
HANDLE requests_free = nullptr;

namespace {

bool started = false;
bool refusing = false;

// One request for the stream's address, its redirects followed: the answer
// passed to the player, or the reason it was not in c.
void fetch(relay_connection* c, const char* address) {
    char url[longest_target];
    lstrcpynA(url, address, sizeof url);
    http_address first;
    for (int32_t hop = 0; hop <= redirects_followed; ++hop) {
        http_address to;
        if (!parse_http_address(url, &to) || ended(c)) return answer_plain(c, 502);
        // Credentials go to the host the address named, on no other road.
        if (hop == 0) {
            first = to;
        } else if (to.credentials[0] == 0 && same_origin(first, to)) {
            lstrcpynA(to.credentials, first.credentials, sizeof to.credentials);
        }
        bool next = to.https || http_through_winhttp ? relay_https(c, to, url, sizeof url)
                                                     : relay_http(c, to, url, sizeof url);
        if (!next) return;
    }
    answer_plain(c, 502);
}

}  // namespace

void wait_for_turn(relay_connection* c) {
    if (requests_free == nullptr) return;
    HANDLE either[2] = {requests_free, c->place->end};
    WaitForMultipleObjects(2, either, FALSE, 16000);
}

namespace {

// Whether one more resume fits in the last minute's allowance.
bool may_resume(relay_connection* c) {
    DWORD now = GetTickCount();
    int32_t recent = 0;
    for (int32_t i = 0; i < c->resumes && i < resumes_a_minute; ++i)
        if (now - c->resumed_at[i] < 60000) ++recent;
    if (recent >= resumes_a_minute) return false;
    if (c->resumes == resumes_a_minute) {
        memmove(c->resumed_at, c->resumed_at + 1, sizeof c->resumed_at - sizeof c->resumed_at[0]);
        --c->resumes;
    }
    c->resumed_at[c->resumes++] = now;
    return true;
}

void serve(relay_connection* c) {
    trace_event("relay.serving");
    // The player's socket is watched through the place's event from here on
    // (which also makes it non-blocking): for what it says, its leaving,
    // and room to send to it again once it was full.
    if (WSAEventSelect(c->player, c->player_event, FD_READ | FD_WRITE | FD_CLOSE) != 0 || !read_request_head(c))
        return;
    trace_event("relay.request");
    uint64_t id = 0;
    char url[longest_target];
    if (!parse_relay_request(c->head, c->head_n, &id)) return answer_plain(c, 502);
    if (!remembered_url(id, url, sizeof url, &c->generation)) return answer_plain(c, 404);
    // The host that gave no answer is asked again, and a live stream it
    // broke off is asked for again and goes on on the player's connection,
    // each after a growing pause; never once the program ended the request
    // (a channel change, a stop), and the host's connection is always
    // closed before the next (one connection a stream).
    int32_t attempt = 0;
    for (;;) {
        c->host_failed = false;
        c->live_broke = false;
        c->passed = 0;
        fetch(c, url);
        if (ended(c) || c->player_left || c->host_silent) break;
        if (c->passed > 0) attempt = 0;  // it played again: a later break starts afresh
        if (!c->host_failed && !c->live_broke) break;
        if (attempt == countof(retry_pauses_ms)) break;
        if (c->live_broke || c->resuming) {
            if (c->live_broke && !may_resume(c)) break;
            c->resuming = true;
        }
        if (WaitForSingleObject(c->place->end, retry_pauses_ms[attempt++]) == WAIT_OBJECT_0) break;
        trace_event(c->resuming ? "relay.resume" : "relay.retry");
    }
    answer_plain(c, 502);  // nothing when the player was answered
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

}  // namespace

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
            p.https_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            p.https_closed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            p.connection = static_cast<relay_connection*>(calloc(1, sizeof(relay_connection)));
            p.usable = p.end != nullptr && p.work != nullptr && p.player_event != WSA_INVALID_EVENT &&
                       p.host_event != WSA_INVALID_EVENT && p.https_done != nullptr &&
                       p.https_closed != nullptr && p.connection != nullptr;
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

}  // namespace relay

using namespace relay;

void end_relayed_requests() {
    if (!started) return;
    EnterCriticalSection(&relay_lock);
    for (connection_place& p : places) {
        if (!p.in_use) continue;
        InterlockedExchange(&p.ending, 1);
        SetEvent(p.end);
    }
    LeaveCriticalSection(&relay_lock);
    // A restart asks the host again at once: not before the last request let go.
    wait_for_hosts_closed();
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

void relay_http_through_winhttp(bool on) { http_through_winhttp = on; }

void relay_slow_name_lookups(uint32_t ms) { name_lookup_delay_ms = ms; }

void relay_hold_requests(bool hold) {
    if (relay::requests_free == nullptr) relay::requests_free = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (relay::requests_free == nullptr) return;
    if (hold) ResetEvent(relay::requests_free);
    else SetEvent(relay::requests_free);
}

uint32_t relay_resumes() { return static_cast<uint32_t>(InterlockedCompareExchange(&relay::resumes_made, 0, 0)); }

bool relay_https_settings_applied() {
    start_relay();
    return https_settings_applied;
}
