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
#include "relay/stream_relay.h"
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

// The row's cells a start reads, and its stream URL.
struct row_cells {
    char16_t name[128];
    char address[256];
    char id[256];
    char url[stream_url_size];
};

void read_row(int32_t row, row_cells* cells) {
    HWND channels = channel_list();
    read_cell_text(channels, row, column_name, cells->name, countof(cells->name));
    read_cell_bytes(channels, row, column_address, cells->address, countof(cells->address));
    read_cell_bytes(channels, row, column_id, cells->id, countof(cells->id));
    read_cell_bytes(channels, row, column_lock, channel_lock, countof(channel_lock));
}

bool make_url(row_cells* cells) {
    return format_stream_url(cells->url, sizeof cells->url, cells->address, account.session_id, cells->id);
}

// An address too long for the player's, or holding a control byte that
// would reach the stream host as a header line of its own: the channel that
// plays goes on.
void refuse_address() {
    current_channel = playing_channel;
    show_message(panel_owner(), "Адресът на програмата е твърде дълъг.", "Грешка!", MB_OK);
}

void play_row(int32_t row, const row_cells* cells) {
    playing_channel = row;
    current_channel = row;
    trace_event("open");
    start_stream(cells->url);
    trace_event("opened");
    InvalidateRect(channel_list(), nullptr, FALSE);
}

// The info panel: the row's name and its guide's first two titles.
void show_row_info(const row_cells* cells) {
    char16_t now_title[255];
    char16_t next_title[255];
    read_cell_text(guide_list(), 0, column_title, now_title, countof(now_title));
    read_cell_text(guide_list(), 1, column_title, next_title, countof(next_title));
    show_channel_info(cells->name, now_title, next_title);
}

// A row with a lock code: the exchanges, then the code, then the stream,
// one after the other, so that nothing reaches its host before the code.
void start_locked_row(int32_t row, row_cells* cells) {
    keep_session();
    trace_event("keepsession");
    if (epg_channel != row) {
        epg_channel = row;
        fill_epg_list(row);
    }
    trace_event("epg");
    if (ask_lock_code() == 0) {
        current_channel = playing_channel;
        return;
    }
    if (!make_url(cells)) return refuse_address();
    play_row(row, cells);
    show_row_info(cells);
}

// Starts the given row (steps 3 to 15 of a channel start). Neither
// exchange's answer changes whether or what the stream starts, so none is
// waited for first: the keep-alive's and the guide's connections and the
// stream's own open at once, their requests go in that order (the relay
// holds the stream's until the guide's is sent), and the answers are taken
// while the player starts. A refused session then only says so: the start
// has stopped what played before, and the new channel plays on.
void start_row(int32_t row) {
    row_cells cells;
    read_row(row, &cells);
    if (lock_code_number(channel_lock) != 0) return start_locked_row(row, &cells);
    bool guide_wanted = epg_channel != row;
    session_check check;
    guide_fetch fetch;
    begin_keep_session(&check);
    if (guide_wanted) begin_epg(&fetch, row);
    bool playing = make_url(&cells);
    if (playing) {
        relay_hold_requests(true);
        play_row(row, &cells);
    }
    send_keep_session(&check);
    if (guide_wanted) send_epg(&fetch);
    relay_hold_requests(false);
    finish_keep_session(&check);
    trace_event("keepsession");
    if (guide_wanted) {
        epg_channel = row;
        finish_epg(&fetch);
    }
    trace_event("epg");
    if (playing) show_row_info(&cells);
    else refuse_address();
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
