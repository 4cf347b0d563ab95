// The video window: the program's main window, into which the player draws.
#pragma once

#include "base/win32.h"

#include <cstdint>

extern WINDOWPLACEMENT video_placement;
extern RECT normal_rect;
extern uint16_t last_mouse_x;
extern uint16_t last_mouse_y;

// The video window's timers: the overlays' auto-hide (1 s), the stall
// watchdog (2 s) and the session's keep-alive (1 minute).
enum video_timer : UINT_PTR {
    auto_hide_timer = 1,
    watchdog_timer = 2,
    keepalive_timer = 3,
};

LRESULT CALLBACK video_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Places the exit button, the info panel and the control bar around the
// video window.
void layout_panels();

// Centres a top-level window on the work area of its monitor, 15 pixels
// above the centre.
void center_on_desktop(HWND window);

// Switches the video window between its windowed form and fullscreen.
void toggle_fullscreen(HWND window);

// Back from fullscreen to the windowed form at normal_rect.
void restore_windowed(HWND window);

// Reads a window's placement into a record of the caller's.
void read_placement(HWND window, WINDOWPLACEMENT* placement);

BOOL CALLBACK disable_child_window(HWND child, LPARAM extra);
