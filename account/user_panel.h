// The user panel: the credit and the account to be charged.
#pragma once

#include "shell/win32.h"

// Asks for the accounts shared with this one and adds them to the account
// list after the own entry; the selection stays on the own entry.
void load_shared_accounts(HWND panel);

// Dialog procedure of the user panel (resource 102).
INT_PTR CALLBACK user_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
