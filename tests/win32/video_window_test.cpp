// The video window, the overlays and the paid session, with the real player
// and real mouse input under Xvfb.
#include "tests/win32/prelude.h"

namespace {

bool overlays_visible() {
    return IsWindowVisible(control_bar) && IsWindowVisible(info_panel) && IsWindowVisible(exit_button);
}
bool overlays_hidden() {
    return !IsWindowVisible(control_bar) && !IsWindowVisible(info_panel) && !IsWindowVisible(exit_button);
}

void timer_tick(WPARAM id) { SendMessageW(video_window, WM_TIMER, id, 0); }

// A subscriber's key, typed into whatever has the focus.
void key(WPARAM code) { type_key(code); }

// Moves the real mouse pointer to a point of the screen (X server input).
void mouse_to(int32_t x, int32_t y) {
    char command[128];
    snprintf(command, sizeof command, "xdotool mousemove %d %d", static_cast<int>(x), static_cast<int>(y));
    host_command(command);
}

bool wait_until(bool (*done)(), uint32_t timeout_ms) {
    DWORD until = GetTickCount() + timeout_ms;
    while (!done() && GetTickCount() < until) pump(20);
    return done();
}

class VideoWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (standin_address().empty()) return;
        start_program("ivan", "1234");
        play_row_zero();
        pump(1000);
    }
    static void TearDownTestSuite() {
        if (!standin_address().empty()) end_program();
    }
    // Every test starts from the same screen, whatever ran before it: the
    // window in its windowed form, no captioned panel over it, the overlays
    // shown anew over the picture (as after the mouse rested and moved) and
    // row 0 playing. Under Wine the video window, topmost, is stacked over
    // the overlays when it takes the focus or changes its style, until they
    // are next shown.
    void SetUp() override {
        if (standin_address().empty()) GTEST_SKIP() << "the stand-in service is not running";
        if (IsZoomed(video_window)) restore_windowed(video_window);
        for (HWND panel : {help_panel, user_panel, program_panel}) ShowWindow(panel, SW_HIDE);
        pump(200);
        for (HWND overlay : {control_bar, info_panel, exit_button}) ShowWindow(overlay, SW_HIDE);
        for (HWND overlay : {control_bar, info_panel, exit_button}) ShowWindow(overlay, SW_SHOW);
        idle_ticks = 0;
        play_row_zero();
    }
};

TEST_F(VideoWindow, TheThreeOverlaysAreTranslucentAt160) {
    for (HWND overlay : {control_bar, info_panel, exit_button}) {
        BYTE alpha = 0;
        DWORD flags = 0;
        COLORREF key_colour = 0;
        ASSERT_TRUE(GetLayeredWindowAttributes(overlay, &key_colour, &alpha, &flags));
        EXPECT_EQ(alpha, 160);
        EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
    }
}

TEST_F(VideoWindow, OverlaysAndCursorHideAtTheSixthTickAndComeBackWithTheMouse) {
    // The top left corner of the video window lies outside every overlay.
    RECT v;
    GetWindowRect(video_window, &v);
    idle_ticks = 4;
    mouse_to(v.left + 3, v.top + 3);
    EXPECT_TRUE(wait_until([] { return idle_ticks < 4; }, 5000)) << "the movement resets the count";
    ASSERT_TRUE(overlays_visible());

    // The ticks, without pumping the real timer in between.
    idle_ticks = 0;
    for (int32_t tick = 1; tick <= 5; ++tick) timer_tick(1);
    EXPECT_TRUE(overlays_visible());
    timer_tick(1);
    EXPECT_TRUE(overlays_hidden());
    EXPECT_EQ(GetCursor(), nullptr);

    // A mouse-move at the stored position is no activity.
    SendMessageW(video_window, WM_MOUSEMOVE, 0, MAKELPARAM(last_mouse_x, last_mouse_y));
    EXPECT_TRUE(overlays_hidden());
    EXPECT_GT(idle_ticks, 5);

    // One pixel of real movement brings them back at once.
    mouse_to(v.left + 4, v.top + 3);
    EXPECT_TRUE(wait_until(overlays_visible, 5000));
    EXPECT_LE(idle_ticks, 1);
    EXPECT_NE(GetCursor(), nullptr);
}

TEST_F(VideoWindow, TheOverlaysShowOverThePictureAndThenThePictureAlone) {
    RECT v;
    GetWindowRect(video_window, &v);
    mouse_to(v.left + 2, v.top + 2);
    mouse_to(v.left + 3, v.top + 2);
    ASSERT_TRUE(wait_until(overlays_visible, 5000));
    pump(500);
    RECT bar;
    GetWindowRect(control_bar, &bar);
    RECT under = {bar.left > v.left ? bar.left : v.left, bar.top, bar.right < v.right ? bar.right : v.right, v.bottom};
    screen_sample with_bar = sample_screen(under);
    for (int32_t tick = 1; tick <= 6; ++tick) timer_tick(1);
    ASSERT_TRUE(overlays_hidden());
    pump(800);
    screen_sample alone = sample_screen(under);
    pump(800);
    screen_sample later = sample_screen(under);
    EXPECT_GT(alone.mean, with_bar.mean + 0.05) << "the bar darkens the picture under it";
    EXPECT_NE(alone.digest, later.digest) << "the picture moves";
}

TEST_F(VideoWindow, DoubleClicksToggleFullscreenAndBack) {
    RECT before;
    GetWindowRect(video_window, &before);
    SendMessageW(video_window, WM_LBUTTONDBLCLK, 0, 0);
    EXPECT_TRUE(IsZoomed(video_window));
    EXPECT_EQ(GetWindowLongW(video_window, GWL_STYLE) & (WS_DLGFRAME | WS_POPUP | WS_THICKFRAME),
              static_cast<LONG>(WS_DLGFRAME));
    SendMessageW(video_window, WM_LBUTTONDBLCLK, 0, 0);
    EXPECT_FALSE(IsZoomed(video_window));
    RECT after;
    GetWindowRect(video_window, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
    EXPECT_TRUE(time_advances(15000)) << "the picture goes on after the toggles";
}

// A fullscreen round trip keeps the picture playing: the host is asked for
// nothing new (under Wine the window's X11 window may be replaced on the way).
TEST_F(VideoWindow, AFullscreenRoundTripAsksTheHostForNothingNew) {
    ASSERT_TRUE(time_advances(15000));
    size_t mark = standin_log().size();
    toggle_fullscreen(video_window);
    pump(700);
    toggle_fullscreen(video_window);
    pump(1500);
    EXPECT_EQ(count_log(mark, "GET /live"), 0u);
    EXPECT_TRUE(time_advances(5000));
}

TEST_F(VideoWindow, EscInFullscreenRestoresWithoutAQuestion) {
    ASSERT_TRUE(click_window(video_window));
    key('F');
    ASSERT_TRUE(IsZoomed(video_window));
    {
        message_watch watch(IDNO);
        key(VK_ESCAPE);
        EXPECT_FALSE(IsZoomed(video_window));
        EXPECT_TRUE(watch.seen().empty());
    }
    // A second Esc asks; No keeps the program running.
    message_watch watch(IDNO);
    key(VK_ESCAPE);
    ASSERT_EQ(watch.seen().size(), 1u);
    EXPECT_EQ(watch.seen()[0].text, "Изход от системата?");
    EXPECT_TRUE(IsWindow(video_window));
}

TEST_F(VideoWindow, TheWindowCannotBeSizedBelow350By200) {
    // Sized as a sizing drag sizes it: the window system asks the window
    // for its limits and keeps it within them.
    RECT before;
    GetWindowRect(video_window, &before);
    SetWindowPos(video_window, nullptr, before.left, before.top, 100, 50, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r;
    GetWindowRect(video_window, &r);
    EXPECT_EQ(r.right - r.left, 350);
    EXPECT_EQ(r.bottom - r.top, 200);
    SetWindowPos(video_window, nullptr, before.left, before.top, 351, 201, SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(video_window, &r);
    EXPECT_EQ(r.right - r.left, 351);
    EXPECT_EQ(r.bottom - r.top, 201);
    MoveWindow(video_window, before.left, before.top, before.right - before.left, before.bottom - before.top, TRUE);
}

TEST_F(VideoWindow, TheOverlaysFollowTheWindow) {
    MoveWindow(video_window, 100, 80, 500, 300, TRUE);
    MoveWindow(video_window, 120, 90, 500, 300, TRUE);  // the second layout uses the bar's new size
    RECT v, exit_rect, info, bar;
    GetWindowRect(video_window, &v);
    GetWindowRect(exit_button, &exit_rect);
    GetWindowRect(info_panel, &info);
    GetWindowRect(control_bar, &bar);
    EXPECT_EQ(exit_rect.left, v.right - 35);
    EXPECT_EQ(exit_rect.right, v.right + 29);
    EXPECT_EQ(info.left, v.left + 10);
    EXPECT_EQ(info.top, v.top + 10);
    EXPECT_EQ(bar.right - bar.left, 330);
    EXPECT_EQ(bar.bottom, v.bottom);
    EXPECT_EQ(bar.left, v.left + (v.right - v.left) / 2 - 165);
    center_on_desktop(video_window);
}

TEST_F(VideoWindow, EveryControlBarButtonRunsItsCommandAndResetsTheIdleCount) {
    HWND host = GetDlgItem(control_bar, IDC_TOOLBAR_HOST);
    HWND toolbar = FindWindowExW(host, nullptr, L"ToolbarWindow32", nullptr);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0), 10);

    // A real click on "list sheet" (307) shows the program panel.
    RECT v;
    GetWindowRect(video_window, &v);
    mouse_to(v.left + 2, v.top + 2);
    mouse_to(v.left + 3, v.top + 3);
    ASSERT_TRUE(wait_until(overlays_visible, 5000));
    ShowWindow(program_panel, SW_HIDE);
    RECT button;
    SendMessageW(toolbar, TB_GETITEMRECT, 6, reinterpret_cast<LPARAM>(&button));
    MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&button), 2);
    idle_ticks = 4;
    char click[128];
    snprintf(click, sizeof click, "xdotool mousemove %ld %ld click 1", static_cast<long>((button.left + button.right) / 2),
             static_cast<long>((button.top + button.bottom) / 2));
    host_command(click);
    bool shown = wait_until([] { return IsWindowVisible(program_panel) != 0; }, 5000);
    if (!shown) host_command("import -window root " + scratch_file("click.png"));
    EXPECT_TRUE(shown) << "clicked at " << (button.left + button.right) / 2 << "," << (button.top + button.bottom) / 2;

    auto command = [&](WPARAM id) {
        idle_ticks = 4;
        SendMessageW(host, WM_COMMAND, id, 0);
        EXPECT_EQ(idle_ticks, 0) << id;
    };
    ShowWindow(help_panel, SW_HIDE);
    command(IDT_HELP_PANEL);
    EXPECT_TRUE(IsWindowVisible(help_panel));
    command(IDT_USER_PANEL);
    EXPECT_TRUE(IsWindowVisible(user_panel));
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == user_panel || IsChild(user_panel, focus));
    command(IDT_MUTE);  // what it does to the sound: TheMuteButtonTogglesTheSound
    command(IDT_MUTE);
    command(IDT_STOP);
    EXPECT_EQ(playback_wanted, 0);
    command(IDT_PLAY);
    EXPECT_EQ(playback_wanted, 1);
    command(IDT_NEXT_CHANNEL);
    EXPECT_EQ(playing_channel, 1);
    command(IDT_PREVIOUS_CHANNEL);
    EXPECT_EQ(playing_channel, 0);
    command(IDT_FIRST_CHANNEL);
    EXPECT_EQ(playing_channel, 0);
    command(311);  // no button carries it: nothing
    EXPECT_EQ(playing_channel, 0);
}

TEST_F(VideoWindow, TheMuteButtonTogglesTheSound) {
    ASSERT_TRUE(time_advances(15000));  // the sound output is there once the stream plays
    int32_t muted = player_mute_state();
    if (muted < 0) GTEST_SKIP() << "the player has no audio output here: the mute state cannot be read";
    HWND host = GetDlgItem(control_bar, IDC_TOOLBAR_HOST);
    SendMessageW(host, WM_COMMAND, IDT_MUTE, 0);
    EXPECT_EQ(player_mute_state(), muted ^ 1);
    SendMessageW(host, WM_COMMAND, IDT_MUTE, 0);
    EXPECT_EQ(player_mute_state(), muted);
}

// A real click on a button of the control bar.
void click_control_bar_button(UINT id) {
    HWND toolbar = FindWindowExW(GetDlgItem(control_bar, IDC_TOOLBAR_HOST), nullptr, L"ToolbarWindow32", nullptr);
    RECT button;
    SendMessageW(toolbar, TB_GETITEMRECT, id - IDT_FIRST_CHANNEL, reinterpret_cast<LPARAM>(&button));
    MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&button), 2);
    click_point((button.left + button.right) / 2, (button.top + button.bottom) / 2);
}

// The subscriber's evening: the picture clicked once, then only keys and a
// mouse that moves now and then. The overlays coming back with the mouse
// leave the keyboard where it was.
TEST_F(VideoWindow, KeysKeepWorkingWhenTheMouseBringsTheOverlaysBack) {
    ASSERT_TRUE(click_window(video_window));
    int32_t first = playing_channel;
    key(VK_RIGHT);
    EXPECT_EQ(playing_channel, first + 1);
    for (int32_t tick = 0; tick < 6; ++tick) timer_tick(auto_hide_timer);
    ASSERT_TRUE(overlays_hidden());
    move_mouse_by(4, 3);
    ASSERT_TRUE(wait_until(overlays_visible, 3000));
    key(VK_LEFT);
    EXPECT_EQ(playing_channel, first) << "Left after the overlays came back";
}

// A button of the control bar clicked with the mouse leaves the keys to the
// picture; the user panel's button gives them to the panel's account list.
TEST_F(VideoWindow, AfterAControlBarButtonTheKeysGoOnWorking) {
    int32_t first = playing_channel;
    click_control_bar_button(IDT_NEXT_CHANNEL);
    EXPECT_EQ(playing_channel, first + 1);
    key(VK_RIGHT);
    EXPECT_EQ(playing_channel, first + 2) << "Right after a click on next";

    click_control_bar_button(IDT_USER_PANEL);
    ASSERT_TRUE(IsWindowVisible(user_panel));
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == user_panel || IsChild(user_panel, focus));
    HWND accounts = GetDlgItem(user_panel, IDC_USER_ACCOUNTS);
    LRESULT chosen = SendMessageW(accounts, CB_GETCURSEL, 0, 0);
    key(VK_RIGHT);
    EXPECT_EQ(playing_channel, first + 2) << "a key typed into the user panel changed the channel";
    SendMessageW(accounts, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
}

}  // namespace
