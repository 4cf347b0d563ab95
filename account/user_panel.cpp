#include "account/user_panel.h"

#include "account/login.h"
#include "resources/resource.h"
#include "service/service_request.h"
#include "shell/app.h"
#include "shell/utf.h"

#include <cstring>

namespace {

char16_t shares_work[response_size];

void add_account_entry(const char16_t* entry, void* list) {
    SendMessageW(static_cast<HWND>(list), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
}

}  // namespace

void load_shared_accounts(HWND panel) {
    char line[request_line_size];
    static char response[response_size + 1];
    memset(response, 0, sizeof response);
    if (format_shares_info_request(line, sizeof line, service_host(), user_name, user_password) > 0)
        service_request(line, response, response_size);
    memset(shares_work, 0, sizeof shares_work);
    utf8_to_utf16(response, shares_work, response_size);
    walk_shares_response(shares_work, add_account_entry, GetDlgItem(panel, IDC_USER_ACCOUNTS));
}

INT_PTR CALLBACK user_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetTimer(panel, 1, 1000, nullptr);
        return TRUE;
    case WM_TIMER:
        count_panel_tick(panel, &user_panel_ticks);
        return 0;
    case WM_CLOSE:
        hide_panel(panel);
        return 0;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return paint_on_black(wparam, RGB(255, 0, 0));
    case WM_LBUTTONDOWN:
        drag_window(panel);
        return 0;
    default:
        return 0;
    }
}
