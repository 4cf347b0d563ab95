// The login dialog and the remembered credentials, driven in the client
// program itself, as a user would meet them.
#include "tests/win32/prelude.h"

namespace {

const char refused_text[] = "Невалиден потребител или парола!";
const char refused_caption[] = "Внимание възникнал е проблем!";


class LoginDialog : public ::testing::Test {
protected:
    void SetUp() override {
        delete_stored("isRem");
        delete_stored("a_user");
        delete_stored("a_pass");
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\tvclient");
    }
    // Starts the client against the server and waits for its login dialog.
    HWND start(scripted_server& server) {
        env_.reset(new scoped_env("TVCLIENT_SERVICE", server.address().c_str()));
        client_.reset(new client_process());
        return client_->find_window("Login", 30000);
    }
    std::unique_ptr<scoped_env> env_;
    std::unique_ptr<client_process> client_;
};

bool ticked(HWND dialog) {
    return SendMessageW(GetDlgItem(dialog, IDC_LOGIN_REMEMBER), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

TEST_F(LoginDialog, FirstStartShowsEmptyFieldsAndStoresTheFlagAsZero) {
    // A fresh system may not even have the key.
    RegDeleteTreeA(HKEY_CURRENT_USER, credentials_key);
    ASSERT_EQ(stored("isRem"), "<missing>");
    scripted_server server(answer_by_request(service_answers()));
    HWND dialog = start(server);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_LOGIN_USER)), "");
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_LOGIN_PASS)), "");
    EXPECT_FALSE(ticked(dialog));
    EXPECT_EQ(stored("isRem"), "0");  // one byte, no terminator
    // Closing the dialog ends the program with exit code 0.
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(client_->wait(20000), 0);
}

TEST_F(LoginDialog, RememberedCredentialsFillTheFields) {
    set_stored("isRem", "1");
    set_stored("a_user", "ivan");
    set_stored("a_pass", "1234");
    scripted_server server(answer_by_request(service_answers()));
    HWND dialog = start(server);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(ticked(dialog));
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_LOGIN_USER)), "ivan");
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_LOGIN_PASS)), "1234");
}

TEST_F(LoginDialog, AMissingUserNameLeavesOnlyItsFieldEmpty) {
    set_stored("isRem", "7");  // any non-zero number ticks the box
    set_stored("a_pass", "1234");
    scripted_server server(answer_by_request(service_answers()));
    HWND dialog = start(server);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(ticked(dialog));
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_LOGIN_USER)), "");
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_LOGIN_PASS)), "1234");
}

TEST_F(LoginDialog, AnOverlongFlagIsRepairedToZero) {
    set_stored("isRem", "123456789");
    set_stored("a_user", "ivan");
    scripted_server server(answer_by_request(service_answers()));
    HWND dialog = start(server);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(ticked(dialog));
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_LOGIN_USER)), "");
    EXPECT_EQ(stored("isRem"), "0");
}

TEST_F(LoginDialog, TickingAndUntickingTheBoxIsStoredAtOnce) {
    scripted_server server(answer_by_request(service_answers()));
    HWND dialog = start(server);
    ASSERT_NE(dialog, nullptr);
    HWND box = GetDlgItem(dialog, IDC_LOGIN_REMEMBER);
    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(stored("isRem"), "1");
    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(stored("isRem"), "0");
    SendMessageW(box, BM_CLICK, 0, 0);
    SendMessageW(box, BM_CLICK, 0, 0);
    PostMessageW(dialog, WM_CLOSE, 0, 0);  // leaving without logging in keeps "0"
    EXPECT_EQ(client_->wait(20000), 0);
    EXPECT_EQ(stored("isRem"), "0");
}

TEST_F(LoginDialog, ARefusedLoginStoresTheTypedValuesSendsThemUnchangedAndEnds) {
    service_answers answers;
    answers.account = "false";
    scripted_server server(answer_by_request(answers));
    HWND dialog = start(server);
    ASSERT_NE(dialog, nullptr);
    SetWindowTextA(GetDlgItem(dialog, IDC_LOGIN_USER), "user name");
    SetWindowTextA(GetDlgItem(dialog, IDC_LOGIN_PASS), "a&b c#1");
    message_watch watch;
    SendMessageW(GetDlgItem(dialog, 1), BM_CLICK, 0, 0);
    EXPECT_EQ(client_->wait(30000), 0);
    std::vector<seen_message> seen = watch.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, refused_text);
    EXPECT_EQ(seen[0].caption, refused_caption);
    // The box was unticked: the values are stored all the same.
    EXPECT_EQ(stored("isRem"), "0");
    EXPECT_EQ(stored("a_user"), "user name");
    EXPECT_EQ(stored("a_pass"), "a&b c#1");
    std::vector<std::string> lines = server.requests();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "GET http://" + server.address() +
                            "/socket_server/server.php?input=user\x01user name\x01pass\x01" "a&b c#1\x01"
                            "account\x01info\r\n");
}

// A standard user's Windows refuses writes under the Policies key: the
// login is remembered all the same, in the program's own key, and comes
// back at the next start.
TEST_F(LoginDialog, ALoginIsRememberedWhereThePoliciesKeyRefusesWrites) {
    RegDeleteTreeA(HKEY_CURRENT_USER, credentials_key);
    scoped_env read_only("TVCLIENT_POLICIES_READ_ONLY", "1");
    service_answers answers;
    answers.account = "false";
    scripted_server server(answer_by_request(answers));
    HWND dialog = start(server);
    ASSERT_NE(dialog, nullptr);
    SendMessageW(GetDlgItem(dialog, IDC_LOGIN_REMEMBER), BM_CLICK, 0, 0);
    SetWindowTextA(GetDlgItem(dialog, IDC_LOGIN_USER), "ivan");
    SetWindowTextA(GetDlgItem(dialog, IDC_LOGIN_PASS), "12&34");
    {
        message_watch watch;
        SendMessageW(GetDlgItem(dialog, 1), BM_CLICK, 0, 0);
        EXPECT_EQ(client_->wait(30000), 0);
    }
    EXPECT_EQ(stored("a_user"), "<missing>") << "the Policies key took a write";
    client_.reset(new client_process());
    dialog = client_->find_window("Login", 30000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(ticked(dialog));
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_LOGIN_USER)), "ivan");
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_LOGIN_PASS)), "12&34");
}

TEST_F(LoginDialog, FalseAnywhereInTheResponseIsARefusal) {
    service_answers answers;
    answers.account = join({"uid", "5", "fn", "Falsetto", "ln", "falsey"});
    scripted_server server(answer_by_request(answers));
    HWND dialog = start(server);
    ASSERT_NE(dialog, nullptr);
    message_watch watch;
    SendMessageW(GetDlgItem(dialog, IDC_LOGIN_USER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x"));
    SendMessageW(GetDlgItem(dialog, 1), BM_CLICK, 0, 0);
    EXPECT_EQ(client_->wait(30000), 0);
    ASSERT_EQ(watch.seen().size(), 1u);
    EXPECT_EQ(watch.seen()[0].text, refused_text);
}

TEST_F(LoginDialog, AFailedExchangeLetsStartUpGoOnWithAnEntryOfTwoBlanks) {
    scripted_server server(answer_by_request(service_answers()));  // account: closes at once
    HWND dialog = start(server);
    ASSERT_NE(dialog, nullptr);
    SendMessageW(GetDlgItem(dialog, 1), BM_CLICK, 0, 0);
    HWND video = client_->find_window("play", 30000);
    ASSERT_NE(video, nullptr);
    HWND user = client_->find_class("icon", 0);
    HWND user_panel = nullptr;
    for (int i = 0; i < 100 && user_panel == nullptr; ++i) {
        user_panel = FindWindowExW(nullptr, nullptr, nullptr, L"User");
        if (user_panel == nullptr) Sleep(50);
    }
    (void)user;
    ASSERT_NE(user_panel, nullptr);
    HWND list = GetDlgItem(user_panel, IDC_USER_ACCOUNTS);
    EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 1);
    WCHAR entry[64] = {0};
    SendMessageW(list, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(entry));
    EXPECT_EQ(lstrcmpW(entry, L"  "), 0);
}

// The whole start-up, as a subscriber sees it after logging in.
// The player's plug-ins come from the program's own folder: a plug-in
// planted in a "plugins" folder where the program is started (a download
// folder, a share) is never loaded. The planted one leaves a mark when the
// system loads it.
TEST_F(LoginDialog, APlugInWhereTheProgramIsStartedIsNeverLoaded) {
    std::string folder = scratch_file("started-here");
    std::string mark = folder + "/loaded";
    ASSERT_EQ(host_command("rm -rf " + folder + " && mkdir -p " + folder + "/plugins && printf '"
                           "#include <stdio.h>\\n__attribute__((constructor)) static void planted(void) "
                           "{ FILE* f = fopen(\"" + mark + "\", \"w\"); if (f) fclose(f); }\\n' > " + folder +
                           "/planted.c && gcc -shared -fPIC -o " + folder + "/plugins/libplanted_plugin.so " + folder +
                           "/planted.c"),
              0);
    std::string windows_folder = "Z:" + folder;
    for (char& c : windows_folder)
        if (c == '/') c = '\\';
    scripted_server server(answer_by_request(service_answers()));
    scoped_env env("TVCLIENT_SERVICE", server.address().c_str());
    client_.reset(new client_process(windows_folder.c_str()));
    HWND dialog = client_->find_window("Login", 30000);
    ASSERT_NE(dialog, nullptr);
    SetWindowTextA(GetDlgItem(dialog, IDC_LOGIN_USER), "ivan");
    SetWindowTextA(GetDlgItem(dialog, IDC_LOGIN_PASS), "1234");
    SendMessageW(GetDlgItem(dialog, 1), BM_CLICK, 0, 0);
    ASSERT_NE(client_->find_window("play", 30000), nullptr);  // the player made, its plug-ins read
    Sleep(1000);
    EXPECT_NE(host_command("test -e " + mark), 0) << "the planted plug-in was loaded";
    host_command("rm -rf " + folder);
}

TEST_F(LoginDialog, AnAcceptedLoginShowsTheVideoWindowAndTheFourPanels) {
    service_answers answers;
    answers.account = join({"uid", "123", "fn", "Иван", "ln", "Петров", "sessionid", "0123456789abcdef", "cr",
                              "10.00", "shr", "2"});
    answers.shares = join({"sid", "7", "fn", "Ана", "ln", "Иванова", "em", "ana@example.bg", "cr", "3.00",
                             "sid", "9", "fn", "Борис", "ln", "Петров", "em", "b@example.bg", "cr", "0"});
    scripted_server server(answer_by_request(answers));
    HWND dialog = start(server);
    ASSERT_NE(dialog, nullptr);
    SetWindowTextA(GetDlgItem(dialog, IDC_LOGIN_USER), "ivan");
    SetWindowTextA(GetDlgItem(dialog, IDC_LOGIN_PASS), "1234");
    SendMessageW(GetDlgItem(dialog, 1), BM_CLICK, 0, 0);

    HWND video = client_->find_window("play", 30000);
    ASSERT_NE(video, nullptr);
    EXPECT_NE(client_->find_window("Program", 5000), nullptr);
    // The three overlays: control bar, info panel, exit button. The client
    // may still be showing them when the program panel is up (a busy
    // machine): the windows are walked again until the four are seen.
    int32_t visible_dialogs = 0;
    std::string seen;  // class and caption of each, to name a stray one
    HWND user_panel = nullptr;
    HWND help_panel = nullptr;
    for (DWORD until = GetTickCount() + 5000;;) {
        visible_dialogs = 0;
        seen.clear();
        // A window raised during the walk comes up a second time: each counts once.
        std::set<HWND> counted;
        for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
            if (!counted.insert(w).second) continue;
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid != client_->id() || GetWindow(w, GW_OWNER) != video) continue;
            std::string caption = window_text(w);
            if (caption == "User") user_panel = w;
            if (caption == "Help") help_panel = w;
            if (IsWindowVisible(w)) {
                ++visible_dialogs;
                char class_name[64] = {0};
                GetClassNameA(w, class_name, sizeof class_name);
                char handle[32];
                snprintf(handle, sizeof handle, " %p", static_cast<void*>(w));
                seen += std::string(" [") + class_name + " \"" + caption + "\"" + handle + "]";
            }
        }
        if (visible_dialogs >= 4 || GetTickCount() > until) break;
        Sleep(100);
    }
    EXPECT_EQ(visible_dialogs, 4) << seen;  // control bar, info panel, exit button, program panel
    ASSERT_NE(user_panel, nullptr);
    ASSERT_NE(help_panel, nullptr);
    EXPECT_FALSE(IsWindowVisible(user_panel));
    EXPECT_FALSE(IsWindowVisible(help_panel));

    HWND list = GetDlgItem(user_panel, IDC_USER_ACCOUNTS);
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0);
    const wchar_t* expected[] = {L"123 Иван Петров", L"7 Ана Иванова", L"9 Борис Петров"};
    for (int i = 0; i < 3; ++i) {
        WCHAR entry[128] = {0};
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        EXPECT_EQ(lstrcmpW(entry, expected[i]), 0) << i;
    }
    EXPECT_EQ(window_text(GetDlgItem(user_panel, IDC_USER_CREDIT)), "10.00");
    std::vector<std::string> lines = server.requests();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines[2].find("input=user\x01ivan\x01pass\x01" "1234\x01shares\x01info\r\n"), std::string::npos);
}

}  // namespace
