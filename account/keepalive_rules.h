// The keep-alive's walks, without Windows headers: the keepsession
// response and the seeder id taken from an account entry.
#pragma once

#include <cstddef>
#include <cstdint>

// What a keepsession response asks for, in the order of its fields.
struct keepsession_actions {
    // Show this credit (at most 16 bytes, never a split character).
    void (*show_credit)(const char* credit, size_t length, void* context);
    // The session was refused: stop the player and say so.
    void (*refused)(void* context);
    void* context;
};

// Only the first 16 bytes of a credit value are shown.
constexpr size_t credit_bytes_shown = 16;

// Walks the keepsession response (n bytes, ending at the first zero byte):
// a field containing "session" (which wins) or "credit" is a key, the next
// field its value, and the value is examined as a key in its turn.
void walk_keepsession_response(const char* text, size_t n, const keepsession_actions& actions);

// The seeder id: the first blank-separated word of an account entry, as
// UTF-8 of at most out_size - 1 bytes, cut before a character that does not
// fit whole. Leading blanks are skipped; an entry without a word gives "".
void seeder_id_from_entry(const char16_t* entry, char* out, size_t out_size);
