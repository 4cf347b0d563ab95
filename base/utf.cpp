#include "base/utf.h"

namespace {

const char32_t replacement = 0xFFFD;

// Decodes one character at text[i] (n bytes in all); returns its length.
size_t decode_one(const unsigned char* s, size_t n, size_t i, char32_t* c) {
    unsigned char b = s[i];
    if (b < 0x80) {
        *c = b;
        return 1;
    }
    size_t len;
    char32_t v;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        v = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        v = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        v = b & 0x07;
    } else {
        *c = replacement;
        return 1;
    }
    if (i + len > n) {
        *c = replacement;
        return 1;
    }
    for (size_t k = 1; k < len; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) {
            *c = replacement;
            return 1;
        }
        v = (v << 6) | (s[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are malformed.
    if ((len == 3 && v < 0x800) || (len == 4 && (v < 0x10000 || v > 0x10FFFF)) || (v >= 0xD800 && v <= 0xDFFF)) {
        *c = replacement;
        return 1;
    }
    *c = v;
    return len;
}

}  // namespace

size_t utf8n_to_utf16(const char* text, size_t n, char16_t* out, size_t out_units) {
    if (out == nullptr || out_units == 0) return 0;
    size_t w = 0;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (text != nullptr && i < n && s[i] != 0) {
        char32_t c;
        size_t len = decode_one(s, n, i, &c);
        size_t need = c >= 0x10000 ? 2 : 1;
        if (w + need > out_units - 1) break;
        if (need == 2) {
            c -= 0x10000;
            out[w++] = static_cast<char16_t>(0xD800 + (c >> 10));
            out[w++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out[w++] = static_cast<char16_t>(c);
        }
        i += len;
    }
    out[w] = 0;
    return w;
}

size_t utf8_to_utf16(const char* text, char16_t* out, size_t out_units) {
    return utf8n_to_utf16(text, static_cast<size_t>(-1), out, out_units);
}

size_t utf16_to_utf8(const char16_t* text, char* out, size_t out_size) {
    if (out == nullptr || out_size == 0) return 0;
    size_t w = 0;
    for (size_t i = 0; text != nullptr && text[i] != 0; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = replacement;
        }
        char bytes[4];
        size_t len;
        if (c < 0x80) {
            bytes[0] = static_cast<char>(c);
            len = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<char>(0xC0 | (c >> 6));
            bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
            len = 2;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<char>(0xE0 | (c >> 12));
            bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
            len = 3;
        } else {
            bytes[0] = static_cast<char>(0xF0 | (c >> 18));
            bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
            len = 4;
        }
        if (w + len > out_size - 1) break;
        for (size_t k = 0; k < len; ++k) out[w++] = bytes[k];
    }
    out[w] = 0;
    return w;
}

size_t utf16_length(const char16_t* text) {
    size_t n = 0;
    while (text != nullptr && text[n] != 0) ++n;
    return n;
}

size_t utf16_copy(const char16_t* text, char16_t* out, size_t out_units) {
    if (out == nullptr || out_units == 0) return 0;
    size_t n = utf16_length(text);
    if (n > out_units - 1) {
        n = out_units - 1;
        // Never keep the first half of a surrogate pair without its second.
        if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    }
    for (size_t i = 0; i < n; ++i) out[i] = text[i];
    out[n] = 0;
    return n;
}

namespace {

size_t whole_prefix_once(const char* text, size_t n) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    size_t whole = 0;
    while (i < n) {
        char32_t c;
        size_t len = decode_one(s, n, i, &c);
        // A sequence cut by the end of the n bytes is not a whole character;
        // a lead byte followed by something else is a malformed byte of its own.
        if (c == replacement && len == 1 && s[i] >= 0xC2 && s[i] <= 0xF4) {
            size_t want = s[i] >= 0xF0 ? 4 : s[i] >= 0xE0 ? 3 : 2;
            bool continues = true;
            for (size_t k = i + 1; k < n && k < i + want; ++k) continues = continues && (s[k] & 0xC0) == 0x80;
            if (i + want > n && continues) break;
        }
        i += len;
        whole = i;
    }
    return whole;
}

}  // namespace

// Cutting the prefix again must keep it as it is: a malformed lead byte that
// ends up last would otherwise look like a cut character the second time.
size_t utf8_whole_prefix(const char* text, size_t n) {
    for (;;) {
        size_t m = whole_prefix_once(text, n);
        if (m == n) return n;
        n = m;
    }
}
