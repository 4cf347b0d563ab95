// The video window: the program's main window, into which the player draws.
#pragma once

#include "shell/win32.h"

extern WINDOWPLACEMENT video_placement;
extern RECT normal_rect;

LRESULT CALLBACK video_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Centres a top-level window on the desktop, 15 pixels above the centre.
void center_on_desktop(HWND window);

// Back from fullscreen to the windowed form at normal_rect.
void restore_windowed(HWND window);
