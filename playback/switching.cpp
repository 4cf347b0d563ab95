#include "playback/switching.h"

#include "account/keepalive.h"
#include "account/login.h"
#include "base/panel_family.h"
#include "base/countof.h"
#include "base/trace.h"
#include "base/ui_text.h"
#include "playback/channel_rules.h"
#include "playback/channel_tables.h"
#include "playback/info_panel.h"
#include "playback/player.h"
#include "resources/resource.h"

#include <cstring>

int32_t current_channel = 0;
int32_t playing_channel = -1;
char channel_lock[32];

namespace {

// A start runs modal loops (a keep-alive's message, the lock dialog) during
// which the control bar and the channel table stay usable. A second start
// requested meanwhile is ignored, so the row that plays and the indices
// always agree.
bool start_under_way = false;

INT_PTR CALLBACK lock_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_COMMAND:
        if (wparam == IDOK) {
            char typed[32];
            memset(typed, 0, sizeof typed);
            GetDlgItemTextA(dialog, IDC_LOCK_CODE, typed, countof(typed));
            EndDialog(dialog, strcmp(typed, channel_lock) == 0 ? IDOK : IDCANCEL);
        } else if (wparam == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return 0;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return paint_on_black(wparam, RGB(255, 0, 0));
    default:
        return 0;
    }
}

// Starts the given row (steps 3 to 15 of a channel start).
void start_row(int32_t row) {
    keep_session();
    trace_event("keepsession");
    if (epg_channel != row) {
        epg_channel = row;
        fill_epg_list(row);
    }
    trace_event("epg");
    HWND channels = channel_list();
    char16_t name[128];
    char address[256];
    char id[256];
    char16_t now_title[255];
    char16_t next_title[255];
    read_cell_text(channels, row, column_name, name, countof(name));
    read_cell_bytes(channels, row, column_address, address, countof(address));
    read_cell_bytes(channels, row, column_id, id, countof(id));
    read_cell_bytes(channels, row, column_lock, channel_lock, countof(channel_lock));
    read_cell_text(guide_list(), 0, column_title, now_title, countof(now_title));
    read_cell_text(guide_list(), 1, column_title, next_title, countof(next_title));

    if (lock_code_number(channel_lock) != 0 && ask_lock_code() == 0) {
        current_channel = playing_channel;
        return;
    }
    char url[stream_url_size];
    if (!format_stream_url(url, sizeof url, address, account.session_id, id)) {
        // Too long for the player's address, or holding a control byte that
        // would reach the stream host as a header line of its own: the
        // channel that plays goes on.
        current_channel = playing_channel;
        show_message(panel_owner(), "Адресът на програмата е твърде дълъг.", "Грешка!", MB_OK);
        return;
    }
    playing_channel = row;
    current_channel = row;
    trace_event("open");
    start_stream(url);
    trace_event("opened");
    InvalidateRect(channels, nullptr, FALSE);
    show_channel_info(name, now_title, next_title);
}

// Navigation changes current_channel only when no start is under way.
void select_and_switch(int32_t row) {
    if (start_under_way) return;
    trace_event("change");
    current_channel = row;
    switch_channel();
}

}  // namespace

int32_t ask_lock_code() {
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PARENTAL), panel_owner(), lock_dialog_proc, 0);
    // A dialog that could not be shown refuses the start.
    return result == IDOK ? 1 : 0;
}

void switch_channel() {
    playback_wanted = 1;
    program_panel_ticks = 0;
    note_user_activity();  // the overlays' idle count starts over
    if (current_channel == playing_channel || start_under_way) return;
    start_under_way = true;
    memset(channel_lock, 0, sizeof channel_lock);
    start_row(current_channel);
    start_under_way = false;
}

void select_first_channel() { select_and_switch(0); }
void select_last_channel() { select_and_switch(last_channel); }
void select_previous_channel() { select_and_switch(previous_channel(current_channel, last_channel)); }
void select_next_channel() { select_and_switch(next_channel(current_channel, last_channel)); }
void play_current_channel() { switch_channel(); }

void stop_playback() {
    playback_wanted = 0;
    stop_player();
}

void activate_channel(int32_t row) {
    if (start_under_way) return;
    trace_event("change");
    current_channel = row;
    program_panel_ticks = 0;
    switch_channel();
}
