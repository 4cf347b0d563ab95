#include "playback/channel_rules.h"

#include "base/utf.h"

#include <cstdio>
#include <cstring>

cell_place channel_cell_for_field(size_t k) {
    static const int32_t column_of_place[5] = {column_id, column_name, column_address, column_price, column_lock};
    cell_place p;
    p.row = static_cast<int32_t>(k / 5);
    p.column = column_of_place[k % 5];
    return p;
}

cell_place epg_cell_for_field(size_t k) {
    cell_place p;
    p.row = static_cast<int32_t>(k / 4);
    p.column = static_cast<int32_t>(k % 4);
    return p;
}

int32_t last_complete_channel(size_t n_fields) {
    return static_cast<int32_t>(n_fields / 5) - 1;
}

void format_row_number(int32_t row, char* out, size_t out_size) {
    if (out_size == 0) return;
    memset(out, 0, out_size);
    snprintf(out, out_size, "%3d", static_cast<int>(row + 1));
}

namespace {

struct cell_walk {
    table_kind kind;
    cell_sink put;
    void* context;
};

void place_field(const char* field, size_t length, size_t k, void* walk_ptr) {
    const cell_walk* walk = static_cast<const cell_walk*>(walk_ptr);
    if (walk->kind == table_kind::guide) {
        cell_place place = epg_cell_for_field(k);
        walk->put(place.row, place.column, field, length, walk->context);
        return;
    }
    cell_place place = channel_cell_for_field(k);
    if (k % 5 == 0) {
        char number[16];
        format_row_number(place.row, number, sizeof number);
        walk->put(place.row, column_number, number, strlen(number), walk->context);
    }
    walk->put(place.row, place.column, field, length, walk->context);
}

}  // namespace

size_t place_table_cells(const char* response, size_t n, table_kind kind, cell_sink put, void* context) {
    cell_walk walk = {kind, put, context};
    return split_fields(response, n, place_field, &walk);
}

int32_t next_channel(int32_t current, int32_t last) {
    return current < last ? current + 1 : 0;
}

int32_t previous_channel(int32_t current, int32_t last) {
    return current != 0 ? current - 1 : last;
}

bool format_stream_url(char* out, size_t out_size, const char* address, const char* session_id,
                       const char* channel_id) {
    if (out == nullptr || out_size == 0) return false;
    memset(out, 0, out_size);
    int n = snprintf(out, out_size, "http://%s&sid=%s&channelid=%s", address, session_id, channel_id);
    if (n < 0 || static_cast<size_t>(n) >= out_size || static_cast<size_t>(n) > stream_url_size - 1) {
        memset(out, 0, out_size);
        return false;
    }
    for (int i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (c < 0x20 || c == 0x7f) {
            memset(out, 0, out_size);
            return false;
        }
    }
    return true;
}

void format_info_line(const char16_t* prefix, const char16_t* title, char16_t* out, size_t out_units) {
    if (out_units == 0) return;
    memset(out, 0, out_units * sizeof(char16_t));
    // "Longer than one character": a surrogate pair is one character.
    size_t units = utf16_length(title);
    size_t characters = 0;
    for (size_t i = 0; i < units; ++i)
        if (!(title[i] >= 0xDC00 && title[i] <= 0xDFFF)) ++characters;
    if (characters <= 1) return;
    size_t used = utf16_copy(prefix, out, out_units);
    utf16_copy(title, out + used, out_units - used);
}

int32_t stepped_volume(int32_t volume, int32_t step) {
    if (step > 0 && volume <= 99) return volume + 1;
    if (step < 0 && volume != 0) return volume - 1;
    return volume;
}

bool watchdog_restarts(int32_t ticks_after_increment, int32_t playback_wanted) {
    return ticks_after_increment > 5 && playback_wanted != 0;
}
