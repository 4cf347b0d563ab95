#include "account/keepalive_rules.h"

#include "shell/utf.h"

#include <cstring>

namespace {

struct field8 {
    const char* text;
    size_t length;
};

bool next_field8(const char* text, size_t n, size_t* at, field8* f) {
    size_t i = *at;
    while (i < n && text[i] == '\x01') ++i;
    if (i >= n || text[i] == 0) {
        *at = i;
        return false;
    }
    size_t start = i;
    while (i < n && text[i] != 0 && text[i] != '\x01') ++i;
    f->text = text + start;
    f->length = i - start;
    *at = i;
    return true;
}

bool contains8(const field8& f, const char* key) {
    size_t k = strlen(key);
    for (size_t i = 0; i + k <= f.length; ++i)
        if (memcmp(f.text + i, key, k) == 0) return true;
    return false;
}

}  // namespace

void walk_keepsession_response(const char* text, size_t n, const keepsession_actions& actions) {
    size_t at = 0;
    field8 cursor;
    if (!next_field8(text, n, &at, &cursor)) return;
    for (;;) {
        bool is_credit = contains8(cursor, "credit");
        bool is_session = contains8(cursor, "session");
        field8 value = {nullptr, 0};
        size_t value_end = at;
        if (!next_field8(text, n, &value_end, &value)) return;
        if (is_session) {
            if (contains8(value, "false") && actions.refused) actions.refused(actions.context);
        } else if (is_credit) {
            size_t shown = value.length < credit_bytes_shown ? value.length : credit_bytes_shown;
            shown = utf8_whole_prefix(value.text, shown);
            if (actions.show_credit) actions.show_credit(value.text, shown, actions.context);
        }
        cursor = value;
        at = value_end;
    }
}

void seeder_id_from_entry(const char16_t* entry, char* out, size_t out_size) {
    if (out_size == 0) return;
    memset(out, 0, out_size);
    size_t i = 0;
    while (entry[i] == u' ') ++i;
    size_t start = i;
    while (entry[i] != 0 && entry[i] != u' ') ++i;
    char16_t word[256];
    size_t n = i - start;
    if (n > 255) n = 255;
    if (n > 0 && n < i - start && entry[start + n - 1] >= 0xD800 && entry[start + n - 1] <= 0xDBFF) --n;
    for (size_t k = 0; k < n; ++k) word[k] = entry[start + k];
    word[n] = 0;
    utf16_to_utf8(word, out, out_size);
}
