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

namespace {

// Puts the message box that is being activated in the topmost band, for
// a system whose message box does not do so itself for MB_TOPMOST (Wine).
LRESULT CALLBACK box_on_top(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wparam);
        WCHAR kind[16];
        if (GetClassNameW(box, kind, 16) > 0 && lstrcmpW(kind, L"#32770") == 0)
            SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

int32_t show_message(HWND owner, const char* text, const char* caption, UINT type) {
    WCHAR wide_text[1024];
    WCHAR wide_caption[128];
    utf8_to_wide(text, wide_text, 1024);
    utf8_to_wide(caption, wide_caption, 128);
    // The video window is topmost, often fullscreen: a box that is not
    // would open under it, holding the keyboard out of sight.
    HHOOK hook = SetWindowsHookExW(WH_CBT, box_on_top, nullptr, GetCurrentThreadId());
    int32_t pressed = MessageBoxW(owner, wide_text, wide_caption, type | MB_TOPMOST | MB_SETFOREGROUND);
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    return pressed;
}
