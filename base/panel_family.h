// What every panel of the program has in common, whichever layer owns it
// (the login dialog, the user panel, the program panel, the info panel, the
// shell's overlays): the colours, dragging, hiding and the captioned panels'
// auto-hide. The window that owns them all, the video window, belongs to the
// shell, which tells the family about it at start-up.
#pragma once

#include "base/win32.h"

#include <cstdint>

// The brush every panel paints its background with (before the login).
void set_panel_background(HBRUSH background);
// The window that owns every panel and message, and what counts as the
// user's activity there (it keeps the overlays up). Until it is told, a
// panel has no owner and activity counts for nothing.
void set_panel_owner(HWND owner, void (*activity)());
HWND panel_owner();
// The user did something with a panel or the picture.
void note_user_activity();

// The dots per inch of the monitor a window is on (96 at 100 %): the
// window's own where Windows tells it (10 from 1607 on), the screen's on
// older systems.
uint32_t window_dpi(HWND window);

// Keeps a panel inside the work area of its monitor: moved in where it
// reaches beyond it, and where it is taller (a large scale on a small
// screen), made as tall as the work area, the given child (a list that
// scrolls) giving up the height it would lose under the panel's edge.
void fit_on_monitor(HWND panel, int32_t shrinking_child);

// The 1-second timer of a captioned panel.
constexpr UINT_PTR panel_timer_id = 1;

// The colour answer of every panel: the text colour, a transparent
// background and the panels' brush.
INT_PTR paint_on_black(WPARAM hdc, COLORREF text);

// Lets the window system move a window as if its caption had been grabbed.
void drag_window(HWND window);

// Hides a panel and gives the keyboard focus back to the panels' owner.
void hide_panel(HWND panel);

// One tick of a captioned panel's 1-second timer: it hides itself on the
// eleventh tick after it was last shown.
void count_panel_tick(HWND panel, int32_t* ticks);

// Shows a captioned panel after resetting its auto-hide counter.
void show_panel(HWND panel, int32_t* ticks);

// Brings a panel to the top of the topmost band (every panel is topmost),
// keeping the activation and the keyboard where they are.
void raise_panel(HWND panel);

// A press on an overlay drags the video window and counts as activity.
void press_on_overlay();

// The messages every captioned panel (help, program, user) answers alike:
// its 1-second timer's tick, red text on black, and a press that drags it.
// FALSE for any other message.
INT_PTR captioned_panel_message(HWND panel, UINT message, WPARAM wparam, int32_t* ticks);
