// Win32 test harness: a scripted service on loopback, a watcher that reads and
// answers the message boxes of any process on the desktop, and GoogleTest
// included the way Winelib needs it.
#pragma once

#include "base/win32.h"
#include "tests/join.h"

#ifdef __WINE__
// Winelib compiles against glibc: GoogleTest must not take itself for a
// Windows build there, or it reaches for the Windows C runtime.
#pragma push_macro("_WIN32")
#pragma push_macro("WIN32")
#pragma push_macro("_WIN64")
#undef _WIN32
#undef WIN32
#undef _WIN64
#include <gtest/gtest.h>
#pragma pop_macro("_WIN64")
#pragma pop_macro("WIN32")
#pragma pop_macro("_WIN32")
#else
#include <gtest/gtest.h>
#endif

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the scripted service does on one connection, after it has read the
// request line.
struct server_step {
    enum kind_t { send_bytes, pause_ms, close_now } kind;
    std::string bytes;
    uint32_t ms;
};
server_step send_step(const std::string& bytes);
server_step pause_step(uint32_t ms);
server_step close_step();

// Chooses the script of a connection from its request line.
typedef std::function<std::vector<server_step>(const std::string& request_line)> server_responder;

class scripted_server {
public:
    // Listens on 127.0.0.1 at a free port; every connection gets the script.
    explicit scripted_server(std::vector<server_step> script);
    explicit scripted_server(server_responder responder);
    ~scripted_server();
    uint16_t port() const { return port_; }
    std::string address() const;  // "127.0.0.1:<port>"
    std::vector<std::string> requests();  // request lines received so far

private:
    struct connection {
        scripted_server* server;
        SOCKET socket;
    };
    static DWORD WINAPI run(void* self);
    static DWORD WINAPI serve_connection(void* c);
    void serve(SOCKET client);
    std::vector<HANDLE> workers_;
    void start();
    server_responder responder_;
    SOCKET listener_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    CRITICAL_SECTION lock_;
    std::vector<std::string> requests_;
};

// A message box seen on the desktop, in UTF-8.
struct seen_message {
    std::string caption;
    std::string text;
    bool topmost;              // the box's own window is in the topmost band
    std::vector<HWND> below;   // the windows under it, as it was shown
};

// Watches the desktop from a thread of its own: calls look every 30 ms
// until it returns true (it found its window and answered it) or the
// watcher ends.
class window_watcher {
public:
    explicit window_watcher(std::function<bool()> look);
    ~window_watcher();
    // Ends the watching; look is not called again once this returns.
    void stop();
    // Ends the watching and tells whether look had returned true. A dialog
    // closes as soon as it is answered, maybe before the watcher's thread
    // has noted it: the thread is waited for first.
    bool finished() {
        stop();
        return done_ != 0;
    }

private:
    static DWORD WINAPI run(void* self);
    std::function<bool()> look_;
    volatile LONG done_ = 0;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
};

class message_watch {
public:
    // Answers every message box with the given button (IDOK, IDYES, IDNO...),
    // falling back to OK, then Cancel, when the box has no such button.
    explicit message_watch(int32_t answer = IDOK);
    std::vector<seen_message> seen();
    // Waits until at least count boxes were seen (false after timeout_ms).
    bool wait_for(size_t count, uint32_t timeout_ms);

private:
    static BOOL CALLBACK visit(HWND hwnd, LPARAM self);
    void look_at(HWND hwnd);
    struct section {
        CRITICAL_SECTION cs;
        section() { InitializeCriticalSection(&cs); }
        ~section() { DeleteCriticalSection(&cs); }
    };
    int32_t answer_;
    section lock_;
    std::vector<seen_message> seen_;
    std::vector<HWND> handled_;
    // Last: it starts watching once the rest is made, and ends first.
    window_watcher watcher_;
};

// Sets an environment variable for the test's duration.
class scoped_env {
public:
    scoped_env(const char* name, const char* value);
    ~scoped_env();

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// The client program of the wine build (from --client=...).
const std::string& client_program();

// Starts the client with the environment of this process; returns its exit
// code, or -1 when it had not ended after timeout_ms (it is then killed).
int32_t run_client(uint32_t timeout_ms);

// A TCP socket bound to a free loopback port, not yet listening; at
// receives its address.
SOCKET loopback_socket(sockaddr_in* at);

// Reads a local free port that nothing listens on.
uint16_t unused_port();

// A service that answers by request: version "0.03", and for the other
// requests the given texts (an empty text closes at once).
struct service_answers {
    std::string version = "0.03";
    std::string account;
    std::string shares;
    std::string keepsession;
    std::string channelslist;
    std::string epg;
};
server_responder answer_by_request(const service_answers& answers);

// The version request line as the program sends it to the host.
std::string version_line(const std::string& host);


// The client started as its own process (the environment of this one).
class client_process {
public:
    // Starts the client, in working_folder when one is given.
    explicit client_process(const char* working_folder = nullptr);
    ~client_process();  // kills the client if it still runs
    bool started() const { return process_ != nullptr; }
    // Waits for the process to end; its exit code, or -1 after timeout_ms.
    int32_t wait(uint32_t timeout_ms);
    // A visible top-level window of the client with this caption (UTF-8).
    HWND find_window(const std::string& caption, uint32_t timeout_ms);
    // A top-level window of the client of this class, visible or not.
    HWND find_class(const char* class_name, uint32_t timeout_ms);
    DWORD id() const { return id_; }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Text of a window of any process (WM_GETTEXT), in UTF-8.
std::string window_text(HWND window);

// The registry values of the remembered login.
const char credentials_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
void set_stored(const char* name, const std::string& value);
void delete_stored(const char* name);
// The stored bytes of a value, or "<missing>".
std::string stored(const char* name);
