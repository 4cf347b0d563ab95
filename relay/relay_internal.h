// What the relay's files share: its limits, the places of its connections
// and one connection's state, and the steps each file offers the others.
// Nothing outside relay/ includes this; the program sees stream_relay.h.
#pragma once

#include "base/win32.h"
#include "relay/playlist_rules.h"
#include "relay/relay_rules.h"

#include <winhttp.h>

#include <cstddef>
#include <cstdint>

namespace relay {

struct relay_connection;

// The player's whole request head must come within this: a connection that
// drips its head cannot hold a place for longer.
const uint32_t request_head_ms = 2000;
// Each wait on the host's side once the request is under way: its name,
// connection and answer, and every later receive. A send to the player
// waits for as long as the player stays and the request goes on.
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

// The player opens one connection a stream (an HLS channel one at a time
// per playlist or segment), and a restart another while the last winds
// down; more than this are refused, so that nothing else on the machine can
// make the relay start threads without end.
const uint32_t most_connections = 16;
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
    // The https road's WinHTTP request works asynchronously: each step's
    // outcome is told to the place, so that its thread waits for the step
    // or the end event, whichever comes first, and closes the request itself.
    HANDLE https_done;             // auto reset: the request's step finished
    HANDLE https_closed;           // auto reset: WinHTTP let go of the request
    volatile LONG https_outcome;   // the step's bytes read, or -1 when it failed
    volatile LONG https_serial;    // the number of the request it serves (0: none)
};
extern connection_place places[most_connections];

// Guards the addresses, the generation and the connections' places.
extern CRITICAL_SECTION relay_lock;
extern volatile SOCKET listener;
extern uint16_t relay_port;
extern bool https_settings_applied;
// For the tests: plain http addresses take the https road's WinHTTP too.
extern bool http_through_winhttp;

// The pauses before each new attempt at a request the host did not answer,
// or at a live stream it broke off; and at most so many resumes of one
// stream a minute. Then the player's connection ends and its watchdog
// starts the channel again.
const uint32_t retry_pauses_ms[] = {200, 500, 1000, 2000};
const int32_t resumes_a_minute = 6;

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
    // A live stream whose host side broke is asked for again (a resume),
    // and a request the host did not answer is tried again, within bounds:
    bool player_left;   // the player closed its side
    bool host_failed;   // the host gave no answer (connection, request or head), or a resume no stream
    bool host_silent;   // the host sent nothing for the whole wait: the watchdog's case
    bool live_broke;    // a live stream's body ended before the program ended it
    bool resuming;      // the player has its head: the next answer's stream continues the one it has
    uint64_t passed;    // body bytes passed on since the last request to the host
    DWORD resumed_at[resumes_a_minute];  // when the last resumes were made, oldest first
    int32_t resumes;
};
inline bool ended(relay_connection* c) { return InterlockedCompareExchange(&c->place->ending, 0, 0) != 0; }

// Live streams given back to the player after a break since the relay
// started (the tests and the player's trace read it).
extern volatile LONG resumes_made;

// Waits while the program holds the relay's requests (relay_hold_requests),
// at most 16 s; returns at once when the request was ended.
void wait_for_turn(relay_connection* c);

// What a wait saw.
enum class woke { host, player_gone, ended, timed_out };

// The body of an answer, read one piece at a time: from the host's socket
// (decoding chunks), or from WinHTTP for https.
struct body_source {
    relay_connection* c;
    HINTERNET request;  // the https road's; otherwise the socket
    bool chunked;
    chunk_reader chunks;
    bool finished;
    int64_t left;  // bytes of a body with a known length still to come; -1 unknown
    char* pending;  // body bytes that came with the head
    size_t pending_n;
};

// The address table (addresses.cpp).
struct registrar_context {
    uint32_t generation;
};
uint64_t register_from_playlist(const char* absolute, void* context);
// The address of an id, and the stream start it belongs to.
bool remembered_url(uint64_t id, char* out, size_t out_size, uint32_t* of_generation);

// The player's side (player_side.cpp).
woke wait_for(relay_connection* c, bool for_player_write, uint32_t ms);
bool send_to_player(relay_connection* c, const char* data, size_t n);
void player_sends_at_once(relay_connection* c);
void answer_plain(relay_connection* c, int32_t status);
bool read_request_head(relay_connection* c);
void give_back_buffer(relay_connection* c);
int64_t read_body(body_source* b, char* buffer, size_t size, bool gather);
void pass_answer(relay_connection* c, int32_t status, const char* host_head, size_t head_n, const char* content_type,
                 const char* final_url, body_source* b);
bool take_answer(relay_connection* c, const host_answer& parsed, const char* host_head, body_source* b, char* url,
                 size_t url_size);

// The http road (http_road.cpp): one hop; true with the next address in url
// after a redirect. For the tests, each name lookup can be made slow.
extern uint32_t name_lookup_delay_ms;
void close_host(relay_connection* c);
bool relay_http(relay_connection* c, const http_address& to, char* url, size_t url_size);

// The https road (https_road.cpp): one hop, as the http road's.
void open_https_session();
bool relay_https(relay_connection* c, const http_address& to, char* url, size_t url_size);
// The next piece of a WinHTTP body: its length, 0 at the end, -1 when the
// host failed, the wait ran out or the request ended.
int64_t read_https(relay_connection* c, HINTERNET request, char* buffer, size_t size);

// The accept loop and its places (places.cpp).
bool start_relay();
void wait_for_hosts_closed();

}  // namespace relay
