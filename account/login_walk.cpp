#include "account/login_walk.h"

#include "shell/utf.h"

#include <cstring>

namespace {

// One field of a response: where it starts and how long it is.
struct field_view {
    const char16_t* text;
    size_t length;
};

// Finds the next field at or after position *at; false at the end.
bool next_field(const char16_t* text, size_t* at, field_view* f) {
    size_t i = *at;
    while (text[i] == 1) ++i;
    if (text[i] == 0) {
        *at = i;
        return false;
    }
    size_t start = i;
    while (text[i] != 0 && text[i] != 1) ++i;
    f->text = text + start;
    f->length = i - start;
    *at = i;
    return true;
}

bool contains(const field_view& f, const char* key) {
    size_t k = strlen(key);
    if (k > f.length) return false;
    for (size_t i = 0; i + k <= f.length; ++i) {
        size_t j = 0;
        while (j < k && f.text[i + j] == static_cast<char16_t>(key[j])) ++j;
        if (j == k) return true;
    }
    return false;
}

bool equals(const field_view& f, const char* key) {
    size_t k = strlen(key);
    if (k != f.length) return false;
    for (size_t j = 0; j < k; ++j)
        if (f.text[j] != static_cast<char16_t>(key[j])) return false;
    return true;
}

// Copies a field into a cleared buffer, cut before a character that does
// not fit whole.
void store(const field_view& f, char16_t* out, size_t out_units) {
    memset(out, 0, out_units * sizeof(char16_t));
    size_t n = f.length < out_units - 1 ? f.length : out_units - 1;
    if (n < f.length && n > 0 && f.text[n - 1] >= 0xD800 && f.text[n - 1] <= 0xDBFF) --n;
    for (size_t i = 0; i < n; ++i) out[i] = f.text[i];
}

// Appends a blank and a field to a text of out_units (terminator included).
void append_word(char16_t* out, size_t out_units, const field_view& f) {
    size_t used = utf16_length(out);
    if (used + 1 >= out_units) return;
    out[used++] = u' ';
    size_t room = out_units - 1 - used;
    size_t n = f.length < room ? f.length : room;
    if (n < f.length && n > 0 && f.text[n - 1] >= 0xD800 && f.text[n - 1] <= 0xDBFF) --n;
    for (size_t i = 0; i < n; ++i) out[used + i] = f.text[i];
    out[used + n] = 0;
}

enum class login_key { none, cr, shr, sessionid, uid, fn };

login_key classify_login_key(const field_view& f) {
    login_key k = login_key::none;
    if (contains(f, "cr")) k = login_key::cr;
    if (contains(f, "shr")) k = login_key::shr;
    if (contains(f, "sessionid")) k = login_key::sessionid;
    if (contains(f, "uid")) k = login_key::uid;
    if (contains(f, "fn")) k = login_key::fn;
    return k;
}

}  // namespace

size_t split_fields16(const char16_t* text, const char16_t** starts, size_t* lengths, size_t max_fields) {
    size_t at = 0;
    size_t n = 0;
    field_view f;
    while (text != nullptr && next_field(text, &at, &f)) {
        if (n < max_fields) {
            starts[n] = f.text;
            lengths[n] = f.length;
        }
        ++n;
    }
    return n;
}

int32_t wide_to_int(const char16_t* text) {
    size_t i = 0;
    while (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')) ++i;
    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-') negative = text[i++] == u'-';
    int64_t v = 0;
    while (text[i] >= u'0' && text[i] <= u'9') {
        v = v * 10 + (text[i++] - u'0');
        if (v > 2147483648LL) v = 2147483648LL;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return static_cast<int32_t>(v);
}

void walk_login_response(const char16_t* text, login_account* account) {
    size_t at = 0;
    field_view cursor;
    if (!next_field(text, &at, &cursor)) return;
    for (;;) {
        field_view value = {nullptr, 0};
        size_t value_end = at;
        bool has_value = next_field(text, &value_end, &value);
        if (contains(cursor, "ln")) {
            if (!has_value) return;
            store(value, account->last_name, account_text_units);
        } else {
            login_key key = classify_login_key(cursor);
            if (!has_value) return;
            switch (key) {
            case login_key::cr:
                store(value, account->credit, account_text_units);
                account->credit_given = true;
                break;
            case login_key::shr: {
                char16_t number[account_text_units];
                store(value, number, account_text_units);
                account->shares_count = wide_to_int(number);
                break;
            }
            case login_key::sessionid: {
                char16_t wide[session_id_size];
                store(value, wide, session_id_size);
                memset(account->session_id, 0, session_id_size);
                utf16_to_utf8(wide, account->session_id, session_id_size);
                break;
            }
            case login_key::uid:
                store(value, account->uid, account_text_units);
                break;
            case login_key::fn:
                store(value, account->first_name, account_text_units);
                break;
            case login_key::none:
                break;
            }
        }
        // The value is examined as a key in its turn.
        cursor = value;
        at = value_end;
    }
}

void format_account_entry(const login_account& account, char16_t* out, size_t out_units) {
    if (out_units == 0) return;
    out[0] = 0;
    utf16_copy(account.uid, out, out_units);
    field_view first = {account.first_name, utf16_length(account.first_name)};
    field_view last = {account.last_name, utf16_length(account.last_name)};
    append_word(out, out_units, first);
    append_word(out, out_units, last);
}

void walk_shares_response(const char16_t* text, shared_entry_sink add, void* context) {
    char16_t entry[shared_entry_units];
    memset(entry, 0, sizeof entry);
    size_t at = 0;
    field_view cursor;
    if (!next_field(text, &at, &cursor)) return;
    for (;;) {
        field_view value = {nullptr, 0};
        size_t value_end = at;
        if (!next_field(text, &value_end, &value)) return;
        if (equals(cursor, "sid")) {
            store(value, entry, shared_entry_units);
        } else if (equals(cursor, "fn") || equals(cursor, "ln")) {
            append_word(entry, shared_entry_units, value);
        } else if (equals(cursor, "cr")) {
            add(entry, context);
        }
        cursor = value;
        at = value_end;
    }
}
