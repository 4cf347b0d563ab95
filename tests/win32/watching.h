// The program as after a login at the stand-in, for the tests of watching
// TV: the channel table, the guide, channel starts, the player and the
// stream relay. Each test starts from the same state (see Watching::SetUp),
// whatever ran before it.
#pragma once

#include "tests/win32/fixture.h"

#include "account/login.h"
#include "playback/channel_tables.h"
#include "playback/player.h"
#include "playback/switching.h"
#include "resources/resource.h"

#include <commctrl.h>

#include <cstring>
#include <string>

// Waits (pumping) until a new log line contains the text; returns it.
std::string wait_for_log(size_t from, const std::string& text, uint32_t timeout_ms);
size_t count_log(size_t from, const std::string& text);
// A cell of the program panel's table (IDC_CHANNEL_LIST or IDC_EPG_LIST) as UTF-8.
std::string cell_text(int32_t list_id, int32_t row, int32_t column);
// A line of the info panel as UTF-8.
std::string info_line(int32_t id);
// Waits until the player library reports the playing time advancing (its
// own time-changed events, counted beside the program's handler).
bool time_advances(uint32_t timeout_ms);
// Starts row 0 as the program's first start does, unless it plays already,
// and waits until its picture moves.
void play_row_zero();
// How many tenths of the given time the player spends playing. The
// watchdog is held off meanwhile, so that no restart interferes.
int32_t tenths_playing_within(uint32_t ms);

class Watching : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!standin_address().empty()) start_program("ivan", "1234");
    }
    static void TearDownTestSuite() {
        if (!standin_address().empty()) end_program();
    }
    // Every test starts from the same state, whatever ran before it: no
    // fault, no row selected, row 0 playing with its guide shown.
    void SetUp() override {
        if (standin_address().empty()) GTEST_SKIP() << "the stand-in service is not running";
        standin_faults("");
        set_selected(-1, false);
        play_row_zero();
        show_guide_of(0);
    }
    HWND channels() { return GetDlgItem(program_panel, IDC_CHANNEL_LIST); }
    // Selects (or clears) a row as a click does; -1 is every row.
    void set_selected(int32_t row, bool selected) {
        LVITEMW state;
        memset(&state, 0, sizeof state);
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = selected ? LVIS_SELECTED | LVIS_FOCUSED : 0;
        SendMessageW(channels(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    }
    void show_guide_of(int32_t row) {
        if (epg_channel == row) return;
        epg_channel = row;
        fill_epg_list(row);
    }
    void activate(int32_t row) {
        NMITEMACTIVATE n;
        memset(&n, 0, sizeof n);
        n.hdr.hwndFrom = channels();
        n.hdr.idFrom = IDC_CHANNEL_LIST;
        n.hdr.code = LVN_ITEMACTIVATE;
        n.iItem = row;
        SendMessageW(program_panel, WM_NOTIFY, IDC_CHANNEL_LIST, reinterpret_cast<LPARAM>(&n));
    }
    std::string stream_of(const std::string& id) {
        return "GET /live?ch=" + id + "&sid=" + account.session_id + "&channelid=" + id + " HTTP/1.1";
    }
};

