// The program panel: the guide (EPG table, control 204) above the channel
// table (control 205), the only store of the channel list.
#pragma once

#include "shell/win32.h"

#include <commctrl.h>

#include <cstdint>

extern int32_t epg_channel;
extern int32_t last_channel;

// Sends the channelslist request and fills the channel table, one row per
// record; sets last_channel.
void fill_channel_list(HWND list);
// Adds one row per record of a channelslist response (response_size bytes,
// zero beyond the received ones) and sets last_channel.
void fill_channel_rows(HWND list, const char* response);
// Sends the epg request for the channel of this row and replaces the guide.
void fill_epg_list(int32_t row);

// Reads a cell back as the 8-bit bytes it holds, into a cleared buffer (a
// row or cell that does not exist reads as empty text).
void read_cell_bytes(HWND list, int32_t row, int32_t column, char* out, int32_t size);

void add_list_column(HWND list, const wchar_t* title, int32_t width, int32_t column);
// Writes a UTF-8 field into a cell; column 0 creates the row.
void set_list_cell(HWND list, const char* text, size_t length, int32_t row, int32_t column);
LRESULT draw_channel_cell(NMLVCUSTOMDRAW* draw);

INT_PTR CALLBACK program_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam);
