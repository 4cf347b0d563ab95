#include "account/user_panel.h"

#include "base/panel_family.h"
#include "resources/resource.h"

#include <cstring>

HWND user_panel;
int32_t user_panel_ticks;

namespace {

HWND account_list() { return GetDlgItem(user_panel, IDC_USER_ACCOUNTS); }

}  // namespace

void show_user_panel() { show_panel(user_panel, &user_panel_ticks); }

void set_credit_text(const char16_t* credit) {
    SetDlgItemTextW(user_panel, IDC_USER_CREDIT, reinterpret_cast<const WCHAR*>(credit));
}

void add_account_entry(const char16_t* entry) {
    SendMessageW(account_list(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
}

void select_own_account() { SendMessageW(account_list(), CB_SETCURSEL, 0, 0); }

bool read_selected_account(char16_t* out, int32_t out_units) {
    if (out_units <= 0) return false;
    memset(out, 0, static_cast<size_t>(out_units) * sizeof(char16_t));
    HWND list = account_list();
    LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return false;
    // The entry's length is asked first: the list writes the whole entry.
    LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
    if (length == CB_ERR || length >= out_units) return false;
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(out));
    return true;
}

INT_PTR CALLBACK user_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetTimer(panel, panel_timer_id, 1000, nullptr);
        return TRUE;
    case WM_CLOSE:
        hide_panel(panel);
        return 0;
    default:
        return captioned_panel_message(panel, message, wparam, &user_panel_ticks);
    }
}
