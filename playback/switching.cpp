#include "playback/switching.h"

#include "account/keepalive.h"
#include "account/login.h"
#include "playback/channel_rules.h"
#include "playback/player.h"
#include "playback/program_panel.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "shell/trace.h"
#include "shell/ui_text.h"

#include <commctrl.h>

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

void read_cell_text(HWND list, int32_t row, int32_t column, char16_t* out, int32_t units) {
    memset(out, 0, static_cast<size_t>(units) * sizeof(char16_t));
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(out);
    item.cchTextMax = units;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    out[units - 1] = 0;
}

INT_PTR CALLBACK lock_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_COMMAND:
        if (wparam == 1) {
            char typed[32];
            memset(typed, 0, sizeof typed);
            GetDlgItemTextA(dialog, IDC_LOCK_CODE, typed, sizeof typed);
            EndDialog(dialog, strcmp(typed, channel_lock) == 0 ? 1 : 0);
        } else if (wparam == 2) {
            EndDialog(dialog, 0);
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
    HWND channels = GetDlgItem(program_panel, IDC_CHANNEL_LIST);
    HWND guide = GetDlgItem(program_panel, IDC_EPG_LIST);
    char16_t name[128];
    char address[256];
    char id[256];
    char16_t now_title[255];
    char16_t next_title[255];
    read_cell_text(channels, row, 1, name, 128);
    read_cell_bytes(channels, row, 3, address, sizeof address);
    read_cell_bytes(channels, row, 4, id, sizeof id);
    read_cell_bytes(channels, row, 5, channel_lock, sizeof channel_lock);
    read_cell_text(guide, 0, 2, now_title, 255);
    read_cell_text(guide, 1, 2, next_title, 255);

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
        show_message(video_window, "Адресът на програмата е твърде дълъг.", "Грешка!", MB_OK);
        return;
    }
    playing_channel = row;
    current_channel = row;
    trace_event("open");
    start_stream(url);
    trace_event("opened");
    InvalidateRect(channels, nullptr, FALSE);

    char16_t line[1024];
    SetDlgItemTextW(info_panel, IDC_INFO_NAME, reinterpret_cast<const WCHAR*>(name));
    format_info_line(u"начало: ", now_title, line, 1024);
    SetDlgItemTextW(info_panel, IDC_INFO_NOW, reinterpret_cast<const WCHAR*>(line));
    format_info_line(u"следва: ", next_title, line, 1024);
    SetDlgItemTextW(info_panel, IDC_INFO_NEXT, reinterpret_cast<const WCHAR*>(line));
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
    INT_PTR result = DialogBoxParamW(app_instance, MAKEINTRESOURCEW(IDD_PARENTAL), video_window, lock_dialog_proc, 0);
    // A dialog that could not be shown refuses the start.
    return result == 1 ? 1 : 0;
}

void switch_channel() {
    playback_wanted = 1;
    program_panel_ticks = 0;
    idle_ticks = 0;
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
    if (media_player != nullptr) libvlc_media_player_stop(media_player);
}

void activate_channel(int32_t row) {
    if (start_under_way) return;
    trace_event("change");
    current_channel = row;
    program_panel_ticks = 0;
    switch_channel();
}
