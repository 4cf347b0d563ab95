#include "account/login.h"

#include "account/credentials.h"
#include "account/user_panel.h"
#include "base/panel_family.h"
#include "base/countof.h"
#include "base/trace.h"
#include "base/ui_text.h"
#include "base/utf.h"
#include "resources/resource.h"
#include "service/exchange.h"

#include <cstring>

char user_name[32];
char user_password[32];
char login_response[response_size];
login_account account;

namespace {

char16_t login_work[response_size];
char16_t shares_work[response_size];

void add_shared_entry(const char16_t* entry, void*) { add_account_entry(entry); }

void log_in(HWND dialog) {
    trace_event("login");
    memset(user_name, 0, sizeof user_name);
    memset(user_password, 0, sizeof user_password);
    GetDlgItemTextA(dialog, IDC_LOGIN_USER, user_name, countof(user_name));
    GetDlgItemTextA(dialog, IDC_LOGIN_PASS, user_password, countof(user_password));
    save_credentials(user_name, user_password);

    char line[request_line_size];
    // One byte beyond the response stays zero, so the text is terminated.
    static char response[response_size + 1];
    memset(response, 0, sizeof response);
    if (format_account_info_request(line, sizeof line, service_host(), user_name, user_password) > 0)
        service_request(line, response, response_size);
    trace_event("login.answered");

    // The service marks refused credentials by "false" anywhere in the text.
    if (strstr(response, "false") != nullptr) {
        show_message(nullptr, "Невалиден потребител или парола!", "Внимание възникнал е проблем!", MB_OK);
        ExitProcess(0);
    }
    memcpy(login_response, response, sizeof login_response);
    EndDialog(dialog, IDOK);
}

}  // namespace

INT_PTR CALLBACK login_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        if (load_remember_flag() != 0) {
            CheckDlgButton(dialog, IDC_LOGIN_REMEMBER, BST_CHECKED);
            load_credentials(dialog);
        } else {
            CheckDlgButton(dialog, IDC_LOGIN_REMEMBER, BST_UNCHECKED);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            log_in(dialog);
            return TRUE;
        }
        if (LOWORD(wparam) == IDC_LOGIN_REMEMBER) {
            save_remember_flag(IsDlgButtonChecked(dialog, IDC_LOGIN_REMEMBER) == BST_CHECKED ? 1 : 0);
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        ExitProcess(0);
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return paint_on_black(wparam, RGB(255, 0, 0));
    case WM_LBUTTONDOWN:
        drag_window(dialog);
        return 0;
    default:
        return FALSE;
    }
}

void load_shared_accounts() {
    char line[request_line_size];
    static char response[response_size + 1];
    memset(response, 0, sizeof response);
    if (format_shares_info_request(line, sizeof line, service_host(), user_name, user_password) > 0)
        service_request(line, response, response_size);
    memset(shares_work, 0, sizeof shares_work);
    utf8_to_utf16(response, shares_work, response_size);
    walk_shares_response(shares_work, add_shared_entry, nullptr);
}

void parse_login_response() {
    memset(login_work, 0, sizeof login_work);
    utf8n_to_utf16(login_response, sizeof login_response, login_work, response_size);
    walk_login_response(login_work, &account);

    if (account.credit_given) set_credit_text(account.credit);
    char16_t entry[account_entry_units];
    format_account_entry(account, entry, account_entry_units);
    add_account_entry(entry);
    select_own_account();
    if (account.shares_count != 0) load_shared_accounts();
}
