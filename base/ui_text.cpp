#include "base/ui_text.h"

#include "base/utf.h"

void utf8_to_wide(const char* text, WCHAR* out, int32_t out_chars) {
    if (out == nullptr || out_chars <= 0) return;
    utf8_to_utf16(text, reinterpret_cast<char16_t*>(out), static_cast<size_t>(out_chars));
}

void wide_to_utf8(const WCHAR* text, char* out, int32_t out_size) {
    if (out == nullptr || out_size <= 0) return;
    utf16_to_utf8(reinterpret_cast<const char16_t*>(text), out, static_cast<size_t>(out_size));
}

int32_t show_message(HWND owner, const char* text, const char* caption, UINT type) {
    WCHAR wide_text[1024];
    WCHAR wide_caption[128];
    utf8_to_wide(text, wide_text, 1024);
    utf8_to_wide(caption, wide_caption, 128);
    return MessageBoxW(owner, wide_text, wide_caption, type);
}
