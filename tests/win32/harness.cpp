#include "tests/win32/harness.h"

#include "base/ui_text.h"

#include <cstring>

server_step send_step(const std::string& bytes) { return {server_step::send_bytes, bytes, 0}; }
server_step pause_step(uint32_t ms) { return {server_step::pause_ms, "", ms}; }
server_step close_step() { return {server_step::close_now, "", 0}; }

namespace {
struct winsock_user {
    winsock_user() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
    }
} winsock_for_tests;
}  // namespace

scripted_server::scripted_server(std::vector<server_step> script)
    : responder_([script](const std::string&) { return script; }) {
    start();
}

scripted_server::scripted_server(server_responder responder) : responder_(std::move(responder)) { start(); }

void scripted_server::start() {
    InitializeCriticalSection(&lock_);
    sockaddr_in at;
    listener_ = loopback_socket(&at);
    port_ = ntohs(at.sin_port);
    listen(listener_, 16);
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
}

scripted_server::~scripted_server() {
    SetEvent(stop_);
    closesocket(listener_);
    WaitForSingleObject(thread_, 20000);
    CloseHandle(thread_);
    CloseHandle(stop_);
    DeleteCriticalSection(&lock_);
}

std::string scripted_server::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> scripted_server::requests() {
    EnterCriticalSection(&lock_);
    std::vector<std::string> copy = requests_;
    LeaveCriticalSection(&lock_);
    return copy;
}

DWORD WINAPI scripted_server::run(void* self_ptr) {
    scripted_server* self = static_cast<scripted_server*>(self_ptr);
    while (WaitForSingleObject(self->stop_, 0) == WAIT_TIMEOUT) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(self->listener_, &set);
        timeval tick = {0, 50000};
        if (select(0, &set, nullptr, nullptr, &tick) <= 0) continue;
        SOCKET client = accept(self->listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        // Each connection gets its own thread, so a held connection never
        // keeps the next one waiting.
        connection* c = new connection{self, client};
        HANDLE t = CreateThread(nullptr, 0, serve_connection, c, 0, nullptr);
        EnterCriticalSection(&self->lock_);
        self->workers_.push_back(t);
        LeaveCriticalSection(&self->lock_);
    }
    for (HANDLE t : self->workers_) {
        WaitForSingleObject(t, 20000);
        CloseHandle(t);
    }
    return 0;
}

DWORD WINAPI scripted_server::serve_connection(void* c_ptr) {
    connection* c = static_cast<connection*>(c_ptr);
    c->server->serve(c->socket);
    closesocket(c->socket);
    delete c;
    return 0;
}

void scripted_server::serve(SOCKET client) {
    std::string line;
    char c;
    // The request is one line ending in "\r\n".
    while (line.size() < 4096 && recv(client, &c, 1, 0) == 1) {
        line.push_back(c);
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) break;
    }
    EnterCriticalSection(&lock_);
    requests_.push_back(line);
    LeaveCriticalSection(&lock_);
    for (const server_step& step : responder_(line)) {
        if (step.kind == server_step::send_bytes) {
            send(client, step.bytes.data(), static_cast<int>(step.bytes.size()), 0);
        } else if (step.kind == server_step::pause_ms) {
            if (WaitForSingleObject(stop_, step.ms) == WAIT_OBJECT_0) return;
        } else {
            return;
        }
    }
}

window_watcher::window_watcher(std::function<bool()> look) : look_(std::move(look)) {
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
}

window_watcher::~window_watcher() {
    stop();
    CloseHandle(stop_);
}

void window_watcher::stop() {
    if (thread_ == nullptr) return;
    SetEvent(stop_);
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI window_watcher::run(void* self_ptr) {
    window_watcher* self = static_cast<window_watcher*>(self_ptr);
    while (WaitForSingleObject(self->stop_, 30) == WAIT_TIMEOUT) {
        if (self->look_()) {
            InterlockedExchange(&self->done_, 1);
            return 0;
        }
    }
    return 0;
}

message_watch::message_watch(int32_t answer)
    : answer_(answer), watcher_([this] {
          EnumWindows(visit, reinterpret_cast<LPARAM>(this));
          return false;  // every box, until the watch ends
      }) {}
std::vector<seen_message> message_watch::seen() {
    EnterCriticalSection(&lock_.cs);
    std::vector<seen_message> copy = seen_;
    LeaveCriticalSection(&lock_.cs);
    return copy;
}

bool message_watch::wait_for(size_t count, uint32_t timeout_ms) {
    for (uint32_t waited = 0; waited < timeout_ms; waited += 20) {
        if (seen().size() >= count) return true;
        Sleep(20);
    }
    return seen().size() >= count;
}

BOOL CALLBACK message_watch::visit(HWND hwnd, LPARAM self) {
    reinterpret_cast<message_watch*>(self)->look_at(hwnd);
    return TRUE;
}

namespace {
struct static_texts {
    std::string joined;
};
BOOL CALLBACK collect_static(HWND child, LPARAM out_ptr) {
    WCHAR cls[32];
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Static") != 0) return TRUE;
    WCHAR text[1024];
    GetWindowTextW(child, text, 1024);
    if (text[0] == 0) return TRUE;
    char utf8[3072];
    wide_to_utf8(text, utf8, sizeof utf8);
    static_texts* out = reinterpret_cast<static_texts*>(out_ptr);
    out->joined += utf8;
    return TRUE;
}
}  // namespace

void message_watch::look_at(HWND hwnd) {
    WCHAR cls[32];
    GetClassNameW(hwnd, cls, 32);
    if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(hwnd)) return;
    for (HWND done : handled_)
        if (done == hwnd) return;
    // Only message boxes: they have an OK, Cancel, Yes or No button.
    HWND button = GetDlgItem(hwnd, answer_);
    if (button == nullptr) button = GetDlgItem(hwnd, IDOK);
    if (button == nullptr) button = GetDlgItem(hwnd, IDCANCEL);
    if (button == nullptr) return;
    Sleep(50);  // let the box finish painting its text

    WCHAR caption[256];
    GetWindowTextW(hwnd, caption, 256);
    seen_message m;
    char utf8[1024];
    wide_to_utf8(caption, utf8, sizeof utf8);
    m.caption = utf8;
    static_texts texts;
    EnumChildWindows(hwnd, collect_static, reinterpret_cast<LPARAM>(&texts));
    m.text = texts.joined;
    m.topmost = (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    for (HWND under = GetWindow(hwnd, GW_HWNDNEXT); under != nullptr && m.below.size() < 1000;
         under = GetWindow(under, GW_HWNDNEXT))
        m.below.push_back(under);

    handled_.push_back(hwnd);
    EnterCriticalSection(&lock_.cs);
    seen_.push_back(m);
    LeaveCriticalSection(&lock_.cs);
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

scoped_env::scoped_env(const char* name, const char* value) : name_(name) {
    char old[1024];
    DWORD n = GetEnvironmentVariableA(name, old, sizeof old);
    had_ = n > 0 && n < sizeof old;
    if (had_) old_ = old;
    SetEnvironmentVariableA(name, value);
}

scoped_env::~scoped_env() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }

namespace {
std::string client_path;
}

const std::string& client_program() { return client_path; }

int32_t run_client(uint32_t timeout_ms) {
    // The client is killed on the way out when it has not ended in time.
    client_process client;
    return client.started() ? client.wait(timeout_ms) : -2;
}

SOCKET loopback_socket(sockaddr_in* at) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    memset(at, 0, sizeof *at);
    at->sin_family = AF_INET;
    at->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(at), sizeof *at);
    int len = sizeof *at;
    getsockname(s, reinterpret_cast<sockaddr*>(at), &len);
    return s;
}

uint16_t unused_port() {
    sockaddr_in at;
    closesocket(loopback_socket(&at));
    return ntohs(at.sin_port);
}

int main(int argc, char** argv) {
    // The C runtime of a Windows program buffers a redirected stdout whole;
    // the log of a test that hangs should still show where.
    setvbuf(stdout, nullptr, _IONBF, 0);
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--client=", 9) == 0) client_path = argv[i] + 9;
    }
#ifdef __WINE__
    // The wine build's tvclient.exe is a launcher script; its program is beside it.
    if (client_path.size() > 4 && client_path.compare(client_path.size() - 4, 4, ".exe") == 0)
        client_path += ".so";
#endif
    return RUN_ALL_TESTS();
}

server_responder answer_by_request(const service_answers& a) {
    return [a](const std::string& line) {
        std::string text;
        if (line.find("input=version\r\n") != std::string::npos) text = a.version;
        else if (line.find("\x01" "account\x01info") != std::string::npos) text = a.account;
        else if (line.find("\x01shares\x01info") != std::string::npos) text = a.shares;
        else if (line.find("\x01keepsession\x01") != std::string::npos) text = a.keepsession;
        else if (line.find("\x01" "channelslist\x01") != std::string::npos) text = a.channelslist;
        else if (line.find("\x01" "epg\x01") != std::string::npos) text = a.epg;
        std::vector<server_step> script;
        if (!text.empty()) script.push_back(send_step(text));
        script.push_back(close_step());
        return script;
    };
}

std::string version_line(const std::string& host) {
    return "GET http://" + host + "/socket_server/server.php?input=version\r\n";
}

client_process::client_process(const char* working_folder) {
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::string command = "\"" + client_path + "\"";
    std::vector<char> cmd(command.begin(), command.end());
    cmd.push_back('\0');
    if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, working_folder, &si, &pi)) {
        process_ = pi.hProcess;
        id_ = pi.dwProcessId;
        CloseHandle(pi.hThread);
    }
}

client_process::~client_process() {
    if (process_ == nullptr) return;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

int32_t client_process::wait(uint32_t timeout_ms) {
    if (process_ == nullptr || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int32_t>(code);
}

namespace {
struct window_search {
    DWORD process;
    std::string caption;
    const char* class_name;
    bool visible_only;
    HWND found;
};
BOOL CALLBACK match_window(HWND hwnd, LPARAM search_ptr) {
    window_search* s = reinterpret_cast<window_search*>(search_ptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->process) return TRUE;
    if (s->visible_only && !IsWindowVisible(hwnd)) return TRUE;
    if (s->class_name != nullptr) {
        char cls[64];
        GetClassNameA(hwnd, cls, sizeof cls);
        if (lstrcmpiA(cls, s->class_name) != 0) return TRUE;
    } else if (window_text(hwnd) != s->caption) {
        return TRUE;
    }
    s->found = hwnd;
    return FALSE;
}
}  // namespace

HWND client_process::find_window(const std::string& caption, uint32_t timeout_ms) {
    window_search s = {id_, caption, nullptr, true, nullptr};
    for (uint32_t waited = 0; s.found == nullptr && waited <= timeout_ms; waited += 50) {
        EnumWindows(match_window, reinterpret_cast<LPARAM>(&s));
        if (s.found == nullptr) Sleep(50);
    }
    return s.found;
}

HWND client_process::find_class(const char* class_name, uint32_t timeout_ms) {
    window_search s = {id_, "", class_name, false, nullptr};
    for (uint32_t waited = 0; s.found == nullptr && waited <= timeout_ms; waited += 50) {
        EnumWindows(match_window, reinterpret_cast<LPARAM>(&s));
        if (s.found == nullptr) Sleep(50);
    }
    return s.found;
}

std::string window_text(HWND window) {
    WCHAR text[1024];
    text[0] = 0;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &ignored);
    char utf8[3072];
    wide_to_utf8(text, utf8, sizeof utf8);
    return utf8;
}

void set_stored(const char* name, const std::string& value) {
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, credentials_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.data()), static_cast<DWORD>(value.size()));
    RegCloseKey(key);
}

void delete_stored(const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, credentials_key, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

std::string stored(const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, credentials_key, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<missing>";
    // The stored text (UTF-16 in the registry). The registry adds the
    // terminator that the program leaves out of the data length, as NT does.
    WCHAR wide_name[64];
    MultiByteToWideChar(CP_ACP, 0, name, -1, wide_name, 64);
    WCHAR data[256];
    DWORD size = sizeof data - sizeof(WCHAR);
    DWORD type = 0;
    LONG r = RegQueryValueExW(key, wide_name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return "<missing>";
    std::string out;
    for (DWORD i = 0; i < size / sizeof(WCHAR) && data[i] != 0; ++i) {
        if (data[i] < 0x80) {
            out.push_back(static_cast<char>(data[i]));
        } else {
            WCHAR one[2] = {data[i], 0};
            char utf8[8];
            wide_to_utf8(one, utf8, sizeof utf8);
            out += utf8;
        }
    }
    return out;
}
