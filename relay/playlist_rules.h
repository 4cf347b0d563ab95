// HLS playlists through the stream relay. A playlist names its segments,
// keys and variant playlists by addresses of its own, relative to where it
// was fetched from or absolute; the player would resolve the relative ones
// against the relay and fetch the absolute ones itself, past the relay. So
// the relay rewrites every address in a playlist into a relay address of
// its own. No Windows header here: unit-tested natively and fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>

// Whether an answer is a playlist: by its content type
// (application/vnd.apple.mpegurl, application/x-mpegurl, audio/mpegurl,
// audio/x-mpegurl, with or without parameters) or by its first line
// "#EXTM3U" (after a UTF-8 byte order mark, if any).
bool is_playlist(const char* content_type, const char* body_start, size_t n);

// Resolves an address found in a document fetched from base (an absolute
// http or https address, after redirects) as a browser would: absolute
// ones as they stand, "//host/..." with base's scheme, "/path", "?query" and
// relative paths against base, with "." and ".." segments removed; a
// fragment is dropped. False, with out empty, when it does not fit.
bool resolve_address(const char* base, const char* ref, size_t ref_n, char* out, size_t out_size);

// Gives the relay id for an absolute address (0 when it cannot be relayed:
// a scheme other than http and https, or no room).
typedef uint64_t (*relay_registrar)(const char* absolute_address, void* context);

// Rewrites a playlist: each URI line and each URI="..." attribute becomes
// the relay address (on the given port) of the address it names, resolved
// against base. An address that cannot be relayed becomes the relay
// address of id 0, which answers 404. Lines end in "\n" afterwards.
// Returns the new length, or -1 when it does not fit out.
int64_t rewrite_playlist(const char* body, size_t n, const char* base, uint16_t port, relay_registrar registrar,
                         void* context, char* out, size_t out_size);
