// What every window of the program shares: the instance, the black brush,
// the video window (the owner of every panel and message), the count of idle
// seconds that hides the overlays, and the behaviour all panels have in
// common. The panels' own handles live with the subsystem that owns each.
#pragma once

#include "base/win32.h"

#include <cstdint>

extern HINSTANCE app_instance;
extern HBRUSH black_brush;
extern HWND video_window;

// 1-second ticks since the mouse last moved or an overlay was used: the
// overlays hide after 5.
extern int32_t idle_ticks;

// The 1-second timer of a captioned panel.
constexpr UINT_PTR panel_timer_id = 1;

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

// Shows a captioned panel after resetting its auto-hide counter.
void show_panel(HWND panel, int32_t* ticks);

// A press on an overlay drags the video window and counts as activity.
void press_on_overlay();

// The messages every captioned panel (help, program, user) answers alike:
// its 1-second timer's tick, red text on black, and a press that drags it.
// FALSE for any other message.
INT_PTR captioned_panel_message(HWND panel, UINT message, WPARAM wparam, int32_t* ticks);

// The same for the overlays (control bar, exit button): red text on black,
// and a press that drags the video window.
INT_PTR overlay_message(UINT message, WPARAM wparam);
