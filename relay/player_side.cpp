// The player's side of a relayed request: its request head read within its
// time, the answer passed on to it (a playlist rewritten, anything else as
// it comes, in pieces gathered once the stream runs), and the waits that
// watch both sides at once.
#include "base/trace.h"
#include "relay/relay_internal.h"

#include <cstdlib>
#include <cstring>

namespace relay {

const size_t buffer_size = 256 * 1024;
// Buffers of finished connections, the last one given back on top: the
// next connection takes the one whose pages are in memory, so the relay
// holds only as many buffers as connections ever passed a body at once.
char* spare_buffers[most_connections];
uint32_t spare_count = 0;

namespace {

char* take_buffer() {
    char* buffer = nullptr;
    EnterCriticalSection(&relay_lock);
    if (spare_count > 0) buffer = spare_buffers[--spare_count];
    LeaveCriticalSection(&relay_lock);
    return buffer != nullptr ? buffer : static_cast<char*>(malloc(buffer_size));
}

}  // namespace

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
        bool gone = r != WSA_WAIT_EVENT_0 + 1 || WSAEnumNetworkEvents(c->player, c->player_event, &seen) != 0 ||
                    (seen.lNetworkEvents & FD_CLOSE) != 0;
        if (!gone && (seen.lNetworkEvents & FD_READ)) {
            char scratch[512];  // the player has nothing more to say; what it says is dropped
            gone = recv(c->player, scratch, sizeof scratch, 0) == 0;
        }
        if (gone) {
            c->player_left = true;
            return woke::player_gone;
        }
        if (for_player_write && (seen.lNetworkEvents & FD_WRITE)) return woke::host;
    }
}

// Sends everything to the player; false when it left, or the request ended.
// A player that reads slowly (its buffer full while the host sends faster
// than it plays) is waited for as long as it stays connected and its
// stream is current: a channel change or a stop ends the wait.
bool send_to_player(relay_connection* c, const char* data, size_t n) {
    while (n > 0) {
        int32_t piece = n > 1u << 30 ? 1 << 30 : static_cast<int32_t>(n);
        int sent = send(c->player, data, piece, 0);
        if (sent > 0) {
            data += sent;
            n -= static_cast<size_t>(sent);
            continue;
        }
        if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && wait_for(c, true, INFINITE) == woke::host)
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
            got = read_https(c, b->request, buffer, size);
            if (got <= 0) return got;
        } else {
            int r = recv(c->host, buffer, static_cast<int>(size), 0);
            if (r == 0) return 0;
            if (r == SOCKET_ERROR) {
                if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
                woke w = wait_for(c, false, wait_ms);
                if (w == woke::timed_out) c->host_silent = true;
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

namespace {

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

// Passes a stream's body on, after the head (or, resuming, with no head: the
// player has it). A live transport stream goes in whole packets,
// so that a break leaves no half packet with the player, and a resumed one
// starts at its first whole packet: the player's demuxer sees a
// discontinuity, never a torn packet. A live body that ends short while the
// player reads and the program has not ended it is marked for a resume.
void pass_stream(relay_connection* c, char* buffer, size_t have, const char* head, size_t head_length,
                 body_source* b) {
    // Live: no length. A transport stream with a length is taken for a file
    // or a segment of a playlist, which asked again would start over.
    bool live = b->left < 0;
    size_t skip = c->resuming ? packet_start(buffer, have) : 0;
    if (c->resuming && skip >= have) {
        c->host_failed = true;  // no stream in what came back
        return;
    }
    bool packets = live && have > skip && static_cast<uint8_t>(buffer[skip]) == ts_sync;
    size_t at = 0;  // where the body's bytes begin in the buffer
    size_t total = have - skip;
    if (c->resuming) {
        memmove(buffer, buffer + skip, total);
        InterlockedIncrement(&resumes_made);
        trace_event("relay.resumed");
    } else {
        // The head and the body's first bytes go in one send.
        c->answered = true;
        memmove(buffer + head_length, buffer, have);
        memcpy(buffer, head, head_length);
        at = head_length;
        total += head_length;
        if (b->pending_n > 0) {
            int64_t more = read_body(b, buffer + total, buffer_size - total, false);
            if (more > 0) total += static_cast<size_t>(more);
        }
        trace_event("relay.passing");
    }
    DWORD began = GetTickCount();
    int64_t got = 1;
    for (;;) {
        size_t keep = packets ? (total - at) % ts_packet : 0;
        if (!send_to_player(c, buffer, total - keep)) return;
        c->passed += total - keep - at;
        memmove(buffer, buffer + total - keep, keep);
        at = 0;
        total = keep;
        got = read_body(b, buffer + keep, buffer_size - keep, GetTickCount() - began > gather_after_ms);
        if (got <= 0) break;
        total += static_cast<size_t>(got);
    }
    if (live && !ended(c) && !c->player_left && !c->host_silent) {
        c->live_broke = true;
        trace_event("relay.host broke the stream off");
    }
}

}  // namespace

// Passes a 200 or 206 answer on: a playlist rewritten, anything else as it comes.
void pass_answer(relay_connection* c, int32_t status, const char* host_head, size_t head_n, const char* content_type,
                 const char* final_url, body_source* b) {
    static const size_t head_room = 4096;
    if (c->buffer == nullptr) c->buffer = take_buffer();
    char* buffer = c->buffer;
    if (buffer == nullptr) return answer_plain(c, 502);
    // The first bytes of the body tell a playlist that came with another
    // type, and a body the relay must not pass on.
    size_t have = 0;
    int64_t got = 1;
    body_kind kind = body_kind::undecided;
    while (kind == body_kind::undecided) {
        // Room is kept for the head in front of them.
        got = read_body(b, buffer + have, buffer_size - head_room - have, false);
        if (got < 0) break;
        have += static_cast<size_t>(got);
        kind = judge_body(content_type, buffer, have, got == 0);
    }
    char head[head_room];
    int32_t head_length = format_player_head(status, host_head, head_n, -1, head, sizeof head);
    if (got < 0 || (c->resuming && kind != body_kind::media)) {
        // Nothing came, or not the stream the player has: a failed attempt.
        c->host_failed = true;
    } else if (head_length <= 0) {
        answer_plain(c, 502);
    } else if (kind == body_kind::compressed || kind == body_kind::document) {
        // The player would read addresses from it past the relay.
        trace_event(kind == body_kind::compressed ? "relay.refused a compressed body"
                                                  : "relay.refused a manifest the relay cannot rewrite");
        answer_plain(c, 502);
    } else if (kind == body_kind::playlist) {
        pass_playlist(c, status, host_head, head_n, final_url, buffer, have, b);
    } else {
        pass_stream(c, buffer, have, head, static_cast<size_t>(head_length), b);
    }
}

// What a hop's answer leads to, on either road: a redirect's next address
// into url (true), or the answer passed to the player, or a bad gateway.
bool take_answer(relay_connection* c, const host_answer& parsed, const char* host_head, body_source* b, char* url,
                 size_t url_size) {
    int32_t status = parsed.status;
    if ((status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
        parsed.location[0] != 0) {
        char next[longest_target];
        if (resolve_address(url, parsed.location, strlen(parsed.location), next, sizeof next)) {
            lstrcpynA(url, next, static_cast<int>(url_size));
            return true;
        }
        answer_plain(c, 502);
        return false;
    }
    if (parsed.lengths_differ) trace_event("relay.refused an answer of two lengths");
    if ((status == 200 || status == 206) && !parsed.lengths_differ)
        pass_answer(c, status, host_head, parsed.head_length, parsed.content_type, url, b);
    else if (c->resuming)
        c->host_failed = true;  // the stream is not given back: tried again, within bounds
    else
        answer_plain(c, 502);
    return false;
}

}  // namespace relay

