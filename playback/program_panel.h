// The program panel's dialog: the guide above the channel table, a click on
// a row shows its guide, a double click starts it.
#pragma once

#include "base/win32.h"

#include <commctrl.h>

// Shows the panel after resetting its auto-hide counter.
void show_program_panel();

// The channel table's colours: the current channel's row on blue.
LRESULT draw_channel_cell(NMLVCUSTOMDRAW* draw);

INT_PTR CALLBACK program_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
