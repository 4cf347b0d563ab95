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

}  // namespace

bool is_playlist(const char* content_type, const char* body_start, size_t n) {
    if (content_type != nullptr) {
        size_t len = 0;
        while (content_type[len] != 0 && content_type[len] != ';' && content_type[len] != ' ') ++len;
        static const char* const types[] = {"application/vnd.apple.mpegurl", "application/x-mpegurl",
                                            "audio/mpegurl", "audio/x-mpegurl"};
        for (const char* type : types)
            if (equal_nocase(content_type, len, type)) return true;
    }
    if (n >= 3 && memcmp(body_start, "\xEF\xBB\xBF", 3) == 0) {
        body_start += 3;
        n -= 3;
    }
    return n >= 7 && memcmp(body_start, "#EXTM3U", 7) == 0;
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
    if (scheme_length(ref, ref_n) > 0) {
        w.put(ref, ref_n);
    } else if (ref_n >= 2 && ref[0] == '/' && ref[1] == '/') {
        w.put(base, scheme);
        w.put(ref, ref_n);
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
    while (n > 0 && (ref[0] == ' ' || ref[0] == '\t')) ++ref, --n;
    while (n > 0 && (ref[n - 1] == ' ' || ref[n - 1] == '\t')) --n;
    char absolute[longest_target];
    uint64_t id = resolve_address(base, ref, n, absolute, sizeof absolute) ? registrar(absolute, context) : 0;
    char relayed[64];
    if (!format_relay_url(port, id, relayed, sizeof relayed)) relayed[0] = 0;
    w->put(relayed);
}

// A tag line with its URI="..." attributes rewritten; false (nothing
// written) for an attribute whose value does not end.
bool put_tag(writer* w, const char* line, size_t n, const char* base, uint16_t port, relay_registrar registrar,
             void* context) {
    size_t start = w->at;
    size_t copied = 0;
    for (size_t i = 1; i + 5 <= n; ++i) {
        if (memcmp(line + i, "URI=\"", 5) != 0 || (line[i - 1] != ':' && line[i - 1] != ',')) continue;
        size_t value = i + 5;
        size_t close = value;
        while (close < n && line[close] != '"') ++close;
        if (close >= n) {
            w->at = start;
            if (w->fits) w->out[start] = 0;
            return false;
        }
        w->put(line + copied, value - copied);
        put_relayed(w, base, line + value, close - value, port, registrar, context);
        copied = close;
        i = close;
    }
    w->put(line + copied, n - copied);
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
        size_t blank = 0;
        while (blank < len && (line[blank] == ' ' || line[blank] == '\t')) ++blank;
        if (len > 0 && line[0] == '#') {
            // A tag whose address cannot be read is left out, never passed on as it stands.
            if (put_tag(&w, line, len, base, port, registrar, context)) w.put("\n");
        } else if (blank < len) {
            put_relayed(&w, base, line, len, port, registrar, context);
            w.put("\n");
        } else {
            w.put("\n");
        }
        at = end + 1;
    }
    return w.fits ? static_cast<int64_t>(w.at) : -1;
}
