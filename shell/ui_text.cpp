#include "shell/ui_text.h"

void utf8_to_wide(const char* text, WCHAR* out, int32_t out_chars) {
    if (out == nullptr || out_chars <= 0) return;
    out[0] = 0;
    if (text == nullptr) return;
    int32_t len = lstrlenA(text);
    // A UTF-8 byte never yields more than one UTF-16 unit, and a unit takes at
    // most three bytes: start from a length that may fit, then drop whole
    // characters from the end until it does.
    if (len > 3 * (out_chars - 1)) len = 3 * (out_chars - 1);
    while ((text[len] & 0xC0) == 0x80 && len > 0) --len;
    for (;;) {
        int32_t need = len > 0 ? MultiByteToWideChar(CP_UTF8, 0, text, len, nullptr, 0) : 0;
        if (need < out_chars) {
            int32_t n = need > 0 ? MultiByteToWideChar(CP_UTF8, 0, text, len, out, out_chars - 1) : 0;
            out[n] = 0;
            return;
        }
        --len;
        while (len > 0 && (text[len] & 0xC0) == 0x80) --len;
    }
}

void wide_to_utf8(const WCHAR* text, char* out, int32_t out_size) {
    if (out == nullptr || out_size <= 0) return;
    out[0] = 0;
    if (text == nullptr) return;
    int32_t len = lstrlenW(text);
    if (len > out_size - 1) len = out_size - 1;
    for (;;) {
        // Never end on the first half of a surrogate pair.
        if (len > 0 && text[len - 1] >= 0xD800 && text[len - 1] <= 0xDBFF) --len;
        int32_t need = len > 0 ? WideCharToMultiByte(CP_UTF8, 0, text, len, nullptr, 0, nullptr, nullptr) : 0;
        if (need < out_size) {
            int32_t n = need > 0 ? WideCharToMultiByte(CP_UTF8, 0, text, len, out, out_size - 1, nullptr, nullptr) : 0;
            out[n] = 0;
            return;
        }
        --len;
    }
}

int32_t show_message(HWND owner, const char* text, const char* caption, UINT type) {
    WCHAR wide_text[1024];
    WCHAR wide_caption[128];
    utf8_to_wide(text, wide_text, 1024);
    utf8_to_wide(caption, wide_caption, 128);
    return MessageBoxW(owner, wide_text, wide_caption, type);
}
