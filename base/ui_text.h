// Text at the Win32 boundary: the program keeps UTF-8 and converts to UTF-16
// only where a window shows it, so Bulgarian text reads right on any code page.
#pragma once

#include "base/win32.h"

#include <cstdint>

// Converts UTF-8 text to UTF-16 into out (out_chars characters, always
// terminated; a text too long is cut at a whole character).
void utf8_to_wide(const char* text, WCHAR* out, int32_t out_chars);

// Converts UTF-16 text to UTF-8 into out (always terminated).
void wide_to_utf8(const WCHAR* text, char* out, int32_t out_size);

// A message box with UTF-8 text and caption, above every window (topmost)
// and in the foreground; returns the button pressed.
int32_t show_message(HWND owner, const char* text, const char* caption, UINT type);
