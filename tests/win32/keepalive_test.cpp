// The paid session's keep-alive: the account it charges, the credit it
// shows, and a refused session.
#include "tests/win32/prelude.h"

namespace {

class KeepAlive : public Watching {};

// The credit the service gives for a keep-alive of this account, asked by
// the test itself with the program's session.
std::string credit_from_service(const char* seeder) {
    char line[request_line_size];
    char response[keepsession_response_size];
    memset(response, 0, sizeof response);
    format_keepsession_request(line, sizeof line, service_host(), user_name, user_password, account.session_id,
                               seeder);
    service_request(line, response, sizeof response);
    std::string text(response);
    size_t at = text.find("credit\x01");
    return at == std::string::npos ? "" : text.substr(at + 7);
}

std::string shown_credit() {
    WCHAR text[64] = {0};
    GetDlgItemTextW(user_panel, IDC_USER_CREDIT, text, 64);
    char utf8[256];
    wide_to_utf8(text, utf8, sizeof utf8);
    return utf8;
}

std::string cents_less(const std::string& credit, int32_t cents) {
    int32_t whole = 0, part = 0;
    sscanf(credit.c_str(), "%d.%d", &whole, &part);
    int32_t left = whole * 100 + part - cents;
    char out[32];
    snprintf(out, sizeof out, "%d.%02d", static_cast<int>(left / 100), static_cast<int>(left % 100));
    return out;
}

TEST_F(KeepAlive, TheKeepAliveChargesTheChosenAccountAndShowsItsCredit) {
    HWND list = GetDlgItem(user_panel, IDC_USER_ACCOUNTS);
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 3);
    SendMessageW(list, CB_SETCURSEL, 1, 0);  // 7 Ана Иванова
    std::string credit = credit_from_service("7");
    ASSERT_FALSE(credit.empty());
    size_t mark = standin_log().size();
    SendMessageW(video_window, WM_TIMER, keepalive_timer, 0);  // the minute's keep-alive
    std::vector<std::string> lines = standin_log();
    std::string keep;
    for (size_t i = mark; i < lines.size(); ++i)
        if (lines[i].find("keepsession") != std::string::npos) keep = lines[i];
    EXPECT_NE(keep.find("\\x01seederid\\x01" "7\\x0d\\x0a"), std::string::npos) << keep;
    // One charge more than the service's answer just before.
    EXPECT_EQ(shown_credit(), cents_less(credit, 1));

    // A session the service no longer knows is refused without a credit:
    // the credit shown stays.
    std::string before = shown_credit();
    char session[sizeof account.session_id];
    memcpy(session, account.session_id, sizeof session);
    lstrcpynA(account.session_id, "0", sizeof account.session_id);
    {
        message_watch watch;
        keep_session();
        ASSERT_EQ(watch.seen().size(), 1u);
        EXPECT_EQ(watch.seen()[0].text, "Недостатъчен кредит!");
    }
    memcpy(account.session_id, session, sizeof session);
    EXPECT_EQ(shown_credit(), before);
    SendMessageW(list, CB_SETCURSEL, 0, 0);
    stall_ticks.store(6);
    watchdog_tick();  // the picture back, as the watchdog brings it
    EXPECT_TRUE(time_advances(15000));
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
    EXPECT_TRUE(time_advances(15000));
}

// Over the fullscreen, topmost picture the program's messages are in
// sight: a refused session's and a timed-out exchange's box is topmost
// itself, and above the video window (on Windows an unowned box that is not
// topmost opens under it, and holds the keyboard unseen).
TEST_F(KeepAlive, MessagesOverTheFullscreenPictureAreInSight) {
    toggle_fullscreen(video_window);
    pump(300);
    ASSERT_NE(GetWindowLongW(video_window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    auto in_sight = [](const seen_message& m) {
        EXPECT_TRUE(m.topmost) << m.text;
        EXPECT_NE(std::find(m.below.begin(), m.below.end(), video_window), m.below.end()) << m.text;
    };
    HWND list = GetDlgItem(user_panel, IDC_USER_ACCOUNTS);
    SendMessageW(list, CB_SETCURSEL, 2, 0);  // no credit: refused
    {
        message_watch watch;
        keep_session();
        ASSERT_EQ(watch.seen().size(), 1u);
        EXPECT_EQ(watch.seen()[0].text, "Недостатъчен кредит!");
        in_sight(watch.seen()[0]);
    }
    SendMessageW(list, CB_SETCURSEL, 0, 0);
    standin_faults("keepsession=silent");
    {
        message_watch watch;
        keep_session();
        ASSERT_GE(watch.seen().size(), 1u);
        EXPECT_EQ(watch.seen()[0].text, "TimeOut!");
        in_sight(watch.seen()[0]);
    }
    standin_faults("");
    toggle_fullscreen(video_window);
}

}  // namespace
