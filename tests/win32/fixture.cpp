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
#include "base/app.h"
#include "playback/player.h"
#include "playback/switching.h"
#include "service/exchange.h"
#include "shell/startup.h"

#include <memory>

namespace {
std::unique_ptr<scoped_env> program_service;
}

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
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
            handle_after_dispatch(m);
        }
        Sleep(10);
    } while (GetTickCount() < until);
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

void key_in_video_window(WPARAM code) {
    SetFocus(video_window);
    MSG m;
    memset(&m, 0, sizeof m);
    m.hwnd = video_window;
    m.message = WM_KEYDOWN;
    m.wParam = code;
    handle_after_dispatch(m);
}
