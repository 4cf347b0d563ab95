// HLS playlists through the stream relay. A playlist names its segments,
// keys and variant playlists by addresses of its own, relative to where it
// was fetched from or absolute; the player would resolve the relative ones
// against the relay and fetch the absolute ones itself, past the relay. So
// the relay rewrites every address in a playlist into a relay address of
// its own. No Windows header here: unit-tested natively and fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>

// What the relay does with a body, judged the way the player would judge
// it: from the content type, then from the body's first bytes.
enum class body_kind {
    undecided,  // more of the body is needed
    media,      // passed on as it comes
    playlist,   // an M3U or HLS playlist: its addresses rewritten
    compressed,  // gzip or zlib, which the player would inflate and read: refused
    document,   // a manifest or list the relay cannot rewrite (DASH, Smooth
                // Streaming, PLS, XSPF, SDP, any other text): refused
};
// A text body is judged once this much of it has come (or all of it).
const size_t body_judged_after = 1024;

// Playlists: the HLS and M3U content types (application/vnd.apple.mpegurl,
// application/x-mpegurl, audio/x-mpegurl, video/mpegurl, ...), or a body
// whose first line, after a UTF-8 byte order mark and blank space, is
// "#EXTM3U" or "#EXTINF", or whose first line that is neither a comment
// nor blank is an address with a scheme (the player takes such a body for
// a playlist too). A body with a byte that text never holds, or that is
// not UTF-8, is media at once; so are WebVTT subtitles and a whole body of
// 16 bytes or fewer (an HLS key). whole: the body ends at n.
body_kind judge_body(const char* content_type, const char* body, size_t n, bool whole);

// Resolves an address found in a document fetched from base (an absolute
// http or https address, after redirects) as RFC 3986 says: absolute ones
// as they stand, "//host/..." with base's scheme, "/path", "?query" and
// relative paths against base; the "." and ".." segments of every path
// removed, and a fragment dropped. False, with out empty, when it does not fit.
bool resolve_address(const char* base, const char* ref, size_t ref_n, char* out, size_t out_size);

// Gives the relay id for an absolute address (0 when it cannot be relayed:
// a scheme other than http and https, or no room).
typedef uint64_t (*relay_registrar)(const char* absolute_address, void* context);

// Rewrites a playlist: each address line and, in each tag, every
// attribute whose name is URI or ends in -URI (SERVER-URI, X-ASSET-URI)
// and X-ASSET-LIST, quoted or not, becomes the relay address (on the given
// port) of the address it names, resolved against base. An address that
// cannot be relayed becomes the relay address of id 0, which answers 404.
// A tag whose address does not end is left out, and so is a player option
// line (#EXTVLCOPT). Every other byte stays as it is (a byte order mark
// too); lines end in "\n" afterwards. Returns the new length, or -1 when it
// does not fit out.
int64_t rewrite_playlist(const char* body, size_t n, const char* base, uint16_t port, relay_registrar registrar,
                         void* context, char* out, size_t out_size);
