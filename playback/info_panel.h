// The info panel: the playing channel's name and the guide's now and next
// lines, over the picture's top left corner.
#pragma once

#include "base/win32.h"

#include <cstdint>

extern HWND info_panel;

// Shows the channel's name and its "начало: " and "следва: " lines (each
// empty for a title of one character or none).
void show_channel_info(const char16_t* name, const char16_t* now_title, const char16_t* next_title);

// Gives the panel's lines their fonts for a monitor of that dpi.
void fit_info_fonts(HWND panel, uint32_t dpi);

INT_PTR CALLBACK info_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
