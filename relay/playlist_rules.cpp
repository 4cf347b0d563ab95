#include "relay/playlist_rules.h"

#include "relay/relay_rules.h"

#include <cstring>

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_nocase(const char* a, size_t n, const char* b) {
    if (strlen(b) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (lower(a[i]) != b[i]) return false;
    return true;
}

// The length of a scheme and its colon at the start of ref, or 0.
size_t scheme_length(const char* ref, size_t n) {
    if (n == 0 || !((ref[0] >= 'a' && ref[0] <= 'z') || (ref[0] >= 'A' && ref[0] <= 'Z'))) return 0;
    for (size_t i = 1; i < n; ++i) {
        char c = ref[i];
        if (c == ':') return i + 1;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
                  c == '-' || c == '.';
        if (!ok) return 0;
    }
    return 0;
}

struct writer {
    char* out;
    size_t size;
    size_t at;
    bool fits;
    void put(const char* text, size_t n) {
        if (!fits || at + n + 1 > size) {
            fits = false;
            return;
        }
        memcpy(out + at, text, n);
        at += n;
        out[at] = 0;
    }
    void put(const char* text) { put(text, strlen(text)); }
};

// Appends a path with its "." and ".." segments removed; it starts with "/".
void put_path(writer* w, const char* path, size_t n) {
    size_t root = w->at;  // the path's start in the output
    size_t i = 0;
    while (i < n) {
        size_t j = i + 1;
        while (j < n && path[j] != '/') ++j;
        const char* segment = path + i + 1;
        size_t len = j - i - 1;
        bool last = j >= n;
        if (len == 1 && segment[0] == '.') {
            if (last) w->put("/");
        } else if (len == 2 && segment[0] == '.' && segment[1] == '.') {
            while (w->fits && w->at > root && w->out[w->at - 1] != '/') --w->at;
            if (w->fits && w->at > root) --w->at;  // the slash before the segment removed
            if (w->fits) w->out[w->at] = 0;
            if (last) w->put("/");
        } else {
            w->put(path + i, j - i);
        }
        i = j;
    }
    if (w->fits && w->at == root) w->put("/");
}

const char utf8_mark[] = "\xEF\xBB\xBF";

// Text without the blanks (spaces and tabs) at its ends.
void trim_blanks(const char** text, size_t* n) {
    while (*n > 0 && ((*text)[0] == ' ' || (*text)[0] == '\t')) ++*text, --*n;
    while (*n > 0 && ((*text)[*n - 1] == ' ' || (*text)[*n - 1] == '\t')) --*n;
}

// The media type of a Content-Type value, without parameters, is one of these.
bool type_is_one_of(const char* content_type, const char* const* types, size_t count) {
    if (content_type == nullptr) return false;
    while (*content_type == ' ' || *content_type == '\t') ++content_type;
    size_t len = 0;
    while (content_type[len] != 0 && content_type[len] != ';' && content_type[len] != ' ' &&
           content_type[len] != '\t')
        ++len;
    for (size_t i = 0; i < count; ++i)
        if (equal_nocase(content_type, len, types[i])) return true;
    return false;
}

// A byte that no text holds: a control byte other than the blank ones and
// escape, or one that never appears in UTF-8. Text is also UTF-8 as a whole.
bool binary_byte(unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1b) || c == 0x7f ||
           c == 0xc0 || c == 0xc1 || c >= 0xf5;
}

// Whether bytes are UTF-8 (a sequence cut by the end counts as whole
// unless the body ends there).
bool valid_utf8(const unsigned char* b, size_t n, bool ends) {
    for (size_t i = 0; i < n;) {
        unsigned char c = b[i];
        size_t more = c < 0x80 ? 0 : (c & 0xe0) == 0xc0 ? 1 : (c & 0xf0) == 0xe0 ? 2 : (c & 0xf8) == 0xf0 ? 3 : 9;
        if (more == 9) return false;
        for (size_t k = 1; k <= more; ++k) {
            if (i + k >= n) return !ends;
            if ((b[i + k] & 0xc0) != 0x80) return false;
        }
        i += more + 1;
    }
    return true;
}

bool starts_with(const char* text, size_t n, const char* prefix) {
    size_t len = strlen(prefix);
    return n >= len && memcmp(text, prefix, len) == 0;
}

// The player's rule for a playlist without a header: the first line that
// is neither a comment nor blank starts with an address with a scheme.
bool first_entry_is_an_address(const char* text, size_t n) {
    size_t at = 0;
    while (at < n) {
        while (at < n && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) ++at;
        if (at >= n) return false;
        if (text[at] != '#') {
            size_t scheme = scheme_length(text + at, n - at);
            return scheme > 0 && scheme + 2 <= n - at && text[at + scheme] == '/' && text[at + scheme + 1] == '/';
        }
        while (at < n && text[at] != '\n') ++at;
    }
    return false;
}

}  // namespace

body_kind judge_body(const char* content_type, const char* body, size_t n, bool whole) {
    static const char* const playlist_types[] = {
        "application/vnd.apple.mpegurl", "application/vnd.apple.mpegurl.audio", "application/x-mpegurl",
        "application/mpegurl", "audio/x-mpegurl", "audio/mpegurl", "audio/mpeg-url", "video/x-mpegurl",
        "video/mpegurl"};
    static const char* const document_types[] = {
        "application/dash+xml", "video/vnd.mpeg.dash.mpd", "application/vnd.ms-sstr+xml", "audio/x-scpls",
        "audio/scpls", "application/pls+xml", "application/xspf+xml", "application/sdp", "video/x-ms-asx",
        "audio/x-ms-wax", "video/x-ms-wvx"};
    if (type_is_one_of(content_type, playlist_types, sizeof playlist_types / sizeof *playlist_types))
        return body_kind::playlist;
    if (type_is_one_of(content_type, document_types, sizeof document_types / sizeof *document_types))
        return body_kind::document;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(body);
    // What the player's inflate filter opens: a zlib or a gzip header.
    if (n >= 2 && (((b[0] & 0x0f) == 8 && (b[0] >> 4) < 8 && ((b[0] << 8) | b[1]) % 31 == 0) ||
                   (b[0] == 0x1f && b[1] == 0x8b)))
        return body_kind::compressed;
    if (n < 2 && !whole) return body_kind::undecided;
    // Text in UTF-16 (a Smooth Streaming manifest often is).
    if (n >= 2 && ((b[0] == 0xff && b[1] == 0xfe) || (b[0] == 0xfe && b[1] == 0xff))) return body_kind::document;
    size_t looked = n < body_judged_after ? n : body_judged_after;
    for (size_t i = 0; i < looked; ++i)
        if (binary_byte(b[i])) return body_kind::media;
    if (!valid_utf8(b, looked, whole && looked == n)) return body_kind::media;
    if (looked < body_judged_after && !whole) return body_kind::undecided;
    const char* text = body;
    size_t left = looked;
    if (starts_with(text, left, utf8_mark)) text += 3, left -= 3;
    if (starts_with(text, left, "WEBVTT")) return body_kind::media;
    while (left > 0 && (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n' || *text == '\f' ||
                        *text == '\v'))
        ++text, --left;
    if (left == 0) return n == 0 ? body_kind::media : body_kind::document;
    if (starts_with(text, left, "#EXTM3U") || starts_with(text, left, "#EXTINF") ||
        first_entry_is_an_address(text, left))
        return body_kind::playlist;
    // An HLS key is 16 bytes that may all look like text.
    return whole && n <= 16 ? body_kind::media : body_kind::document;
}

bool resolve_address(const char* base, const char* ref, size_t ref_n, char* out, size_t out_size) {
    if (out == nullptr || out_size == 0) return false;
    out[0] = 0;
    for (size_t i = 0; i < ref_n; ++i)
        if (ref[i] == '#' || ref[i] == 0) ref_n = i;
    writer w = {out, out_size, 0, true};
    size_t base_n = strlen(base);
    size_t scheme = scheme_length(base, base_n);
    if (scheme == 0 || base_n < scheme + 2 || memcmp(base + scheme, "//", 2) != 0) return false;
    size_t authority_end = scheme + 2;
    while (authority_end < base_n && base[authority_end] != '/' && base[authority_end] != '?' &&
           base[authority_end] != '#')
        ++authority_end;
    size_t path_end = authority_end;
    while (path_end < base_n && base[path_end] != '?' && base[path_end] != '#') ++path_end;
    size_t query_end = path_end;
    while (query_end < base_n && base[query_end] != '#') ++query_end;

    size_t ref_path_end = 0;
    while (ref_path_end < ref_n && ref[ref_path_end] != '?') ++ref_path_end;
    size_t ref_scheme = scheme_length(ref, ref_n);
    if (ref_scheme > 0 || (ref_n >= 2 && ref[0] == '/' && ref[1] == '/')) {
        // Its own authority, if any, then its path without dot segments.
        if (ref_scheme == 0) w.put(base, scheme);
        size_t at = ref_scheme;
        if (at + 2 <= ref_path_end && ref[at] == '/' && ref[at + 1] == '/') {
            at += 2;
            while (at < ref_path_end && ref[at] != '/') ++at;
        }
        w.put(ref, at);
        if (at < ref_path_end && ref[at] == '/') put_path(&w, ref + at, ref_path_end - at);
        else w.put(ref + at, ref_path_end - at);
        w.put(ref + ref_path_end, ref_n - ref_path_end);
    } else if (ref_n == 0) {
        w.put(base, query_end);
    } else {
        w.put(base, authority_end);
        if (ref[0] == '/') {
            put_path(&w, ref, ref_path_end);
        } else if (ref[0] == '?') {
            if (path_end == authority_end) w.put("/");
            else w.put(base + authority_end, path_end - authority_end);
        } else {
            // The base's folder, then the reference's path.
            size_t folder = path_end;
            while (folder > authority_end && base[folder - 1] != '/') --folder;
            char merged[longest_target * 2];
            size_t m = 0;
            if (folder == authority_end) merged[m++] = '/';
            size_t base_part = folder - authority_end;
            if (m + base_part + ref_path_end >= sizeof merged) {
                out[0] = 0;
                return false;
            }
            memcpy(merged + m, base + authority_end, base_part);
            m += base_part;
            memcpy(merged + m, ref, ref_path_end);
            m += ref_path_end;
            put_path(&w, merged, m);
        }
        w.put(ref + ref_path_end, ref_n - ref_path_end);
    }
    if (!w.fits) out[0] = 0;
    return w.fits;
}

namespace {

// Writes the relay address of an address found in the playlist.
void put_relayed(writer* w, const char* base, const char* ref, size_t n, uint16_t port, relay_registrar registrar,
                 void* context) {
    trim_blanks(&ref, &n);
    char absolute[longest_target];
    uint64_t id = resolve_address(base, ref, n, absolute, sizeof absolute) ? registrar(absolute, context) : 0;
    char relayed[64];
    if (!format_relay_url(port, id, relayed, sizeof relayed)) relayed[0] = 0;
    w->put(relayed);
}

// An attribute that names an address: URI, any name ending in -URI, and
// X-ASSET-LIST (compared without case, blank space around it ignored).
bool names_an_address(const char* name, size_t n) {
    trim_blanks(&name, &n);
    if (equal_nocase(name, n, "uri") || equal_nocase(name, n, "x-asset-list")) return true;
    return n > 4 && equal_nocase(name + n - 4, 4, "-uri");
}

// A tag line with the addresses in its attribute list rewritten, every
// other byte as it stands; false (nothing written) when an address's
// quoted value does not end.
bool put_tag(writer* w, const char* line, size_t n, const char* base, uint16_t port, relay_registrar registrar,
             void* context) {
    size_t start = w->at;
    const char* colon = static_cast<const char*>(memchr(line, ':', n));
    size_t i = colon == nullptr ? n : static_cast<size_t>(colon - line) + 1;
    w->put(line, i);
    while (i < n) {
        // NAME=VALUE up to the next comma, the value quoted or not.
        size_t name = i;
        while (i < n && line[i] != '=' && line[i] != ',') ++i;
        if (i >= n || line[i] == ',') {
            w->put(line + name, i < n ? i + 1 - name : i - name);
            ++i;
            continue;
        }
        bool address = names_an_address(line + name, i - name);
        ++i;  // past '='
        w->put(line + name, i - name);
        size_t value = i;
        while (value < n && (line[value] == ' ' || line[value] == '\t')) ++value;
        size_t end;
        if (value < n && line[value] == '"') {
            size_t close = value + 1;
            while (close < n && line[close] != '"') ++close;
            if (close >= n && address) {
                w->at = start;
                if (w->fits) w->out[start] = 0;
                return false;
            }
            if (address) {
                w->put(line + i, value + 1 - i);
                put_relayed(w, base, line + value + 1, close - value - 1, port, registrar, context);
                i = close;
            }
            end = close < n ? close + 1 : n;
            while (end < n && line[end] != ',') ++end;
        } else {
            end = value;
            while (end < n && line[end] != ',') ++end;
            if (address) {
                w->put(line + i, value - i);
                put_relayed(w, base, line + value, end - value, port, registrar, context);
                i = end;
            }
        }
        w->put(line + i, end < n ? end + 1 - i : end - i);
        i = end + 1;
    }
    return true;
}

}  // namespace

int64_t rewrite_playlist(const char* body, size_t n, const char* base, uint16_t port, relay_registrar registrar,
                         void* context, char* out, size_t out_size) {
    if (out == nullptr || out_size == 0) return -1;
    out[0] = 0;
    writer w = {out, out_size, 0, true};
    size_t at = 0;
    while (at < n && w.fits) {
        size_t end = at;
        while (end < n && body[end] != '\n') ++end;
        size_t len = end - at;
        if (len > 0 && body[at + len - 1] == '\r') --len;
        const char* line = body + at;
        // A byte order mark stays where it is; the line is read after it.
        size_t mark = at == 0 && starts_with(line, len, utf8_mark) ? 3 : 0;
        w.put(line, mark);
        line += mark;
        len -= mark;
        size_t blank = 0;
        while (blank < len && (line[blank] == ' ' || line[blank] == '\t')) ++blank;
        if (blank < len && line[blank] == '#') {
            static const char option[] = "#extvlcopt";
            bool player_option = len - blank >= sizeof option - 1 && equal_nocase(line + blank, sizeof option - 1, option);
            // A tag whose address cannot be read is left out, never passed on as it stands.
            if (!player_option && put_tag(&w, line, len, base, port, registrar, context)) w.put("\n");
        } else if (blank < len) {
            put_relayed(&w, base, line, len, port, registrar, context);
            w.put("\n");
        } else {
            w.put(line, len);
            w.put("\n");
        }
        at = end + 1;
    }
    return w.fits ? static_cast<int64_t>(w.at) : -1;
}
