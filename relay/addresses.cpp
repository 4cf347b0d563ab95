// The table of relay addresses: the one address the player is given for
// the stream, and those the stream's HLS playlists name. Each id is random,
// so that nothing else on the machine can guess one; each stream start
// retires the earlier ones.
#include "relay/stream_relay.h"

#include "base/trace.h"
#include "relay/relay_internal.h"

#include <ntsecapi.h>

#include <cstring>

namespace relay {

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

}  // namespace

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

}  // namespace relay

using namespace relay;

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
    trace_event("relay.ended");
    uint64_t id = remember_address(stream_url, now, true);
    return id != 0 && format_relay_url(relay_port, id, out, out_size);
}

