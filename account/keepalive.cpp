#include "account/keepalive.h"

#include "account/keepalive_rules.h"
#include "account/login.h"
#include "playback/player.h"
#include "resources/resource.h"
#include "service/service_request.h"
#include "shell/app.h"
#include "shell/ui_text.h"
#include "shell/utf.h"

#include <cstring>

namespace {

void show_credit(const char* credit, size_t length, void*) {
    char16_t wide[64];
    utf8n_to_utf16(credit, length, wide, 64);
    SetDlgItemTextW(user_panel, IDC_USER_CREDIT, reinterpret_cast<const WCHAR*>(wide));
}

void session_refused(void*) {
    if (media_player != nullptr) libvlc_media_player_stop(media_player);
    show_message(nullptr, "Недостатъчен кредит!", "ТВ ЗЕЛУР", MB_OK);
}

// The seeder id: the first word of the account list's current entry.
void current_seeder_id(char* out, size_t out_size) {
    memset(out, 0, out_size);
    HWND list = GetDlgItem(user_panel, IDC_USER_ACCOUNTS);
    LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return;
    // The entry's length is asked first: the list writes the whole entry.
    LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
    WCHAR entry[1024];
    if (length == CB_ERR || length >= 1024) return;
    memset(entry, 0, sizeof entry);
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(entry));
    // The account id keeps at most 127 bytes, as an entry read back into 128.
    seeder_id_from_entry(reinterpret_cast<const char16_t*>(entry), out, out_size < 128 ? out_size : 128);
}

}  // namespace

void keep_session() {
    char seeder[128];
    current_seeder_id(seeder, sizeof seeder);
    char line[request_line_size];
    char response[keepsession_response_size];
    memset(response, 0, sizeof response);
    if (format_keepsession_request(line, sizeof line, service_host(), user_name, user_password,
                                   account.session_id, seeder) > 0)
        service_request(line, response, sizeof response);
    keepsession_actions actions = {show_credit, session_refused, nullptr};
    walk_keepsession_response(response, sizeof response, actions);
}
