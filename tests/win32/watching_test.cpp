// Watching TV with the real libvlc against the stand-in service: the
// channel table, the guide, channel starts, the parental lock, the
// watchdog and the sound and picture settings.
#include "tests/win32/standin.h"

#include "account/login.h"
#include "playback/channel_rules.h"
#include "playback/player.h"
#include "playback/program_panel.h"
#include "playback/stream_relay.h"
#include "playback/switching.h"
#include "resources/resource.h"
#include "service/service_request.h"
#include "shell/app.h"
#include "shell/startup.h"
#include "shell/ui_text.h"

#include <commctrl.h>

#include <cstring>
#include <memory>

namespace {

// Waits (pumping) until a new log line contains the text; returns it.
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

// Waits until the player reports playing time again.
bool time_advances(uint32_t timeout_ms) {
    stall_ticks.store(100);
    DWORD until = GetTickCount() + timeout_ms;
    while (GetTickCount() < until) {
        if (stall_ticks.load() == 0) return true;
        pump(50);
    }
    return false;
}

// How many tenths of the given time the player spends playing. The
// watchdog is held off meanwhile, so that no restart interferes.
int32_t tenths_playing_within(uint32_t ms) {
    int32_t samples = 0;
    int32_t playing = 0;
    DWORD until = GetTickCount() + ms;
    while (GetTickCount() < until) {
        stall_ticks.store(0);
        ++samples;
        playing += libvlc_media_player_is_playing(media_player) != 0;
        pump(50);
    }
    return samples == 0 ? 0 : playing * 10 / samples;
}

class Watching : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!standin_address().empty()) start_program("ivan", "1234");
    }
    static void TearDownTestSuite() {
        if (!standin_address().empty()) end_program();
    }
    void SetUp() override {
        if (standin_address().empty()) GTEST_SKIP() << "the stand-in service is not running";
    }
    HWND channels() { return GetDlgItem(program_panel, IDC_CHANNEL_LIST); }
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

TEST_F(Watching, TheChannelTableHoldsEveryRecordWithItsHiddenCells) {
    EXPECT_EQ(SendMessageW(channels(), LVM_GETITEMCOUNT, 0, 0), 12);
    EXPECT_EQ(last_channel, 11);
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 0), "  1");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 1), "Новини 24");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 2), "10 мин");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 3), standin_address() + "/live?ch=101");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 4), "101");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 5), "0");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 11, 0), " 12");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 10, 5), "1234");
    // The hidden columns take no width.
    EXPECT_EQ(SendMessageW(channels(), LVM_GETCOLUMNWIDTH, 3, 0), 0);
    EXPECT_EQ(SendMessageW(channels(), LVM_GETCOLUMNWIDTH, 1, 0), 140);
}

TEST_F(Watching, SelectingARowLoadsItsGuideOnce) {
    size_t mark = standin_log().size();
    LVITEMW state;
    memset(&state, 0, sizeof state);
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(channels(), LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(count_log(mark, "\\x01" "epg\\x01" "103\\x0d"), 1u);
    EXPECT_EQ(count_log(mark, "\\x01" "epg\\x01"), 1u);
    EXPECT_EQ(epg_channel, 2);
    EXPECT_GT(SendDlgItemMessageW(program_panel, IDC_EPG_LIST, LVM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(cell_text(IDC_EPG_LIST, 0, 0).size(), 5u);  // "HH:MM"
}

// Rows scrolled through by a table's vertical scroll bar.
int32_t scroll_rows(HWND list) {
    SCROLLINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE;
    if (!GetScrollInfo(list, SB_VERT, &info)) return 0;
    return info.nMax - info.nMin + 1;
}

// The tables are filled with their drawing held, and must take up drawing
// (their scroll bars included) once full.
TEST_F(Watching, TablesAreDrawnAgainOnceFilled) {
    HWND guide = GetDlgItem(program_panel, IDC_EPG_LIST);
    ShowWindow(program_panel, SW_SHOW);
    SendMessageW(guide, LVM_DELETEALLITEMS, 0, 0);
    pump(50);
    EXPECT_LE(scroll_rows(guide), 1);
    // The guide shown stays the one of the same channel.
    int32_t row = epg_channel >= 0 ? epg_channel : 0;
    fill_epg_list(row);
    epg_channel = row;
    pump(100);
    int32_t rows = static_cast<int32_t>(SendMessageW(guide, LVM_GETITEMCOUNT, 0, 0));
    EXPECT_GT(rows, 20);
    EXPECT_EQ(scroll_rows(guide), rows) << "the guide's scroll bar covers its rows";
    EXPECT_TRUE(GetWindowLongW(guide, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(Watching, ActivatingARowPlaysItsLivePicture) {
    size_t mark = standin_log().size();
    activate(2);
    std::string stream = wait_for_log(mark, stream_of("103"), 5000);
    EXPECT_FALSE(stream.empty());
    std::vector<std::string> lines = standin_log();
    ASSERT_GE(lines.size(), mark + 2);
    EXPECT_NE(lines[mark].find(std::string("keepsession\\x01") + account.session_id + "\\x01seederid\\x01" "123"),
              std::string::npos);
    EXPECT_EQ(count_log(mark, "\\x01" "epg\\x01"), 0u);  // the guide was already shown
    EXPECT_EQ(current_channel, 2);
    EXPECT_EQ(playing_channel, 2);
    EXPECT_TRUE(time_advances(15000)) << "no time-changed events";

    EXPECT_EQ(info_line(IDC_INFO_NAME), "Кино Класик");
    EXPECT_EQ(info_line(IDC_INFO_NOW), "начало: " + cell_text(IDC_EPG_LIST, 0, 2));
    EXPECT_EQ(info_line(IDC_INFO_NEXT), "следва: " + cell_text(IDC_EPG_LIST, 1, 2));

    // The picture in the video window moves and is not black.
    RECT video;
    GetWindowRect(video_window, &video);
    screen_sample first = sample_screen(video);
    pump(1500);
    screen_sample second = sample_screen(video);
    EXPECT_GT(first.mean, 0.05);
    EXPECT_NE(first.digest, second.digest);
}

TEST_F(Watching, TheBlueRowFollowsTheCurrentChannel) {
    NMLVCUSTOMDRAW draw;
    memset(&draw, 0, sizeof draw);
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    EXPECT_EQ(draw_channel_cell(&draw), static_cast<LRESULT>(CDRF_NOTIFYITEMDRAW));
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
    draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(current_channel);
    EXPECT_EQ(draw_channel_cell(&draw), static_cast<LRESULT>(CDRF_NEWFONT));
    EXPECT_EQ(draw.clrText, RGB(255, 255, 255));
    EXPECT_EQ(draw.clrTextBk, RGB(0, 0, 255));
    draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(current_channel + 1);
    draw_channel_cell(&draw);
    EXPECT_EQ(draw.clrTextBk, RGB(0, 0, 0));
    draw.nmcd.dwDrawStage = CDDS_POSTPAINT;
    EXPECT_EQ(draw_channel_cell(&draw), static_cast<LRESULT>(CDRF_DODEFAULT));
}

TEST_F(Watching, ALockedChannelNeedsItsWholeCode) {
    int32_t before = playing_channel;
    size_t mark = standin_log().size();
    {
        lock_answer wrong("1235", false);
        activate(10);  // Нощно кино 18+, code 1234
        EXPECT_TRUE(wrong.answered());
    }
    EXPECT_EQ(playing_channel, before);
    EXPECT_EQ(current_channel, playing_channel);
    EXPECT_EQ(count_log(mark, "GET /live"), 0u);
    EXPECT_EQ(epg_channel, 10);  // the refused channel's guide stays shown
    {
        lock_answer cancel("", true);
        activate(10);
        EXPECT_TRUE(cancel.answered());
    }
    EXPECT_EQ(current_channel, before);
    {
        lock_answer right("1234", false);
        activate(10);
        EXPECT_TRUE(right.answered());
    }
    EXPECT_EQ(playing_channel, 10);
    EXPECT_FALSE(wait_for_log(mark, stream_of("111"), 5000).empty());
    // "0042": the whole text is the code, not the number 42.
    {
        lock_answer number("42", false);
        activate(11);
    }
    EXPECT_EQ(playing_channel, 10);
}

TEST_F(Watching, RightOnTheLastRowStartsRowZero) {
    {
        lock_answer code("0042", false);
        select_last_channel();
        EXPECT_TRUE(code.answered());
    }
    EXPECT_EQ(playing_channel, 11);
    size_t mark = standin_log().size();
    select_next_channel();
    EXPECT_EQ(playing_channel, 0);
    EXPECT_EQ(current_channel, 0);
    EXPECT_FALSE(wait_for_log(mark, stream_of("101"), 5000).empty());
    {
        lock_answer cancel("", true);
        select_previous_channel();  // Left on row 0 goes to the last row: locked, refused
        EXPECT_TRUE(cancel.answered());
    }
    EXPECT_EQ(current_channel, 0);
}

TEST_F(Watching, StopThenPlayResumesThroughTheWatchdog) {
    ASSERT_TRUE(time_advances(15000));
    stop_playback();
    EXPECT_EQ(playback_wanted, 0);
    pump(500);
    for (int i = 0; i < 10; ++i) watchdog_tick();  // never acts while nothing is wanted
    EXPECT_EQ(libvlc_media_player_is_playing(media_player), 0);
    size_t mark = standin_log().size();
    play_current_channel();
    EXPECT_EQ(playback_wanted, 1);
    EXPECT_EQ(standin_log().size(), mark);  // no request: the channel plays already
    watchdog_tick();  // stall_ticks is far above 5: the first tick restarts
    EXPECT_TRUE(time_advances(15000));
}

TEST_F(Watching, AStalledStreamIsPlayedAgainByTheWatchdog) {
    standin_faults("stream=stall:2");
    size_t mark = standin_log().size();
    select_next_channel();
    std::string id = cell_text(IDC_CHANNEL_LIST, playing_channel, 4);
    ASSERT_FALSE(wait_for_log(mark, stream_of(id), 5000).empty());
    pump(6000);  // two seconds of picture, then silence
    size_t before = count_log(mark, stream_of(id));
    stall_ticks.store(0);
    for (int i = 0; i < 5; ++i) watchdog_tick();
    EXPECT_EQ(count_log(mark, stream_of(id)), before);
    standin_faults("");
    watchdog_tick();  // the sixth tick without playing time
    std::string again;
    DWORD until = GetTickCount() + 5000;
    while (count_log(mark, stream_of(id)) == before && GetTickCount() < until) pump(50);
    EXPECT_EQ(count_log(mark, stream_of(id)), before + 1);
    EXPECT_TRUE(time_advances(15000));
}

bool checked(UINT id) { return (GetMenuState(popup_menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; }

void menu(WPARAM id) {
    MSG m;
    memset(&m, 0, sizeof m);
    m.message = WM_COMMAND;
    m.wParam = id;
    handle_after_dispatch(m);
}

TEST_F(Watching, VolumeMuteAndAspectSettings) {
    HWND slider = GetDlgItem(control_bar, IDC_VOLUME_SLIDER);
    EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMAX, 0, 0), 100);
    volume = 100;
    step_volume(1);
    EXPECT_EQ(volume, 100);
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), 100);
    volume = 0;
    step_volume(-1);
    EXPECT_EQ(volume, 0);
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), 0);
    step_volume(1);
    EXPECT_EQ(volume, 1);

    // Menu "Без звук", then M: the mark stays while the sound is on again.
    int32_t muted = libvlc_audio_get_mute(media_player);
    menu(IDM_MUTE);
    EXPECT_TRUE(checked(IDM_MUTE));
    toggle_mute();
    EXPECT_TRUE(checked(IDM_MUTE));
    EXPECT_EQ(libvlc_audio_get_mute(media_player), muted);

    // The slider at its own position changes nothing; a new one clears the mark.
    SendMessageW(control_bar, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(slider));
    EXPECT_TRUE(checked(IDM_MUTE));
    SendMessageW(slider, TBM_SETPOS, TRUE, 40);
    SendMessageW(control_bar, WM_HSCROLL, TB_THUMBPOSITION, reinterpret_cast<LPARAM>(slider));
    EXPECT_FALSE(checked(IDM_MUTE));
    EXPECT_EQ(volume, 40);

    EXPECT_FALSE(checked(IDM_ASPECT_16_9));
    EXPECT_FALSE(checked(IDM_ASPECT_4_3));
    menu(IDM_ASPECT_16_9);
    menu(IDM_ASPECT_4_3);
    EXPECT_FALSE(checked(IDM_ASPECT_16_9));
    EXPECT_TRUE(checked(IDM_ASPECT_4_3));
}

// A stream host that misbehaves, and a service whose channel cells are
// longer than the buffers they are read into. Each test starts from the
// program as after a login.
class HostileAnswers : public Watching {
protected:
    void TearDown() override { standin_faults(""); }
    // Waits for the stream of the channel id that the stand-in moved to itself.
    bool moved_stream_requested(size_t mark, const std::string& id) {
        return !wait_for_log(mark, "&channelid=" + id + "&moved=1 HTTP/1.", 8000).empty();
    }
};

TEST_F(HostileAnswers, AStreamMovedToALocalFileIsNeverOpened) {
    // A clip that would play at once if the player opened it.
    std::string clip = "/tmp/tvclient-local-" + std::to_string(GetCurrentProcessId()) + ".ts";
    ASSERT_EQ(host_command("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x180:rate=25 -t 30 "
                           "-c:v mpeg2video -f mpegts " + clip),
              0);
    standin_faults("stream=redirect:file://" + clip);
    size_t mark = standin_log().size();
    select_next_channel();
    std::string id = cell_text(IDC_CHANNEL_LIST, playing_channel, 4);
    ASSERT_FALSE(wait_for_log(mark, stream_of(id), 5000).empty());
    EXPECT_LT(tenths_playing_within(6000), 3) << "the player read the local file";
    // Like any stream that does not start: the watchdog asks again.
    size_t before = count_log(mark, stream_of(id));
    stall_ticks.store(5);
    watchdog_tick();
    DWORD until = GetTickCount() + 5000;
    while (count_log(mark, stream_of(id)) == before && GetTickCount() < until) pump(50);
    EXPECT_GT(count_log(mark, stream_of(id)), before);
    EXPECT_LT(tenths_playing_within(3000), 3);
    host_command("rm -f " + clip);

    // Moved to another http address, the stream plays as before.
    standin_faults("stream=redirect");
    mark = standin_log().size();
    stall_ticks.store(5);
    watchdog_tick();
    EXPECT_TRUE(moved_stream_requested(mark, id));
    EXPECT_TRUE(time_advances(15000));
}

TEST_F(HostileAnswers, AGuideDrippedForHoursEndsAtTheExchangeBound) {
    standin_faults("epg=drip:4.5");  // two bytes every 4.5 s: hours for a whole guide
    size_t mark = standin_log().size();
    int32_t row = next_channel(current_channel, last_channel);
    ASSERT_NE(epg_channel, row);
    DWORD start = GetTickCount();
    select_next_channel();
    DWORD took = GetTickCount() - start;
    standin_faults("");
    // 15 s for the guide; the margin is for the keep-alive and a busy machine.
    EXPECT_LT(took, 30000u);
    printf("a channel change with a dripped guide took %lu ms\n", static_cast<unsigned long>(took));
    EXPECT_EQ(playing_channel, row);
    EXPECT_FALSE(wait_for_log(mark, stream_of(cell_text(IDC_CHANNEL_LIST, row, 4)), 5000).empty());
    EXPECT_TRUE(time_advances(15000));
}

// The relay serves the player: beyond a few connections at once (a player
// uses one or two) it closes new ones at once.
TEST_F(HostileAnswers, TheRelayTakesOnlyAFewConnectionsAtOnce) {
    char address[64];
    ASSERT_TRUE(relay_address_for("http://127.0.0.1:9/nothing", address, sizeof address));
    uint16_t port = static_cast<uint16_t>(atoi(strrchr(address, ':') + 1));
    std::vector<SOCKET> held;
    int32_t closed_at_once = 0;
    for (int32_t i = 0; i < 24; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in to;
        memset(&to, 0, sizeof to);
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        held.push_back(s);
    }
    Sleep(500);
    for (SOCKET s : held) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval none = {0, 0};
        char c;
        if (select(0, &set, nullptr, nullptr, &none) == 1 && recv(s, &c, 1, 0) <= 0) ++closed_at_once;
        closesocket(s);
    }
    EXPECT_GE(closed_at_once, 24 - 16);
    EXPECT_LT(closed_at_once, 24) << "the first ones wait for their request";
    Sleep(300);
    // The player's own stream goes on.
    EXPECT_TRUE(time_advances(15000));
}

// Rows whose cells are as long as their buffers or longer: the lock code
// (32 bytes), the stream address and the id (256 and 32 bytes).
class LongCells : public HostileAnswers {
protected:
    void SetUp() override {
        Watching::SetUp();
        std::string live = standin_address() + "/live?ch=101";
        std::string response = fields({"101", "Обикновен", live, "1", "0",
                                       "101", "Дълга парола", live, "1", long_code,
                                       "101", "Дълъг адрес", live + "&" + std::string(300, 'a'), "1", "0",
                                       "1" + std::string(39, '2'), "Дълъг номер", live, "1", "0",
                                       "101", "Заглавен ред", live + "\r\nX-Injected: yes", "1", "0"});
        SendMessageW(channels(), LVM_DELETEALLITEMS, 0, 0);
        fill_channel_rows(channels(), response.c_str());
        ASSERT_EQ(last_channel, 4);
        current_channel = 0;
        playing_channel = -1;
        epg_channel = -1;
        switch_channel();
        ASSERT_EQ(playing_channel, 0);
    }
    // Every start of a row refused for its address shows this, the channel
    // playing goes on, and nothing of the row's address reaches a host.
    void expect_refused(int32_t row, const std::string& address_part) {
        size_t mark = standin_log().size();
        message_watch watch;
        activate(row);
        ASSERT_TRUE(watch.wait_for(1, 5000));
        std::vector<seen_message> seen = watch.seen();
        EXPECT_EQ(seen[0].text, "Адресът на програмата е твърде дълъг.");
        EXPECT_EQ(playing_channel, 0);
        EXPECT_EQ(current_channel, 0);
        EXPECT_EQ(count_log(mark, address_part), 0u);
    }
    const std::string long_code = "1234567890123456789012345678901234567890";
};

TEST_F(LongCells, AFortyCharacterLockCodeOpensWithItsFirst31) {
    lock_answer right(long_code.substr(0, 31), false);
    activate(1);
    EXPECT_TRUE(right.answered());
    EXPECT_EQ(playing_channel, 1);
}

TEST_F(LongCells, AnAddressOf300CharactersIsRefused) { expect_refused(2, "&aaaa"); }

TEST_F(LongCells, AControlByteInTheAddressIsRefused) { expect_refused(4, "X-Injected"); }

TEST_F(LongCells, AFortyCharacterIdAsksForTheGuideWithItsFirst31) {
    size_t mark = standin_log().size();
    activate(3);
    std::string id31 = "1" + std::string(30, '2');
    EXPECT_EQ(count_log(mark, "\\x01" "epg\\x01" + id31 + "\\x0d"), 1u);
    EXPECT_EQ(playing_channel, 3);
}

}  // namespace
