// The program panel's window and its two tables: the guide (EPG table,
// control 204) above the channel table (control 205), the only store of the
// channel list. The tables are written and read only through these.
#pragma once

#include "base/win32.h"
#include "service/exchange.h"

#include <commctrl.h>

#include <cstddef>
#include <cstdint>

extern HWND program_panel;
// 1-second ticks since the panel was last shown or a channel started.
extern int32_t program_panel_ticks;
// The row whose guide is shown, and the last complete row of the table.
extern int32_t epg_channel;
extern int32_t last_channel;

HWND channel_list();
HWND guide_list();

// A full table is drawn by the program panel's timer of the table's
// control id: the panel calls this for a timer it does not know.
bool draw_filled_table(HWND panel, UINT_PTR timer);

// Sends the channelslist request and fills the channel table, one row per
// record; sets last_channel.
void fill_channel_list(HWND list);
// Adds one row per record of a channelslist response (response_size bytes,
// zero beyond the received ones) and sets last_channel.
void fill_channel_rows(HWND list, const char* response);
// Sends the epg request for the channel of this row and replaces the guide.
void fill_epg_list(int32_t row);
// fill_epg_list in its steps, for a channel start (see exchange_under_way).
struct guide_fetch {
    exchange_under_way exchange;
    char line[request_line_size];
};
void begin_epg(guide_fetch* fetch, int32_t row);
void send_epg(guide_fetch* fetch);
void finish_epg(guide_fetch* fetch);

// Reads a cell back as the 8-bit bytes it holds, into a cleared buffer (a
// row or cell that does not exist reads as empty text).
void read_cell_bytes(HWND list, int32_t row, int32_t column, char* out, int32_t size);
// The same as UTF-16 text.
void read_cell_text(HWND list, int32_t row, int32_t column, char16_t* out, int32_t units);

void add_list_column(HWND list, const wchar_t* title, int32_t width, int32_t column);
// Writes a UTF-8 field into a cell; column 0 creates the row.
void set_list_cell(HWND list, const char* text, size_t length, int32_t row, int32_t column);
// The columns of both tables, at the panel's creation.
void set_up_tables(HWND panel);
