#include "base/win32.h"

#include "base/sockets.h"
#include "base/ui_text.h"
#include "service/exchange.h"

#include <cstring>

#ifndef TVCLIENT_DEFAULT_SERVICE
#define TVCLIENT_DEFAULT_SERVICE "127.0.0.1:8080"
#endif

namespace {

const char error_caption[] = "Грешка!";
const char bad_host_text[] = "Невалиден host!";
const char connect_failed_text[] = "Грешка при свъзването!";
const char timeout_text[] = "TimeOut!";

char host_buffer[256];

void show_error(const char* text) {
    show_message(nullptr, text, error_caption, MB_OK);
}

// Waits for the socket for at most the exchange's next wait.
bool wait_socket(SOCKET s, bool for_write, ULONGLONG started) {
    uint32_t ms = next_wait_ms(GetTickCount64() - started);
    return ms != 0 && wait_socket_ms(s, for_write, ms);
}

// Connects within the wait; false for a refused or unanswered connection.
bool connect_within_wait(SOCKET s, const sockaddr_in* to, ULONGLONG started) {
    u_long non_blocking = 1;
    ioctlsocket(s, FIONBIO, &non_blocking);
    int r = connect(s, reinterpret_cast<const sockaddr*>(to), sizeof *to);
    bool connected = r == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK && wait_socket(s, true, started)) {
        int error = 0;
        int error_len = sizeof error;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &error_len);
        connected = error == 0;
    }
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    return connected;
}

}  // namespace

const char* service_host() {
    memset(host_buffer, 0, sizeof host_buffer);
    DWORD n = GetEnvironmentVariableA("TVCLIENT_SERVICE", host_buffer, sizeof host_buffer);
    if (n == 0 || n >= sizeof host_buffer) {
        memset(host_buffer, 0, sizeof host_buffer);
        lstrcpynA(host_buffer, TVCLIENT_DEFAULT_SERVICE, sizeof host_buffer);
    }
    return host_buffer;
}

void service_request(const char* request_line, char* response, uint32_t size) {
    WSADATA wsa;
    WSAStartup(2, &wsa);

    service_address address;
    hostent* host = nullptr;
    if (parse_service_address(service_host(), &address)) host = gethostbyname(address.host_name);
    if (host == nullptr || host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr ||
        host->h_addrtype != AF_INET) {
        WSACleanup();
        show_error(bad_host_text);
        return;
    }

    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(address.port);
    memcpy(&to.sin_addr, host->h_addr_list[0], sizeof to.sin_addr);

    // The whole exchange is bounded from here: see next_wait_ms.
    ULONGLONG started = GetTickCount64();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET || !connect_within_wait(s, &to, started)) {
        if (s != INVALID_SOCKET) closesocket(s);
        WSACleanup();
        show_error(connect_failed_text);
        return;
    }

    send_all(s, request_line, lstrlenA(request_line));

    // The area lives on this call's stack: an exchange started from a timer
    // inside another exchange's message box has its own.
    receive_state area_storage;
    receive_state* area = &area_storage;
    receive_begin(area);
    bool answered = wait_socket(s, false, started);
    if (answered) {
        char chunk[receive_chunk_size];
        bool more = true;
        bool first = true;
        while (more) {
            // Stalled halfway, or dripped past the exchange's bound: what
            // came is the response.
            if (!first && !wait_socket(s, false, started)) break;
            first = false;
            memset(chunk, 0, sizeof chunk);
            int n = recv(s, chunk, sizeof chunk, 0);
            more = receive_take(area, chunk, n);
        }
    }
    closesocket(s);
    WSACleanup();

    if (!answered) {
        memset(response, 0, size);
        show_error(timeout_text);
        return;
    }
    receive_copy_out(area, response, size);
}
