// The panel family: the overlays (control bar, info panel, exit button) and
// the help panel, with the toolbars and their command procedures.
#pragma once

#include "shell/win32.h"

#include <cstdint>

void make_translucent(HWND window, int32_t alpha);
HWND create_control_bar_toolbar(HWND host);
HWND create_exit_button_toolbar(HWND host);

INT_PTR CALLBACK control_bar_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK info_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK exit_button_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK help_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);

LRESULT CALLBACK control_bar_command_proc(HWND host, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK exit_button_command_proc(HWND host, UINT message, WPARAM wparam, LPARAM lparam);

// Shows a panel after resetting its auto-hide counter.
void show_program_panel();
void show_help_panel();
void show_user_panel();
