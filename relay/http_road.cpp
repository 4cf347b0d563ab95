// The http road: a connection of the relay's own to the stream host
// (straight to an IPv4 address, else each address of its name), the
// player's request sent on, and the host's answer read: a redirect gives the
// next address, anything else is passed to the player.
#include "base/trace.h"
#include "relay/relay_internal.h"

#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace relay {

uint32_t name_lookup_delay_ms = 0;

void close_host(relay_connection* c) {
    if (c->host != INVALID_SOCKET) {
        closesocket(c->host);
        c->host = INVALID_SOCKET;
    }
    c->host_event = WSA_INVALID_EVENT;  // the place's, kept
    InterlockedExchange(&c->place->host_open, 0);
}

namespace {

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

// A name lookup on a thread of its own, so that the request's end or the
// wait's limit can leave it: the system's lookup cannot be stopped, and a
// slow name server would otherwise hold the request's place past channel
// changes. Whichever of the lookup and its asker finishes last frees it.
struct name_lookup {
    volatile LONG holders;
    char host[longest_host];
    char port[8];
    addrinfo* found;
    HANDLE done;
};

void let_go(name_lookup* lookup) {
    if (InterlockedDecrement(&lookup->holders) != 0) return;
    if (lookup->found != nullptr) freeaddrinfo(lookup->found);
    if (lookup->done != nullptr) CloseHandle(lookup->done);
    free(lookup);
}

DWORD WINAPI look_up(void* context) {
    name_lookup* lookup = static_cast<name_lookup*>(context);
    if (name_lookup_delay_ms > 0) Sleep(name_lookup_delay_ms);
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    if (getaddrinfo(lookup->host, lookup->port, &hints, &lookup->found) != 0) lookup->found = nullptr;
    SetEvent(lookup->done);
    let_go(lookup);
    return 0;
}

// Starts a lookup of the host's name; nullptr when it cannot.
name_lookup* start_lookup(const http_address& to) {
    name_lookup* lookup = static_cast<name_lookup*>(calloc(1, sizeof(name_lookup)));
    if (lookup == nullptr) return nullptr;
    lookup->holders = 2;
    lstrcpynA(lookup->host, to.host, sizeof lookup->host);
    snprintf(lookup->port, sizeof lookup->port, "%u", static_cast<unsigned>(to.port));
    lookup->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = lookup->done != nullptr
        ? CreateThread(nullptr, 64 * 1024, look_up, lookup, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr)
        : nullptr;
    if (thread == nullptr) {
        lookup->holders = 1;
        let_go(lookup);
        return nullptr;
    }
    CloseHandle(thread);
    return lookup;
}

// Connects to the host: straight to an IPv4 address, else to each address
// its name has until one answers. The lookup ends with the request, and
// takes at most the wait.
bool connect_host(relay_connection* c, const http_address& to) {
    sockaddr_in direct;
    memset(&direct, 0, sizeof direct);
    direct.sin_family = AF_INET;
    direct.sin_port = htons(to.port);
    if (inet_pton(AF_INET, to.host, &direct.sin_addr) == 1)
        return connect_to(c, reinterpret_cast<const sockaddr*>(&direct), sizeof direct);
    name_lookup* lookup = start_lookup(to);
    if (lookup == nullptr) return false;
    HANDLE handles[2] = {c->place->end, lookup->done};
    bool looked_up = WaitForMultipleObjects(2, handles, FALSE, wait_ms) == WAIT_OBJECT_0 + 1;
    if (!looked_up) trace_event("relay.name lookup left");
    bool connected = false;
    for (addrinfo* a = looked_up ? lookup->found : nullptr; a != nullptr && !connected && !ended(c); a = a->ai_next)
        connected = connect_to(c, a->ai_addr, static_cast<int32_t>(a->ai_addrlen));
    let_go(lookup);
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

}  // namespace

// One http hop: the request, the answer's head, then a redirect's next
// address into url (true), or the answer passed on (false).
bool relay_http(relay_connection* c, const http_address& to, char* url, size_t url_size) {
    char request[12288];
    int32_t request_n = format_host_request(to, c->head, c->head_n, request, sizeof request);
    bool connected = request_n > 0 && connect_host(c, to);
    trace_event("relay.connected");
    if (connected) wait_for_turn(c);
    if (ended(c)) {
        close_host(c);  // ended while held: the host is asked nothing
        return false;
    }
    if (!connected || !send_to_host(c, request, static_cast<size_t>(request_n))) {
        c->host_failed = request_n > 0;  // tried again; a request that cannot be made is not
        if (!c->host_failed) answer_plain(c, 502);
        close_host(c);
        return false;
    }
    trace_event("relay.sent");
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
    bool next = false;
    if (!whole) {
        // No answer (or not one that could be read): tried again.
        c->host_failed = true;
    } else {
        body_source b;
        memset(&b, 0, sizeof b);
        b.c = c;
        b.chunked = parsed.chunked;
        chunk_begin(&b.chunks);
        b.left = parsed.chunked ? -1 : parsed.content_length;
        b.pending = answer + parsed.head_length;
        b.pending_n = n - parsed.head_length;
        next = take_answer(c, parsed, answer, &b, url, url_size);
    }
    close_host(c);
    return next;
}

}  // namespace relay
