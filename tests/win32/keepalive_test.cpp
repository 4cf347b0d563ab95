// The paid session's keep-alive: the account it charges, the credit it
// shows, and a refused session.
#include "tests/win32/prelude.h"

namespace {

class KeepAlive : public Watching {};

TEST_F(KeepAlive, TheKeepAliveChargesTheChosenAccountAndShowsItsCredit) {
    HWND list = GetDlgItem(user_panel, IDC_USER_ACCOUNTS);
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 3);
    WCHAR before[64] = {0};
    GetDlgItemTextW(user_panel, IDC_USER_CREDIT, before, 64);
    SendMessageW(list, CB_SETCURSEL, 1, 0);  // 7 Ана Иванова
    size_t mark = standin_log().size();
    SendMessageW(video_window, WM_TIMER, keepalive_timer, 0);  // the minute's keep-alive
    std::vector<std::string> lines = standin_log();
    std::string keep;
    for (size_t i = mark; i < lines.size(); ++i)
        if (lines[i].find("keepsession") != std::string::npos) keep = lines[i];
    EXPECT_NE(keep.find("\\x01seederid\\x01" "7\\x0d\\x0a"), std::string::npos) << keep;
    WCHAR after[64] = {0};
    GetDlgItemTextW(user_panel, IDC_USER_CREDIT, after, 64);
    EXPECT_NE(lstrcmpW(before, after), 0);
    SendMessageW(list, CB_SETCURSEL, 0, 0);
}

TEST_F(KeepAlive, ARefusedSessionStopsThePictureUntilTheWatchdogBringsItBack) {
    HWND list = GetDlgItem(user_panel, IDC_USER_ACCOUNTS);
    SendMessageW(list, CB_SETCURSEL, 2, 0);  // 9 Борис Петров: no credit
    {
        message_watch watch;
        keep_session();
        ASSERT_EQ(watch.seen().size(), 1u);
        EXPECT_EQ(watch.seen()[0].text, "Недостатъчен кредит!");
        EXPECT_EQ(watch.seen()[0].caption, "ТВ ЗЕЛУР");
    }
    SendMessageW(list, CB_SETCURSEL, 0, 0);
    EXPECT_EQ(playback_wanted, 1);
    pump(300);
    EXPECT_FALSE(player_is_playing());
    stall_ticks.store(6);
    watchdog_tick();
    stall_ticks.store(100);
    EXPECT_TRUE(time_advances(15000));
}

}  // namespace
