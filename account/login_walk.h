// The walks over the login (account info) and shares info responses, kept
// apart from the windows they fill so they can be unit-tested natively.
// Both work on the response converted to UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>

// Account text values hold at most 63 UTF-16 units.
constexpr size_t account_text_units = 64;
constexpr size_t session_id_size = 256;
// An account entry of the user panel: "<id> <first name> <last name>".
constexpr size_t account_entry_units = 3 * account_text_units + 2;
// A shared account's entry while it is built.
constexpr size_t shared_entry_units = 128;

struct login_account {
    char16_t uid[account_text_units];
    char16_t first_name[account_text_units];
    char16_t last_name[account_text_units];
    char16_t credit[account_text_units];
    char session_id[session_id_size];  // UTF-8
    int32_t shares_count;
    bool credit_given;  // a "cr" value was read (the credit field is then set to it)
};

// Walks the login response: keys are found by substring, "ln" first, then
// "fn" over "uid" over "sessionid" over "shr" over "cr"; each value is then
// examined as a key in its turn. A key in the last field ends the walk.
void walk_login_response(const char16_t* text, login_account* account);

// "uid first last" with single blanks.
void format_account_entry(const login_account& account, char16_t* out, size_t out_units);

// Walks the shares info response: exact keys "sid" (starts an entry), "fn"
// and "ln" (append a blank and the value), "cr" (the entry is complete).
// Calls add for each complete entry, in order.
typedef void (*shared_entry_sink)(const char16_t* entry, void* context);
void walk_shares_response(const char16_t* text, shared_entry_sink add, void* context);
