#include "base/sockets.h"

bool wait_socket_ms(SOCKET s, bool for_write, uint32_t ms) {
    fd_set set;
    fd_set failed;
    FD_ZERO(&set);
    FD_ZERO(&failed);
    FD_SET(s, &set);
    FD_SET(s, &failed);
    timeval limit;
    limit.tv_sec = static_cast<long>(ms / 1000);
    limit.tv_usec = static_cast<long>(ms % 1000) * 1000;
    int r = for_write ? select(0, nullptr, &set, &failed, &limit) : select(0, &set, nullptr, nullptr, &limit);
    return r > 0 && FD_ISSET(s, &set);
}

bool send_all(SOCKET s, const char* data, int32_t n) {
    while (n > 0) {
        int sent = send(s, data, n, 0);
        if (sent <= 0) return false;
        data += sent;
        n -= sent;
    }
    return true;
}
