// The player: stop and play, the stall watchdog, the sound and picture settings.
#include "tests/win32/prelude.h"

namespace {

class Player : public Watching {};

TEST_F(Player, StopThenPlayResumesThroughTheWatchdog) {
    ASSERT_TRUE(time_advances(15000));
    stop_playback();
    EXPECT_EQ(playback_wanted, 0);
    pump(500);
    for (int i = 0; i < 10; ++i) watchdog_tick();  // never acts while nothing is wanted
    EXPECT_FALSE(player_is_playing());
    size_t mark = standin_log().size();
    play_current_channel();
    EXPECT_EQ(playback_wanted, 1);
    EXPECT_EQ(standin_log().size(), mark);  // no request: the channel plays already
    watchdog_tick();  // stall_ticks is far above 5: the first tick restarts
    EXPECT_TRUE(time_advances(15000));
}

// The library's time-changed events keep the watchdog at bay: a stream that
// plays is never stopped and asked for again, however long it plays.
TEST_F(Player, APlayingStreamIsNeverRestartedByTheWatchdog) {
    ASSERT_TRUE(time_advances(15000));
    size_t mark = standin_log().size();
    int32_t events = time_events();
    pump(14000);  // seven ticks of the watchdog's timer: a restart at the sixth without the events
    EXPECT_EQ(count_log(mark, "GET /live"), 0u) << "the watchdog restarted a stream that played";
    EXPECT_GT(time_events(), events + 20);
    EXPECT_LE(stall_ticks.load(), 1);
}

TEST_F(Player, AStalledStreamIsPlayedAgainByTheWatchdog) {
    standin_faults("stream=stall:2");
    size_t mark = standin_log().size();
    select_next_channel();
    std::string id = cell_text(IDC_CHANNEL_LIST, playing_channel, 4);
    ASSERT_FALSE(wait_for_log(mark, stream_of(id), 5000).empty());
    pump(6000);  // two seconds of picture, then silence
    EXPECT_FALSE(time_advances(3000)) << "the picture goes on while its stream stalls";
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

void menu(UINT id) { choose_menu_item(id); }

TEST_F(Player, VolumeMuteAndAspectSettings) {
    HWND slider = GetDlgItem(control_bar, IDC_VOLUME_SLIDER);
    EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMAX, 0, 0), 100);
    set_player_volume(100);
    step_volume(1);
    EXPECT_EQ(player_volume(), 100);
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), 100);
    set_player_volume(0);
    step_volume(-1);
    EXPECT_EQ(player_volume(), 0);
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), 0);
    step_volume(1);
    EXPECT_EQ(player_volume(), 1);

    // Menu "Без звук", then M: the mark stays while the sound is on again.
    // Asked once the stream plays: while one starts, the library may give it
    // a sound output of its own, with a mute state of its own.
    ASSERT_TRUE(time_advances(15000));
    int32_t muted = player_mute_state();
    if (muted < 0) GTEST_SKIP() << "the player has no audio output here: the mute state cannot be read";
    menu(IDM_MUTE);
    EXPECT_TRUE(checked(IDM_MUTE));
    EXPECT_EQ(player_mute_state(), muted ^ 1);
    toggle_mute();
    EXPECT_TRUE(checked(IDM_MUTE));
    EXPECT_EQ(player_mute_state(), muted);

    // The slider at its own position changes nothing; a new one clears the mark.
    SendMessageW(control_bar, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(slider));
    EXPECT_TRUE(checked(IDM_MUTE));
    SendMessageW(slider, TBM_SETPOS, TRUE, 40);
    SendMessageW(control_bar, WM_HSCROLL, TB_THUMBPOSITION, reinterpret_cast<LPARAM>(slider));
    EXPECT_FALSE(checked(IDM_MUTE));
    EXPECT_EQ(player_volume(), 40);

    EXPECT_FALSE(checked(IDM_ASPECT_16_9));
    EXPECT_FALSE(checked(IDM_ASPECT_4_3));
    menu(IDM_ASPECT_16_9);
    menu(IDM_ASPECT_4_3);
    EXPECT_FALSE(checked(IDM_ASPECT_16_9));
    EXPECT_TRUE(checked(IDM_ASPECT_4_3));
}

}  // namespace
