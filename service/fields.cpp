#include "service/fields.h"

namespace {

template <typename Char>
int32_t read_leading_number(const Char* text) {
    size_t i = 0;
    while (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')) ++i;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    int64_t v = 0;
    while (text[i] >= '0' && text[i] <= '9') {
        v = v * 10 + (text[i++] - '0');
        if (v > 2147483648LL) v = 2147483648LL;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return static_cast<int32_t>(v);
}

}  // namespace

size_t split_fields(const char* text, size_t n, field_sink take, void* context) {
    size_t count = 0;
    size_t at = 0;
    field<char> f;
    while (next_field(text, n, &at, &f)) {
        if (take != nullptr) take(f.text, f.length, count, context);
        ++count;
    }
    return count;
}

int32_t leading_number(const char* text) { return read_leading_number(text); }
int32_t leading_number(const char16_t* text) { return read_leading_number(text); }
