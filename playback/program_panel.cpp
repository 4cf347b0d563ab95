#include "playback/program_panel.h"

#include "account/login.h"
#include "playback/channel_rules.h"
#include "playback/switching.h"
#include "resources/resource.h"
#include "service/service_request.h"
#include "shell/app.h"
#include "shell/trace.h"
#include "shell/utf.h"

#include <cstring>

int32_t epg_channel = -1;
int32_t last_channel = -1;

namespace {

// A cell holds at most 2047 UTF-16 units.
const size_t cell_units = 2048;

struct table_fill {
    HWND list;
    bool channels;  // the channel table (else the guide)
};

void take_field(const char* field, size_t length, size_t k, void* context) {
    table_fill* fill = static_cast<table_fill*>(context);
    if (fill->channels) {
        cell_place place = channel_cell_for_field(k);
        if (k % 5 == 0) {
            char number[16];
            format_row_number(place.row, number, sizeof number);
            set_list_cell(fill->list, number, strlen(number), place.row, 0);
        }
        set_list_cell(fill->list, field, length, place.row, place.column);
    } else {
        cell_place place = epg_cell_for_field(k);
        set_list_cell(fill->list, field, length, place.row, place.column);
    }
}

// A table that is filled row by row is drawn once, when it is full: drawn
// after every row, a visible table of some hundred rows takes seconds.
void hold_drawing(HWND list) { SendMessageW(list, WM_SETREDRAW, FALSE, 0); }

void draw_again(HWND list) {
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

}  // namespace

void read_cell_bytes(HWND list, int32_t row, int32_t column, char* out, int32_t size) {
    if (size <= 0) return;
    memset(out, 0, static_cast<size_t>(size));
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.iSubItem = column;
    item.pszText = out;
    item.cchTextMax = size;
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    // Windows cuts a long cell to size - 1 characters and a terminator; Wine
    // fills the whole buffer and leaves none. The last byte ends it on both.
    out[size - 1] = 0;
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
    table_fill fill = {list, true};
    hold_drawing(list);
    size_t n = split_fields8(response, response_size, take_field, &fill);
    draw_again(list);
    last_channel = last_complete_channel(n);
}

void fill_epg_list(int32_t row) {
    HWND channels = GetDlgItem(program_panel, IDC_CHANNEL_LIST);
    HWND guide = GetDlgItem(program_panel, IDC_EPG_LIST);
    char id[32];
    read_cell_bytes(channels, row, 4, id, sizeof id);

    char line[request_line_size];
    char table_response[response_size + 1];
    memset(table_response, 0, sizeof table_response);
    if (format_epg_request(line, sizeof line, service_host(), user_name, user_password, id) > 0)
        service_request(line, table_response, response_size);
    trace_event("epg.answered");
    table_fill fill = {guide, false};
    hold_drawing(guide);
    SendMessageW(guide, LVM_DELETEALLITEMS, 0, 0);
    split_fields8(table_response, response_size, take_field, &fill);
    draw_again(guide);
}

LRESULT draw_channel_cell(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        // The row's colours hold whatever the selection: the list's own
        // highlight of a selected row is switched off.
        draw->nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED | CDIS_FOCUS);
        draw->clrText = RGB(255, 255, 255);
        draw->clrTextBk = static_cast<int32_t>(draw->nmcd.dwItemSpec) == current_channel ? RGB(0, 0, 255) : RGB(0, 0, 0);
        return CDRF_NEWFONT;
    default:
        return CDRF_DODEFAULT;
    }
}

namespace {

void set_up_tables(HWND panel) {
    HWND channels = GetDlgItem(panel, IDC_CHANNEL_LIST);
    HWND guide = GetDlgItem(panel, IDC_EPG_LIST);
    add_list_column(channels, L"#", 40, 0);
    add_list_column(channels, L"Програма", 140, 1);
    add_list_column(channels, L"1 цент за", 70, 2);
    add_list_column(channels, L"IP", 0, 3);
    add_list_column(channels, L"ID", 0, 4);
    add_list_column(channels, L"PASS", 0, 5);
    add_list_column(guide, L"Начало", 60, 0);
    add_list_column(guide, L"Край", 60, 1);
    add_list_column(guide, L"Предаване", 200, 2);
    add_list_column(guide, L"Коментар", 200, 3);
    SendMessageW(guide, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    SendMessageW(channels, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
}

INT_PTR on_notify(HWND panel, NMHDR* header) {
    if (header->code == NM_CUSTOMDRAW) {
        if (header->idFrom == IDC_CHANNEL_LIST) {
            LRESULT result = draw_channel_cell(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
            SetWindowLongPtrW(panel, DWLP_MSGRESULT, result);
        }
        return TRUE;
    }
    if (header->idFrom != IDC_CHANNEL_LIST) return FALSE;
    if (header->code == LVN_ITEMCHANGED) {
        int32_t row = reinterpret_cast<NMLISTVIEW*>(header)->iItem;
        if (row != epg_channel) {
            epg_channel = row;
            fill_epg_list(row);
        }
        return 0;
    }
    if (header->code == LVN_ITEMACTIVATE) {
        activate_channel(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
        return 0;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK program_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        program_panel = panel;
        SetTimer(panel, 1, 1000, nullptr);
        set_up_tables(panel);
        return TRUE;
    case WM_TIMER:
        count_panel_tick(panel, &program_panel_ticks);
        return 0;
    case WM_CLOSE:
        hide_panel(panel);
        return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return paint_on_black(wparam, RGB(255, 0, 0));
    case WM_LBUTTONDOWN:
        drag_window(panel);
        return 0;
    case WM_NOTIFY:
        return on_notify(panel, reinterpret_cast<NMHDR*>(lparam));
    default:
        return FALSE;
    }
}
