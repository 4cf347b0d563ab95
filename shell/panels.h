// The shell's panels: the control bar and the exit button (overlays) and
// the help panel, with the toolbars and their command procedures. The info
// panel, the program panel and the user panel belong to playback and account.
#pragma once

#include "base/win32.h"

#include <cstdint>

// The popup menu of a right click on the picture.
extern HMENU popup_menu;
extern HWND control_bar;
extern HWND help_panel;
extern HWND exit_button;
extern int32_t help_panel_ticks;

void make_translucent(HWND window, int32_t alpha);
HWND create_control_bar_toolbar(HWND host);
HWND create_exit_button_toolbar(HWND host);
// The toolbars' pictures at the size for a monitor of that dpi (the video
// window moved to a monitor of another scale).
void fit_overlays_to_dpi(uint32_t dpi);

INT_PTR CALLBACK control_bar_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK exit_button_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK help_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);

LRESULT CALLBACK control_bar_command_proc(HWND host, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK exit_button_command_proc(HWND host, UINT message, WPARAM wparam, LPARAM lparam);

// Shows the help panel after resetting its auto-hide counter.
void show_help_panel();

// The control bar's volume slider.
void set_volume_slider(int32_t position);
// One step of the volume (+1 or -1), shown on the slider.
void step_volume(int32_t step);
