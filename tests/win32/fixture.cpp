#include "tests/win32/fixture.h"

#include "resources/resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
std::string env(const char* name) {
    char value[1024];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value) : std::string();
}
}  // namespace

std::string standin_address() { return env("TVSERVICE_ADDRESS"); }

std::vector<std::string> standin_log() {
    std::vector<std::string> lines;
    // A Winelib program reaches Unix paths through the C library.
    FILE* f = fopen(env("TVSERVICE_LOG").c_str(), "r");
    if (f == nullptr) return lines;
    char line[8192];
    while (fgets(line, sizeof line, f) != nullptr) {
        size_t n = strlen(line);
        if (n > 0 && line[n - 1] == '\n') line[n - 1] = 0;
        lines.push_back(line);
    }
    fclose(f);
    return lines;
}

void standin_faults(const std::string& settings) {
    FILE* f = fopen(env("TVSERVICE_CONTROL").c_str(), "w");
    if (f == nullptr) return;
    fputs(settings.c_str(), f);
    fputc('\n', f);
    fclose(f);
    Sleep(30);  // a new modification time for the service to notice
}

std::string scratch_file(const std::string& name) {
    std::string log = env("TVSERVICE_LOG");
    size_t slash = log.rfind('/');
    return (slash == std::string::npos ? std::string("/tmp") : log.substr(0, slash)) + "/" + name;
}

screen_sample sample_screen(const RECT& area) {
    screen_sample s;
    char command[1024];
    std::string picture = scratch_file("sample.png");
    std::string out = scratch_file("sample.txt");
    snprintf(command, sizeof command,
             "import -window root -crop %ldx%ld+%ld+%ld +repage %s 2>/dev/null && "
             "convert %s -format '%%[fx:mean] %%#' info: > %s 2>/dev/null",
             static_cast<long>(area.right - area.left), static_cast<long>(area.bottom - area.top),
             static_cast<long>(area.left), static_cast<long>(area.top), picture.c_str(), picture.c_str(), out.c_str());
    if (host_command(command) != 0) return s;
    FILE* f = fopen(out.c_str(), "r");
    if (f == nullptr) return s;
    char digest[128] = {0};
    if (fscanf(f, "%lf %127s", &s.mean, digest) != 2) s.mean = -1;
    s.digest = digest;
    fclose(f);
    return s;
}

lock_answer::lock_answer(const std::string& code, bool cancel)
    : window_watcher([code, cancel] {
          HWND dialog = FindWindowW(nullptr, L"Родителски контрол");
          if (dialog == nullptr || !IsWindowVisible(dialog)) return false;
          if (cancel) {
              PostMessageW(dialog, WM_COMMAND, 2, 0);
          } else {
              SetDlgItemTextA(dialog, IDC_LOCK_CODE, code.c_str());
              PostMessageW(dialog, WM_COMMAND, 1, 0);
          }
          return true;
      }) {}

#include "account/login.h"
#include "shell/app.h"
#include "playback/player.h"
#include "playback/switching.h"
#include "service/exchange.h"
#include "shell/startup.h"

#include <vlc/vlc.h>

#include <atomic>
#include <memory>

namespace {
std::unique_ptr<scoped_env> program_service;
std::atomic<int32_t> time_changed_count{0};
std::atomic<int64_t> time_reported{0};

void count_time_changed(const libvlc_event_t* event, void*) {
    time_reported.store(event->u.media_player_time_changed.new_time);
    time_changed_count.fetch_add(1);
}
}  // namespace

int32_t time_events() { return time_changed_count.load(); }

int64_t playing_time_ms() { return time_reported.load(); }

void start_program(const char* user, const char* pass) {
    program_service.reset(new scoped_env("TVCLIENT_SERVICE", standin_address().c_str()));
    memset(user_name, 0, sizeof user_name);
    memset(user_password, 0, sizeof user_password);
    lstrcpynA(user_name, user, sizeof user_name);
    lstrcpynA(user_password, pass, sizeof user_password);
    char line[request_line_size];
    format_account_info_request(line, sizeof line, service_host(), user_name, user_password);
    memset(login_response, 0, sizeof login_response);
    service_request(line, login_response, sizeof login_response);
    memset(&account, 0, sizeof account);
    current_channel = 0;
    prepare_first_class();
    build_windows();
    finish_startup();
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(player_handle());
    libvlc_event_attach(events, libvlc_MediaPlayerTimeChanged, count_time_changed, nullptr);
}

void end_program() {
    stop_playback();
    standin_faults("");
    DestroyWindow(video_window);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    program_service.reset();
}

void pump(uint32_t ms) {
    DWORD until = GetTickCount() + ms;
    MSG m;
    do {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) process_message(m);
        Sleep(10);
    } while (GetTickCount() < until);
}

namespace {
DWORD last_click = 0;
}  // namespace

void click_point(int32_t x, int32_t y) {
    // Two clicks in a row would be a double-click, which toggles fullscreen.
    DWORD since = GetTickCount() - last_click;
    if (last_click != 0 && since <= GetDoubleClickTime()) pump(GetDoubleClickTime() - since + 50);
    SetCursorPos(x, y);
    pump(50);
    INPUT press[2];
    memset(press, 0, sizeof press);
    press[0].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].type = INPUT_MOUSE;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, press, sizeof press[0]);
    last_click = GetTickCount();
    pump(200);
}

void move_mouse_by(int32_t dx, int32_t dy) {
    INPUT move;
    memset(&move, 0, sizeof move);
    move.type = INPUT_MOUSE;
    move.mi.dx = dx;
    move.mi.dy = dy;
    move.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &move, sizeof move);
    pump(100);
}

bool click_window(HWND window) {
    // A point of the window that no other window covers (the overlays lie
    // over the video window): its middle, else near the middle of an edge.
    RECT r;
    GetClientRect(window, &r);
    const POINT candidates[] = {{r.right / 2, r.bottom / 2}, {3, r.bottom / 2}, {r.right - 4, r.bottom / 2},
                                {r.right / 2, 3}, {3, 3}};
    POINT at = {-1, -1};
    for (POINT c : candidates) {
        ClientToScreen(window, &c);
        if (WindowFromPoint(c) == window) {
            at = c;
            break;
        }
    }
    if (at.x < 0) return false;
    click_point(at.x, at.y);
    return true;
}

void type_key(WPARAM code) {
    INPUT stroke[2];
    memset(stroke, 0, sizeof stroke);
    stroke[0].type = INPUT_KEYBOARD;
    stroke[0].ki.wVk = static_cast<WORD>(code);
    stroke[1] = stroke[0];
    stroke[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, stroke, sizeof stroke[0]);
    pump(100);
}

void choose_menu_item(UINT id) {
    PostMessageW(video_window, WM_COMMAND, id, 0);
    pump(50);
}

int32_t host_command(const std::string& command) {
#ifdef __WINE__
    // A Winelib program's system() is the host's.
    return system(command.c_str());
#else
    // A Windows program under Wine can start a Linux program, but learns
    // neither when it ends nor its exit code: the shell writes the code to a
    // file, which is waited for.
    static int32_t count = 0;
    std::string base = scratch_file("host-" + std::to_string(++count));
    std::string script = base + ".sh";
    std::string status = base + ".status";
    FILE* f = fopen(script.c_str(), "wb");  // the shell wants LF line ends
    if (f == nullptr) return -1;
    fprintf(f, "%s\necho $? > %s.tmp && mv %s.tmp %s\n", command.c_str(), status.c_str(), status.c_str(),
            status.c_str());
    fclose(f);
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::string line = "/bin/sh " + script;
    std::vector<char> cmd(line.begin(), line.end());
    cmd.push_back('\0');
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    int32_t code = -1;
    DWORD until = GetTickCount() + 120000;
    while (GetTickCount() < until) {
        FILE* done = fopen(status.c_str(), "r");
        if (done != nullptr) {
            if (fscanf(done, "%d", &code) != 1) code = -1;
            fclose(done);
            break;
        }
        Sleep(20);
    }
    remove(script.c_str());
    remove(status.c_str());
    return code;
#endif
}

