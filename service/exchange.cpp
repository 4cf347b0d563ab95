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

void exchange_connect(exchange_under_way* x) {
    WSADATA wsa;
    WSAStartup(2, &wsa);
    x->s = INVALID_SOCKET;
    x->failure = nullptr;
    x->sent = false;
    x->started = GetTickCount64();

    service_address address;
    hostent* host = nullptr;
    if (parse_service_address(service_host(), &address)) host = gethostbyname(address.host_name);
    if (host == nullptr || host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr ||
        host->h_addrtype != AF_INET) {
        x->failure = bad_host_text;
        return;
    }
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(address.port);
    memcpy(&to.sin_addr, host->h_addr_list[0], sizeof to.sin_addr);

    // The whole exchange is bounded from here: see next_wait_ms.
    x->started = GetTickCount64();
    x->s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long non_blocking = 1;
    if (x->s == INVALID_SOCKET || ioctlsocket(x->s, FIONBIO, &non_blocking) != 0 ||
        (connect(x->s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 && WSAGetLastError() != WSAEWOULDBLOCK))
        x->failure = connect_failed_text;
}

void exchange_send(exchange_under_way* x, const char* request_line) {
    if (x->failure != nullptr) return;
    // Connected within the wait, or a refused or unanswered connection.
    bool connected = wait_socket(x->s, true, x->started);
    if (connected) {
        int error = 0;
        int error_len = sizeof error;
        getsockopt(x->s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &error_len);
        connected = error == 0;
    }
    u_long blocking = 0;
    ioctlsocket(x->s, FIONBIO, &blocking);
    if (!connected) {
        x->failure = connect_failed_text;
        return;
    }
    send_all(x->s, request_line, lstrlenA(request_line));
    x->sent = true;
}

void exchange_finish(exchange_under_way* x, char* response, uint32_t size) {
    // The area lives on this call's stack: an exchange started from a timer
    // inside another exchange's message box has its own.
    receive_state area_storage;
    receive_state* area = &area_storage;
    receive_begin(area);
    bool answered = x->sent && wait_socket(x->s, false, x->started);
    if (answered) {
        char chunk[receive_chunk_size];
        bool more = true;
        bool first = true;
        while (more) {
            // Stalled halfway, or dripped past the exchange's bound: what
            // came is the response.
            if (!first && !wait_socket(x->s, false, x->started)) break;
            first = false;
            memset(chunk, 0, sizeof chunk);
            int n = recv(x->s, chunk, sizeof chunk, 0);
            more = receive_take(area, chunk, n);
        }
    }
    if (x->s != INVALID_SOCKET) closesocket(x->s);
    x->s = INVALID_SOCKET;
    WSACleanup();

    if (x->failure != nullptr) {
        // The buffer stays as it was: no host, or no connection.
        show_error(x->failure);
        return;
    }
    if (!answered) {
        memset(response, 0, size);
        show_error(timeout_text);
        return;
    }
    receive_copy_out(area, response, size);
}

void service_request(const char* request_line, char* response, uint32_t size) {
    exchange_under_way x;
    exchange_connect(&x);
    exchange_send(&x, request_line);
    exchange_finish(&x, response, size);
}
