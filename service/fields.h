// The service's field rules, without Windows headers. Fields are separated
// by the byte 0x01 (U+0001 once converted) as a string tokenizer splits
// them: a run of separators counts as one, so empty fields never appear. A
// text ends at its first zero or after n units, whichever comes first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

template <typename Char>
struct field {
    const Char* text;
    size_t length;
};

// Finds the field at or after position *at and moves *at past it; false,
// with *at at the end, when there is none.
template <typename Char>
bool next_field(const Char* text, size_t n, size_t* at, field<Char>* f) {
    size_t i = *at;
    while (i < n && text[i] == 1) ++i;
    if (i >= n || text[i] == 0) {
        *at = i;
        return false;
    }
    size_t start = i;
    while (i < n && text[i] != 0 && text[i] != 1) ++i;
    f->text = text + start;
    f->length = i - start;
    *at = i;
    return true;
}

// Calls take(field, length, index) for each field of an 8-bit text; returns
// the number of fields.
typedef void (*field_sink)(const char* field, size_t length, size_t index, void* context);
size_t split_fields(const char* text, size_t n, field_sink take, void* context);

// The key/value walk of the service's answers: every field is a key and the
// field after it its value; the value is then examined as a key in its turn.
// Calls visit(key, value) for each pair; the walk ends at a key without a
// field after it.
template <typename Char, typename Visit>
void walk_key_values(const Char* text, size_t n, Visit visit) {
    size_t at = 0;
    field<Char> key;
    if (!next_field(text, n, &at, &key)) return;
    for (;;) {
        field<Char> value = {nullptr, 0};
        size_t value_end = at;
        if (!next_field(text, n, &value_end, &value)) return;
        visit(key, value);
        key = value;
        at = value_end;
    }
}

// Whether a field holds the ASCII text key somewhere, or is exactly key.
template <typename Char>
bool field_contains(const field<Char>& f, const char* key) {
    size_t k = strlen(key);
    for (size_t i = 0; i + k <= f.length; ++i) {
        size_t j = 0;
        while (j < k && f.text[i + j] == static_cast<Char>(key[j])) ++j;
        if (j == k) return true;
    }
    return false;
}

template <typename Char>
bool field_equals(const field<Char>& f, const char* key) {
    return strlen(key) == f.length && field_contains(f, key);
}

// The decimal number at the start of a text, as the C library's string to
// integer rule reads it: blanks, a sign, digits up to the first other
// character; no digits gives 0, and the value is clamped to 32 bits.
int32_t leading_number(const char* text);
int32_t leading_number(const char16_t* text);
