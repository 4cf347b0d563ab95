// Start-up and the message loop's commands, in this process: the windows
// are built as the program builds them after a login.
#include "tests/win32/prelude.h"

namespace {

class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        server_.reset(new scripted_server(answer_by_request(service_answers())));
        env_.reset(new scoped_env("TVCLIENT_SERVICE", server_->address().c_str()));
        std::string login = join({"uid", "123", "fn", "Иван", "ln", "Петров", "sessionid", "00ff", "cr", "10.00",
                                    "shr", "0"});
        memset(login_response, 0, sizeof login_response);
        memcpy(login_response, login.data(), login.size());
        memset(&account, 0, sizeof account);
        prepare_first_class();
        build_windows();
        finish_startup();
    }
    // The window sized as a subscriber sizes it to watch, so that the
    // captioned panels leave some of the picture free to click.
    void watch_large() {
        MoveWindow(video_window, 40, 20, 1200, 760, TRUE);
        pump(100);
    }
    void TearDown() override {
        if (IsWindow(video_window)) DestroyWindow(video_window);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // A subscriber's key: typed into whatever has the focus.
    void key(WPARAM code) { type_key(code); }
    std::unique_ptr<scripted_server> server_;
    std::unique_ptr<scoped_env> env_;
};

// Counts the checked items of a menu and its submenus.
int32_t checked_items(HMENU menu, std::vector<UINT>* ids) {
    int32_t n = 0;
    for (int32_t i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        if (info.fState & MFS_CHECKED) {
            ++n;
            ids->push_back(info.wID);
        }
        if (info.hSubMenu) n += checked_items(info.hSubMenu, ids);
    }
    return n;
}

TEST_F(StartUp, OnlyAlwaysOnTopCarriesACheckMark) {
    std::vector<UINT> ids;
    EXPECT_EQ(checked_items(popup_menu, &ids), 1);
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0], static_cast<UINT>(IDM_ALWAYS_ON_TOP));
}

// One item of a menu as the user sees it: its id (the submenu's for a
// popup), its caption and, for a popup, its own items.
struct menu_item {
    UINT id;
    std::string caption;
    std::vector<menu_item> items;
};

std::vector<menu_item> items_of(HMENU menu) {
    std::vector<menu_item> items;
    for (int32_t i = 0; i < GetMenuItemCount(menu); ++i) {
        WCHAR text[64] = {0};
        MENUITEMINFOW info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 64;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        char caption[256];
        wide_to_utf8(text, caption, sizeof caption);
        menu_item item = {info.wID, caption, {}};
        if (info.hSubMenu != nullptr) item.items = items_of(info.hSubMenu);
        items.push_back(item);
    }
    return items;
}

TEST_F(StartUp, TheMenuHoldsItsItemsInOrder) {
    const std::vector<menu_item> expected = {
        {IDM_ALWAYS_ON_TOP, "Винаги отгоре", {}},
        {IDM_MUTE, "Без звук", {}},
        {IDM_PROPORTIONS, "Пропорции", {{IDM_ASPECT_16_9, "16:9", {}}, {IDM_ASPECT_4_3, "4:3", {}}}},
        {IDM_AUDIO_TRACKS, "Аудиопътечки", {}},
        {IDM_SUBTITLES, "Субтитри", {}},
        {IDM_PROGRAMS, "Програми", {}},
        {IDM_EXIT, "Изход", {}},
    };
    std::vector<menu_item> seen = items_of(popup_menu);
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen[i].id, expected[i].id) << i;
        EXPECT_EQ(seen[i].caption, expected[i].caption) << i;
        ASSERT_EQ(seen[i].items.size(), expected[i].items.size()) << expected[i].caption;
        for (size_t j = 0; j < expected[i].items.size(); ++j) {
            EXPECT_EQ(seen[i].items[j].id, expected[i].items[j].id) << expected[i].caption << " " << j;
            EXPECT_EQ(seen[i].items[j].caption, expected[i].items[j].caption);
            EXPECT_TRUE(seen[i].items[j].items.empty());
        }
    }
}

TEST_F(StartUp, TheSixPanelsExistOwnedByTheVideoWindow) {
    HWND panels[] = {control_bar, user_panel, help_panel, exit_button, info_panel, program_panel};
    for (HWND p : panels) {
        ASSERT_TRUE(IsWindow(p));
        EXPECT_EQ(GetWindow(p, GW_OWNER), video_window);
        EXPECT_TRUE(GetWindowLongW(p, GWL_EXSTYLE) & WS_EX_TOPMOST);
    }
    EXPECT_TRUE(IsWindowVisible(video_window));
    EXPECT_TRUE(IsWindowVisible(control_bar));
    EXPECT_TRUE(IsWindowVisible(info_panel));
    EXPECT_TRUE(IsWindowVisible(exit_button));
    EXPECT_TRUE(IsWindowVisible(program_panel));
    EXPECT_FALSE(IsWindowVisible(user_panel));
    EXPECT_FALSE(IsWindowVisible(help_panel));
    // The three overlays are translucent; the captioned panels are not.
    EXPECT_TRUE(GetWindowLongW(control_bar, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(GetWindowLongW(info_panel, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(GetWindowLongW(exit_button, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_FALSE(GetWindowLongW(program_panel, GWL_EXSTYLE) & WS_EX_LAYERED);
    // The video window: topmost, captionless, sizing frame, centred.
    EXPECT_TRUE(GetWindowLongW(video_window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindowLongW(video_window, GWL_STYLE) & (WS_POPUP | WS_THICKFRAME | WS_CAPTION),
              static_cast<LONG>(WS_POPUP | WS_THICKFRAME));
    RECT r;
    GetWindowRect(video_window, &r);
    RECT d;
    GetWindowRect(GetDesktopWindow(), &d);
    EXPECT_EQ(r.left, (d.right - d.left) / 2 - (r.right - r.left) / 2);
    EXPECT_EQ(r.top, (d.bottom - d.top) / 2 - (r.bottom - r.top) / 2 - 15);
    // The help panel's thirteen lines.
    WCHAR line[128];
    HWND first = GetWindow(help_panel, GW_CHILD);
    GetWindowTextW(first, line, 128);
    EXPECT_EQ(lstrcmpW(line, L"F - Цял екран/В прозорец"), 0);
    int32_t lines = 0;
    for (HWND c = first; c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) ++lines;
    EXPECT_EQ(lines, 13);
}

TEST_F(StartUp, TheUserPanelHoldsTheAccountEntryAndCredit) {
    HWND list = GetDlgItem(user_panel, IDC_USER_ACCOUNTS);
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 1);
    WCHAR entry[128] = {0};
    SendMessageW(list, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(entry));
    EXPECT_EQ(lstrcmpW(entry, L"123 Иван Петров"), 0);
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0);
    WCHAR credit[32] = {0};
    GetDlgItemTextW(user_panel, IDC_USER_CREDIT, credit, 32);
    EXPECT_EQ(lstrcmpW(credit, L"10.00"), 0);
    EXPECT_STREQ(account.session_id, "00ff");
    // No shares: no shares info request was sent.
    for (const std::string& line : server_->requests()) EXPECT_EQ(line.find("shares"), std::string::npos);
}

TEST_F(StartUp, KeysShowThePanelsOnlyWhileTheVideoWindowHasTheFocus) {
    watch_large();
    // The program panel, shown last at start-up, has the keyboard: a key
    // gives no command until the picture is clicked.
    pump(200);
    ASSERT_NE(GetFocus(), video_window);
    key(VK_F1);
    EXPECT_FALSE(IsWindowVisible(help_panel));

    ASSERT_TRUE(click_window(video_window));
    ASSERT_EQ(GetFocus(), video_window);
    key('U');
    EXPECT_TRUE(IsWindowVisible(user_panel));
    // The user panel took the keyboard when it was shown: F1 does nothing.
    key(VK_F1);
    EXPECT_FALSE(IsWindowVisible(help_panel));

    ASSERT_TRUE(click_window(video_window));
    key(VK_F1);
    EXPECT_TRUE(IsWindowVisible(help_panel));
    ShowWindow(program_panel, SW_HIDE);
    ASSERT_TRUE(click_window(video_window));
    key('L');
    EXPECT_TRUE(IsWindowVisible(program_panel));
    // N, which the help panel lists, and any other key have no command.
    ShowWindow(help_panel, SW_HIDE);
    ShowWindow(user_panel, SW_HIDE);
    ShowWindow(program_panel, SW_HIDE);
    ASSERT_TRUE(click_window(video_window));
    for (WPARAM other : {static_cast<WPARAM>('N'), static_cast<WPARAM>('A'), static_cast<WPARAM>(VK_F2)}) key(other);
    EXPECT_FALSE(IsWindowVisible(help_panel) || IsWindowVisible(user_panel) || IsWindowVisible(program_panel));
    EXPECT_TRUE(IsWindow(video_window));
}

TEST_F(StartUp, APanelHidesItselfOnTheEleventhTickAfterItWasShown) {
    watch_large();
    ASSERT_TRUE(click_window(video_window));
    key(VK_F1);
    for (int32_t tick = 1; tick <= 10; ++tick) SendMessageW(help_panel, WM_TIMER, 1, 0);
    EXPECT_TRUE(IsWindowVisible(help_panel));
    ASSERT_TRUE(click_window(video_window));
    key(VK_F1);  // shown again: the count starts over
    for (int32_t tick = 1; tick <= 10; ++tick) SendMessageW(help_panel, WM_TIMER, 1, 0);
    EXPECT_TRUE(IsWindowVisible(help_panel));
    SendMessageW(help_panel, WM_TIMER, 1, 0);
    EXPECT_FALSE(IsWindowVisible(help_panel));

    ASSERT_TRUE(click_window(video_window));
    key('U');
    for (int32_t tick = 1; tick <= 11; ++tick) SendMessageW(user_panel, WM_TIMER, 1, 0);
    EXPECT_FALSE(IsWindowVisible(user_panel));
}

TEST_F(StartUp, EscAnsweredNoHidesFourPanelsAndKeepsRunning) {
    watch_large();
    ASSERT_TRUE(click_window(video_window));
    key('U');
    ASSERT_TRUE(click_window(video_window));
    key(VK_F1);
    ASSERT_TRUE(click_window(video_window));
    message_watch watch(IDNO);
    key(VK_ESCAPE);
    std::vector<seen_message> seen = watch.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Изход от системата?");
    EXPECT_EQ(seen[0].caption, "Внимание!!!");
    EXPECT_FALSE(IsWindowVisible(help_panel));
    EXPECT_FALSE(IsWindowVisible(program_panel));
    EXPECT_FALSE(IsWindowVisible(control_bar));
    EXPECT_FALSE(IsWindowVisible(user_panel));
    EXPECT_TRUE(IsWindowVisible(info_panel));
    EXPECT_TRUE(IsWindowVisible(exit_button));
    EXPECT_TRUE(IsWindow(video_window));
}

TEST_F(StartUp, EscAnsweredYesEndsTheLoopWithCodeZero) {
    watch_large();
    ASSERT_TRUE(click_window(video_window));
    message_watch watch(IDYES);
    PostMessageW(video_window, WM_KEYDOWN, VK_ESCAPE, 0);  // the loop below reads it
    int32_t code = -1;
    DWORD until = GetTickCount() + 10000;
    MSG m;
    while (GetTickCount() < until) {
        if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(10);
            continue;
        }
        if (m.message == WM_QUIT) {
            code = static_cast<int32_t>(m.wParam);
            break;
        }
        process_message(m);
    }
    EXPECT_FALSE(IsWindow(video_window));
    EXPECT_EQ(code, 0);
}

TEST_F(StartUp, AlwaysOnTopTwiceLeavesTheWindowTopmost400By300AndCentred) {
    choose_menu_item(IDM_ALWAYS_ON_TOP);
    EXPECT_FALSE(GetWindowLongW(video_window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(GetMenuState(popup_menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND) & MF_CHECKED);
    choose_menu_item(IDM_ALWAYS_ON_TOP);
    // Wine 8 does not put a window that owns topmost windows back into the
    // topmost band once it has left it (Windows does), so only the mark,
    // the size and the place can be checked here.
    EXPECT_TRUE(GetMenuState(popup_menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND) & MF_CHECKED);
    RECT r;
    GetWindowRect(video_window, &r);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);
    RECT d;
    GetWindowRect(GetDesktopWindow(), &d);
    EXPECT_EQ(r.left, (d.right - d.left) / 2 - 200);
    EXPECT_EQ(r.top, (d.bottom - d.top) / 2 - 150 - 15);

    // "Аудиопътечки" and "Субтитри" do nothing; "Програми" shows the program panel.
    ShowWindow(program_panel, SW_HIDE);
    for (UINT command : {IDM_AUDIO_TRACKS, IDM_SUBTITLES}) choose_menu_item(command);
    EXPECT_FALSE(IsWindowVisible(program_panel));
    choose_menu_item(IDM_PROGRAMS);
    EXPECT_TRUE(IsWindowVisible(program_panel));
}

// The version check of start-up, in this process.
struct version_case {
    std::string response;
    bool passes;
};

TEST(VersionCheck, OnlyExactly003LetsStartUpGoOn) {
    const version_case cases[] = {
        {"0.03", true}, {"0.03\n", false}, {"0.031", false}, {"0.3", false}, {"", false},
    };
    for (const version_case& c : cases) {
        std::vector<server_step> script;
        if (!c.response.empty()) script.push_back(send_step(c.response));
        script.push_back(close_step());
        scripted_server server(script);
        scoped_env env("TVCLIENT_SERVICE", server.address().c_str());
        message_watch watch;
        EXPECT_EQ(check_service_version(), c.passes) << c.response;
        Sleep(100);
        std::vector<seen_message> seen = watch.seen();
        if (c.passes) {
            EXPECT_TRUE(seen.empty()) << c.response;
        } else {
            ASSERT_EQ(seen.size(), 1u) << c.response;
            EXPECT_EQ(seen[0].caption, "внимание!!!");
            EXPECT_EQ(seen[0].text.rfind("Невалидна версия или липса на интернет!", 0), 0u) << seen[0].text;
        }
    }
}

TEST(VersionCheck, AnUnreachableServiceShowsBothMessagesInOrder) {
    std::string address = "127.0.0.1:" + std::to_string(unused_port());
    scoped_env env("TVCLIENT_SERVICE", address.c_str());
    message_watch watch;
    EXPECT_FALSE(check_service_version());
    Sleep(100);
    std::vector<seen_message> seen = watch.seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, "Грешка при свъзването!");
    EXPECT_EQ(seen[1].caption, "внимание!!!");
}

// The client program itself, started as a user would start it.
TEST(ClientProgram, SendsExactlyTheVersionRequestLine) {
    scripted_server server({send_step("0.03"), close_step()});
    scoped_env env("TVCLIENT_SERVICE", server.address().c_str());
    message_watch watch;
    client_process client;
    // The version passed: the login dialog comes next.
    HWND login = client.find_window("Login", 30000);
    ASSERT_NE(login, nullptr);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], version_line(server.address()));
    EXPECT_TRUE(watch.seen().empty());
    PostMessageW(login, WM_CLOSE, 0, 0);
    EXPECT_EQ(client.wait(20000), 0);
}

TEST(ClientProgram, AWrongVersionEndsTheProgramWithCodeZeroAfterItsMessage) {
    scripted_server server({send_step("0.3"), close_step()});
    scoped_env env("TVCLIENT_SERVICE", server.address().c_str());
    message_watch watch;
    EXPECT_EQ(run_client(30000), 0);
    std::vector<seen_message> seen = watch.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, "внимание!!!");
    EXPECT_EQ(seen[0].text, "Невалидна версия или липса на интернет!\n" TVCLIENT_DOWNLOAD_SITE "\n");
}

}  // namespace
