// The arithmetic of watching TV, without Windows headers: how responses
// become rows and cells, how navigation moves, the lock-code rule, the
// stream URL, the info lines, the volume steps and the stall watchdog.
#pragma once

#include "service/fields.h"

#include <cstddef>
#include <cstdint>

// The channel table's columns; the stream address, the id and the lock code
// are hidden (width 0).
enum channel_column : int32_t {
    column_number = 0,
    column_name = 1,
    column_price = 2,
    column_address = 3,
    column_id = 4,
    column_lock = 5,
};
// The guide's columns.
enum guide_column : int32_t {
    column_start = 0,
    column_end = 1,
    column_title = 2,
    column_comment = 3,
};

// Where field k of the channelslist response goes: its row (k div 5) and the
// channel table's column for its place in the record (id 4, name 1, stream
// address 3, price 2, lock code 5).
struct cell_place {
    int32_t row;
    int32_t column;
};
cell_place channel_cell_for_field(size_t k);
// Field k of the epg response: row k div 4, column k mod 4.
cell_place epg_cell_for_field(size_t k);
// The last complete channel row for a response of n fields; -1 for none.
int32_t last_complete_channel(size_t n_fields);

// The number shown in column 0: row + 1 right-aligned in three characters.
void format_row_number(int32_t row, char* out, size_t out_size);

// Which table a response fills.
enum class table_kind { channels, guide };
// Receives one cell of a table: its row and column and its text (length
// bytes of UTF-8, not terminated).
typedef void (*cell_sink)(int32_t row, int32_t column, const char* text, size_t length, void* context);
// Walks a response (its first n bytes, up to a zero byte) field by field
// and gives each field's cell to put, in order; for the channel table, a
// record's row number (column 0) comes before its first field. Returns the
// number of fields.
size_t place_table_cells(const char* response, size_t n, table_kind kind, cell_sink put, void* context);

// Navigation: the row each operation chooses.
int32_t next_channel(int32_t current, int32_t last);
int32_t previous_channel(int32_t current, int32_t last);

// A start asks for the lock code when the leading number of its text is not 0.
inline int32_t lock_code_number(const char* lock) { return leading_number(lock); }

// "http://<address>&sid=<session>&channelid=<id>" into out (256 bytes).
// False, with out empty, when it would not fit 255 characters or when it
// holds a control byte (below 0x20, or 0x7F): the player would send a CR or
// LF to the stream host as the end of a header line. Nothing is escaped.
constexpr size_t stream_url_size = 256;
bool format_stream_url(char* out, size_t out_size, const char* address, const char* session_id,
                       const char* channel_id);

// An info line: prefix ("начало: " / "следва: ") and the title when the
// title is longer than one character, else empty. UTF-16, cut to fit.
void format_info_line(const char16_t* prefix, const char16_t* title, char16_t* out, size_t out_units);

// The volume after one step of +1 or -1 (it stays within 0..100).
int32_t stepped_volume(int32_t volume, int32_t step);

// The watchdog's decision, given stall_ticks after this tick's increment.
bool watchdog_restarts(int32_t ticks_after_increment, int32_t playback_wanted);
