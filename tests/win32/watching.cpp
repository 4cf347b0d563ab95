#include "tests/win32/prelude.h"

std::string wait_for_log(size_t from, const std::string& text, uint32_t timeout_ms) {
    DWORD until = GetTickCount() + timeout_ms;
    do {
        std::vector<std::string> lines = standin_log();
        for (size_t i = from; i < lines.size(); ++i)
            if (lines[i].find(text) != std::string::npos) return lines[i];
        pump(50);
    } while (GetTickCount() < until);
    return "";
}

size_t count_log(size_t from, const std::string& text) {
    std::vector<std::string> lines = standin_log();
    size_t n = 0;
    for (size_t i = from; i < lines.size(); ++i) n += lines[i].find(text) != std::string::npos;
    return n;
}

std::string cell_text(int32_t list_id, int32_t row, int32_t column) {
    WCHAR text[512] = {0};
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    SendDlgItemMessageW(program_panel, list_id, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&item));
    char utf8[2048];
    wide_to_utf8(text, utf8, sizeof utf8);
    return utf8;
}

std::string info_line(int32_t id) {
    WCHAR text[512] = {0};
    GetDlgItemTextW(info_panel, id, text, 512);
    char utf8[2048];
    wide_to_utf8(text, utf8, sizeof utf8);
    return utf8;
}

bool time_advances(uint32_t timeout_ms) {
    // A few events in a row: the last one of a stream that has just stalled
    // may still be on its way.
    int32_t before = time_events();
    DWORD until = GetTickCount() + timeout_ms;
    while (GetTickCount() < until) {
        if (time_events() >= before + 3) return true;
        pump(50);
    }
    return false;
}

int32_t tenths_playing_within(uint32_t ms) {
    int32_t samples = 0;
    int32_t playing = 0;
    DWORD until = GetTickCount() + ms;
    while (GetTickCount() < until) {
        stall_ticks.store(0);
        ++samples;
        playing += player_is_playing();
        pump(50);
    }
    return samples == 0 ? 0 : playing * 10 / samples;
}

void play_row_zero() {
    playback_wanted = 1;
    if (playing_channel == 0) return;
    size_t mark = standin_log().size();
    current_channel = 0;
    switch_channel();
    wait_for_log(mark, "GET /live?ch=101&", 5000);
    time_advances(8000);
    pump(300);
}
