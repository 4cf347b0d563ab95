#include "account/keepalive_rules.h"

#include "service/fields.h"
#include "base/utf.h"

#include <cstring>

void walk_keepsession_response(const char* text, size_t n, const keepsession_actions& actions) {
    walk_key_values(text, n, [&actions](const field<char>& key, const field<char>& value) {
        if (field_contains(key, "session")) {
            if (field_contains(value, "false") && actions.refused) actions.refused(actions.context);
        } else if (field_contains(key, "credit")) {
            size_t shown = value.length < credit_bytes_shown ? value.length : credit_bytes_shown;
            shown = utf8_whole_prefix(value.text, shown);
            if (actions.show_credit) actions.show_credit(value.text, shown, actions.context);
        }
    });
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
