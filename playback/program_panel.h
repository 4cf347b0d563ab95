// The program panel: the guide and the channel table.
#pragma once

#include "shell/win32.h"

INT_PTR CALLBACK program_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
