// Blocking socket helpers for code that waits on one socket at a time (the
// service's exchange, the tests' and the benchmarks' clients). The stream
// relay waits on events of its own, so that a channel change can end it.
#pragma once

#include "base/win32.h"

#include <cstdint>

// Waits until the socket is readable (or, with for_write, connected) for at
// most ms milliseconds; false when nothing came in that time.
bool wait_socket_ms(SOCKET s, bool for_write, uint32_t ms);

// Sends all n bytes; false when the connection failed first.
bool send_all(SOCKET s, const char* data, int32_t n);
