// The user panel: the credit and the account to be charged. Its controls
// are written only through the functions below.
#pragma once

#include "base/win32.h"

#include <cstdint>

extern HWND user_panel;
// 1-second ticks since the panel was last shown.
extern int32_t user_panel_ticks;

// Shows the panel after resetting its auto-hide counter.
void show_user_panel();

// Shows the credit (UTF-16 text).
void set_credit_text(const char16_t* credit);

// Adds an entry ("<id> <first name> <last name>") to the account list.
void add_account_entry(const char16_t* entry);

// Selects the first entry: the subscriber's own account.
void select_own_account();

// Reads the selected entry into out (out_units with the terminator); false,
// with out empty, when none is selected or it does not fit.
bool read_selected_account(char16_t* out, int32_t out_units);

// Dialog procedure of the user panel (resource 102).
INT_PTR CALLBACK user_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
