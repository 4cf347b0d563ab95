// The fault matrix: every request of the catalogue against every way the
// service can misbehave, one case per cell. For each cell the program shows
// exactly the messages it must (or none), returns within its waits,
// and loses nothing: the registry values, the channel table and the playing
// channel are as before.
#include "tests/win32/prelude.h"

namespace {

// "drip:4.5" sends two bytes every 4.5 s: only the 15 s bound of an
// exchange ends it.
const char* const faults[] = {"silent", "close", "one_byte", "trailing_zero", "huge", "drip", "drip:4.5",
                              "stall_half", "refused"};
const char* const requests[] = {"version", "account", "shares", "keepsession", "channelslist", "epg"};

// Logs in through the real dialog of this process: types the credentials
// and presses "Вход" from another thread.
bool type_login() {
    HWND dialog = FindWindowW(nullptr, L"Login");
    if (dialog == nullptr || !IsWindowVisible(dialog)) return false;
    SetDlgItemTextA(dialog, IDC_LOGIN_USER, "ivan");
    SetDlgItemTextA(dialog, IDC_LOGIN_PASS, "1234");
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    return true;
}

std::string stored_values() { return stored("isRem") + "|" + stored("a_user") + "|" + stored("a_pass"); }

int32_t table_rows(int32_t id) {
    return static_cast<int32_t>(SendDlgItemMessageW(program_panel, id, LVM_GETITEMCOUNT, 0, 0));
}

int32_t account_entries() {
    return static_cast<int32_t>(SendDlgItemMessageW(user_panel, IDC_USER_ACCOUNTS, CB_GETCOUNT, 0, 0));
}

// The matrix as the cases fill it, printed after the last one.
std::map<std::string, std::map<std::string, std::string>> matrix;
int32_t failed_cells = 0;

void print_matrix() {
    printf("\n%-13s", "");
    for (const char* fault : faults) printf(" %-14s", fault);
    printf("\n");
    for (const char* request : requests) {
        printf("%-13s", request);
        for (const char* fault : faults) {
            auto row = matrix.find(request);
            bool ran = row != matrix.end() && row->second.count(fault) != 0;
            printf(" %-14s", ran ? row->second[fault].c_str() : "-");
        }
        printf("\n");
    }
    printf("%d of %zu cells failed\n", failed_cells, matrix.size() * countof(faults));
}

// Runs the request as the program does; a problem of the answer itself
// (the version check's verdict, the login going on, too many rows).
std::string run_request(const std::string& request, const std::string& fault) {
    if (request == "version") {
        bool passed = check_service_version();
        bool should_pass = fault == "trailing_zero" || fault.compare(0, 4, "drip") == 0;
        return passed == should_pass ? "" : " version check gave the wrong answer";
    }
    if (request == "account") {
        window_watcher typer(type_login);
        // None of these faults carries "false": the login goes on.
        return run_login() ? "" : " the login did not go on";
    }
    if (request == "shares") {
        load_shared_accounts();
    } else if (request == "keepsession") {
        keep_session();
    } else if (request == "channelslist") {
        HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 10, 10, program_panel,
                                    nullptr, app_instance, nullptr);
        LVCOLUMNW c;
        memset(&c, 0, sizeof c);
        for (int32_t i = 0; i < 6; ++i) SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
        int32_t last_before = last_channel;
        fill_channel_list(list);
        int32_t rows = static_cast<int32_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        last_channel = last_before;
        DestroyWindow(list);
        if (last_channel > 11 || rows > 12 + 400) return " more rows than the service has channels";
    } else {
        fill_epg_list(playing_channel);
    }
    return "";
}

// The messages a cell must show, in order: the time-out of a silent service,
// the connection message of a refused one, and the version message when the
// version request gets anything but "0.03".
std::vector<std::string> expected_messages(const std::string& request, const std::string& fault) {
    std::vector<std::string> expected;
    if (fault == "silent") expected.push_back("TimeOut!");
    if (fault == "refused") expected.push_back("Грешка при свъзването!");
    bool version_fails = request == "version" && fault != "trailing_zero" && fault.compare(0, 4, "drip") != 0;
    if (version_fails) expected.push_back("Невалидна версия или липса на интернет!\n" TVCLIENT_DOWNLOAD_SITE "\n");
    return expected;
}

void set_remembered_login() {
    set_stored("isRem", "1");
    set_stored("a_user", "ivan");
    set_stored("a_pass", "1234");
}

// One case per request and fault; the program is started once for all of
// them, playing row 0, and each case restores what it may change.
class FaultMatrix : public ::testing::TestWithParam<std::tuple<const char*, const char*>> {
protected:
    static void SetUpTestSuite() {
        if (standin_address().empty()) return;
        start_program("ivan", "1234");
        play_row_zero();
        pump(1000);
        // The minute's keep-alive would add its own message to whichever
        // case runs when it fires; it is held for the matrix.
        KillTimer(video_window, keepalive_timer);
    }
    static void TearDownTestSuite() {
        if (standin_address().empty()) return;
        print_matrix();
        SetTimer(video_window, keepalive_timer, 60000, nullptr);
        // The player still plays the channel it played.
        if (!time_advances(15000)) ADD_FAILURE() << "the picture does not go on after the faults";
        end_program();
    }
    void SetUp() override {
        if (standin_address().empty()) GTEST_SKIP() << "the stand-in service is not running";
        set_remembered_login();
    }
    void TearDown() override {
        standin_faults("");
        // The account request stores the values it was typed.
        set_remembered_login();
    }
};

TEST_P(FaultMatrix, LosesNothingAndShowsOnlyItsMessages) {
    const std::string request = std::get<0>(GetParam());
    const std::string fault = std::get<1>(GetParam());
    const bool refused = fault == "refused";
    const std::string refused_address = "127.0.0.1:" + std::to_string(unused_port());
    standin_faults(refused ? "" : request + "=" + fault);
    scoped_env where("TVCLIENT_SERVICE", refused ? refused_address.c_str() : standin_address().c_str());

    const std::string registry_before = stored_values();
    const int32_t channels_before = table_rows(IDC_CHANNEL_LIST);
    ASSERT_EQ(channels_before, 12);
    const int32_t playing_before = playing_channel;
    const int32_t guide_rows_before = table_rows(IDC_EPG_LIST);
    const int32_t accounts_before = account_entries();

    std::string problem;
    std::vector<seen_message> messages;
    DWORD elapsed_ms = 0;
    {
        message_watch watch;
        DWORD start = GetTickCount();
        problem = run_request(request, fault);
        elapsed_ms = GetTickCount() - start;
        Sleep(150);
        messages = watch.seen();
    }

    std::vector<std::string> shown;
    for (const seen_message& m : messages) shown.push_back(m.text);
    if (shown != expected_messages(request, fault)) {
        problem += " messages:";
        for (const std::string& text : shown) problem += " [" + text + "]";
    }
    // Within the waits: one 5-second wait for a silent or stalled service,
    // the 15-second bound of an exchange for a slow drip, none otherwise
    // (the margins are for a loaded machine).
    bool waits = fault == "silent" || fault == "stall_half";
    if (elapsed_ms > (fault == "drip:4.5" ? 25000u : waits ? 12000u : 5000u))
        problem += " took " + std::to_string(elapsed_ms) + " ms";
    // Nothing lost.
    if (request != "account" && stored_values() != registry_before) problem += " registry changed";
    if (table_rows(IDC_CHANNEL_LIST) != channels_before) problem += " channel table changed";
    if (playing_channel != playing_before) problem += " playing channel changed";
    if (request != "epg" && table_rows(IDC_EPG_LIST) != guide_rows_before) problem += " guide changed";
    if (request != "shares" && account_entries() != accounts_before) problem += " account list changed";

    char cell[64];
    snprintf(cell, sizeof cell, "%s %5lu ms", problem.empty() ? "ok  " : "FAIL", static_cast<unsigned long>(elapsed_ms));
    matrix[request][fault] = cell;
    failed_cells += problem.empty() ? 0 : 1;
    EXPECT_TRUE(problem.empty()) << request << " x " << fault << ":" << problem;
}

// "channelslist_drip_4_5": test names take letters, digits and underscores.
std::string case_name(const ::testing::TestParamInfo<std::tuple<const char*, const char*>>& info) {
    std::string name = std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param);
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryRequestAgainstEveryFault, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(requests), ::testing::ValuesIn(faults)), case_name);

}  // namespace
