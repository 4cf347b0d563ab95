// UTF-8 and UTF-16 conversion into fixed buffers, without Windows headers:
// the program's own rules for cutting text that does not fit.
#pragma once

#include <cstddef>
#include <cstdint>

// Converts UTF-8 (up to its terminator) into out, at most out_units - 1
// units plus the terminator; text that does not fit is cut before the first
// character that does not fit whole. Malformed bytes become U+FFFD.
// Returns the number of units written (without the terminator).
size_t utf8_to_utf16(const char* text, char16_t* out, size_t out_units);

// The same for n bytes of UTF-8 that need not be terminated.
size_t utf8n_to_utf16(const char* text, size_t n, char16_t* out, size_t out_units);

// Converts UTF-16 into UTF-8, at most out_size - 1 bytes plus the
// terminator, never splitting a character. Unpaired surrogates become U+FFFD.
size_t utf16_to_utf8(const char16_t* text, char* out, size_t out_size);

// Length of a terminated UTF-16 text.
size_t utf16_length(const char16_t* text);

// Copies UTF-16 text into out (out_units with the terminator), cutting it
// before a character that does not fit whole.
size_t utf16_copy(const char16_t* text, char16_t* out, size_t out_units);

// The length in bytes of the longest prefix of n bytes of UTF-8 that ends on
// a character boundary.
size_t utf8_whole_prefix(const char* text, size_t n);
