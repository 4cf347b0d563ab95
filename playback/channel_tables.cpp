#include "playback/channel_tables.h"

#include "account/login.h"
#include "base/trace.h"
#include "base/utf.h"
#include "playback/channel_rules.h"
#include "resources/resource.h"
#include "service/exchange.h"

#include <cstring>

HWND program_panel;
int32_t program_panel_ticks;
int32_t epg_channel = -1;
int32_t last_channel = -1;

namespace {

// A cell holds at most 2047 UTF-16 units.
const size_t cell_units = 2048;

void put_cell(int32_t row, int32_t column, const char* text, size_t length, void* list) {
    set_list_cell(static_cast<HWND>(list), text, length, row, column);
}

// A table that is filled row by row is drawn once, when it is full: drawn
// after every row, a visible table of some hundred rows takes seconds.
void hold_drawing(HWND list) { SendMessageW(list, WM_SETREDRAW, FALSE, 0); }

void draw_again(HWND list) {
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

// Drawing comes back after the fill, from the program panel's timer, not
// within it: switched on, a shown list sets and draws its scroll bars at
// once, and under Wine's default visual theme that took some 20 ms of the
// processor, more than the rest of a channel change's own work. The guide
// waits for the new channel's first picture, some 200 ms after its start,
// so that the drawing does not compete with the player for the processor.
const UINT guide_draw_delay_ms = 300;

void draw_later(HWND list, UINT delay_ms) {
    UINT_PTR timer = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    bool timed = program_panel != nullptr && GetParent(list) == program_panel &&
                 SetTimer(program_panel, timer, delay_ms, nullptr) != 0;
    if (!timed) draw_again(list);
}

// Reads a cell into a cleared buffer of units characters. Windows cuts a
// long cell to units - 1 characters and a terminator; Wine fills the whole
// buffer and leaves none. The last unit ends it on both.
template <typename Item, typename Char>
void read_cell(HWND list, int32_t row, int32_t column, Char* out, int32_t units, bool wide) {
    if (units <= 0) return;
    memset(out, 0, static_cast<size_t>(units) * sizeof(Char));
    Item item;
    memset(&item, 0, sizeof item);
    item.iSubItem = column;
    item.pszText = reinterpret_cast<decltype(item.pszText)>(out);
    item.cchTextMax = units;
    LPARAM cell = reinterpret_cast<LPARAM>(&item);
    if (wide) SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), cell);
    else SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), cell);
    out[units - 1] = 0;
}

}  // namespace

bool draw_filled_table(HWND panel, UINT_PTR timer) {
    if (timer != IDC_CHANNEL_LIST && timer != IDC_EPG_LIST) return false;
    KillTimer(panel, timer);
    draw_again(GetDlgItem(panel, static_cast<int32_t>(timer)));
    return true;
}

HWND channel_list() { return GetDlgItem(program_panel, IDC_CHANNEL_LIST); }
HWND guide_list() { return GetDlgItem(program_panel, IDC_EPG_LIST); }

void read_cell_bytes(HWND list, int32_t row, int32_t column, char* out, int32_t size) {
    read_cell<LVITEMA>(list, row, column, out, size, false);
}

void read_cell_text(HWND list, int32_t row, int32_t column, char16_t* out, int32_t units) {
    read_cell<LVITEMW>(list, row, column, out, units, true);
}

void add_list_column(HWND list, const wchar_t* title, int32_t width, int32_t column) {
    LVCOLUMNW c;
    memset(&c, 0, sizeof c);
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    c.fmt = LVCFMT_LEFT | LVCFMT_COL_HAS_IMAGES;
    c.cx = width;
    c.pszText = const_cast<wchar_t*>(title);
    c.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c));
}

void set_list_cell(HWND list, const char* text, size_t length, int32_t row, int32_t column) {
    if (column == 0) {
        // The first cell is the field's own bytes, read in the system's
        // 8-bit code page (the row number and the start time are ASCII).
        char bytes[cell_units];
        size_t n = length < cell_units - 1 ? length : cell_units - 1;
        memcpy(bytes, text, n);
        bytes[n] = 0;
        LVITEMA item;
        memset(&item, 0, sizeof item);
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = bytes;
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return;
    }
    char16_t wide[cell_units];
    utf8n_to_utf16(text, length, wide, cell_units);
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(wide);
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void fill_channel_list(HWND list) {
    char line[request_line_size];
    // On this call's stack: an exchange may run inside another's message box.
    char table_response[response_size + 1];
    memset(table_response, 0, sizeof table_response);
    if (format_channelslist_request(line, sizeof line, service_host(), user_name, user_password) > 0)
        service_request(line, table_response, response_size);
    trace_event("channels.answered");
    fill_channel_rows(list, table_response);
    trace_event("channels.filled");
}

void fill_channel_rows(HWND list, const char* response) {
    hold_drawing(list);
    size_t n = place_table_cells(response, response_size, table_kind::channels, put_cell, list);
    draw_later(list, 0);
    last_channel = last_complete_channel(n);
}

namespace {

// The guide table from an epg response (response_size bytes, zeros after).
void fill_guide(const char* table_response) {
    HWND guide = guide_list();
    hold_drawing(guide);
    SendMessageW(guide, LVM_DELETEALLITEMS, 0, 0);
    place_table_cells(table_response, response_size, table_kind::guide, put_cell, guide);
    draw_later(guide, guide_draw_delay_ms);
}

// The epg request for the channel of this row; false when it cannot be made
// (it is then not sent).
bool make_epg_line(int32_t row, char* line, size_t size) {
    char id[32];
    read_cell_bytes(channel_list(), row, column_id, id, sizeof id);
    return format_epg_request(line, size, service_host(), user_name, user_password, id) > 0;
}

}  // namespace

void fill_epg_list(int32_t row) {
    char line[request_line_size];
    char table_response[response_size + 1];
    memset(table_response, 0, sizeof table_response);
    if (make_epg_line(row, line, sizeof line)) service_request(line, table_response, response_size);
    trace_event("epg.answered");
    fill_guide(table_response);
}

void begin_epg(guide_fetch* fetch, int32_t row) {
    memset(fetch->line, 0, sizeof fetch->line);
    if (make_epg_line(row, fetch->line, sizeof fetch->line))
        exchange_connect(&fetch->exchange);
    else
        fetch->line[0] = 0;  // a request that cannot be made is not sent
}

void send_epg(guide_fetch* fetch) {
    if (fetch->line[0] == 0) return;
    exchange_send(&fetch->exchange, fetch->line);
    if (fetch->exchange.sent) trace_event("epg.sent");
}

void finish_epg(guide_fetch* fetch) {
    char table_response[response_size + 1];
    memset(table_response, 0, sizeof table_response);
    if (fetch->line[0] != 0) exchange_finish(&fetch->exchange, table_response, response_size);
    trace_event("epg.answered");
    fill_guide(table_response);
}

void set_up_tables(HWND panel) {
    HWND channels = GetDlgItem(panel, IDC_CHANNEL_LIST);
    HWND guide = GetDlgItem(panel, IDC_EPG_LIST);
    add_list_column(channels, L"#", 40, column_number);
    add_list_column(channels, L"Програма", 140, column_name);
    add_list_column(channels, L"1 цент за", 70, column_price);
    add_list_column(channels, L"IP", 0, column_address);
    add_list_column(channels, L"ID", 0, column_id);
    add_list_column(channels, L"PASS", 0, column_lock);
    add_list_column(guide, L"Начало", 60, column_start);
    add_list_column(guide, L"Край", 60, column_end);
    add_list_column(guide, L"Предаване", 200, column_title);
    add_list_column(guide, L"Коментар", 200, column_comment);
    SendMessageW(guide, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    SendMessageW(channels, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
}

