// Process-wide state of the window shell: the handles that start-up creates
// and every part of the program reaches.
#pragma once

#include "shell/win32.h"

#include <cstdint>

extern HINSTANCE app_instance;
extern HMENU popup_menu;
extern HBRUSH black_brush;
extern HFONT big_font;
extern HFONT small_font;

extern HWND video_window;
extern HWND control_bar;
extern HWND user_panel;
extern HWND help_panel;
extern HWND exit_button;
extern HWND info_panel;
extern HWND program_panel;

// Auto-hide counters: 1-second ticks since each was last reset.
extern int32_t idle_ticks;
extern int32_t help_panel_ticks;
extern int32_t program_panel_ticks;
extern int32_t user_panel_ticks;

// The colour answer of every panel: the text colour, a transparent
// background and the black brush.
INT_PTR paint_on_black(WPARAM hdc, COLORREF text);

// Lets the window system move a window as if its caption had been grabbed.
void drag_window(HWND window);

// Hides a panel and gives the keyboard focus back to the video window.
void hide_panel(HWND panel);

// One tick of a captioned panel's 1-second timer: it hides itself on the
// eleventh tick after it was last shown.
void count_panel_tick(HWND panel, int32_t* ticks);

// A press on an overlay drags the video window and counts as activity.
void press_on_overlay();
