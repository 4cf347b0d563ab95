// The remembered login: three string values in the current user's registry,
// under the Policies key, or where Windows refuses writes there (a
// standard user), under the program's own key HKCU\Software\tvclient.
#pragma once

#include "base/win32.h"

#include <cstdint>

// The decimal number at the start of "isRem"; a missing or unreadable value
// is repaired to "0" and reads as 0.
int32_t load_remember_flag();
void save_remember_flag(int32_t flag);

// Puts "a_user" and "a_pass" into the login dialog's two fields (empty when
// missing).
void load_credentials(HWND dialog);
void save_credentials(const char* user, const char* pass);
