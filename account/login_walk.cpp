#include "account/login_walk.h"

#include "service/fields.h"
#include "base/utf.h"

#include <cstring>

namespace {

typedef field<char16_t> field_view;

// The login response is terminated; its walks need no length.
constexpr size_t to_terminator = SIZE_MAX;

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
    if (field_contains(f, "cr")) k = login_key::cr;
    if (field_contains(f, "shr")) k = login_key::shr;
    if (field_contains(f, "sessionid")) k = login_key::sessionid;
    if (field_contains(f, "uid")) k = login_key::uid;
    if (field_contains(f, "fn")) k = login_key::fn;
    return k;
}

}  // namespace

void walk_login_response(const char16_t* text, login_account* account) {
    walk_key_values(text, to_terminator, [account](const field_view& key, const field_view& value) {
        if (field_contains(key, "ln")) {
            store(value, account->last_name, account_text_units);
            return;
        }
        switch (classify_login_key(key)) {
        case login_key::cr:
            store(value, account->credit, account_text_units);
            account->credit_given = true;
            break;
        case login_key::shr: {
            char16_t number[account_text_units];
            store(value, number, account_text_units);
            account->shares_count = leading_number(number);
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
    });
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
    walk_key_values(text, to_terminator, [&](const field_view& key, const field_view& value) {
        if (field_equals(key, "sid")) {
            store(value, entry, shared_entry_units);
        } else if (field_equals(key, "fn") || field_equals(key, "ln")) {
            append_word(entry, shared_entry_units, value);
        } else if (field_equals(key, "cr")) {
            add(entry, context);
        }
    });
}
