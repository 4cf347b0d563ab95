// One request/response exchange with the service.
#pragma once

#include "base/win32.h"
#include "service/request.h"

#include <cstdint>

// The service host as request lines carry it: TVCLIENT_SERVICE from the
// environment when set, otherwise the address compiled in.
const char* service_host();

// Sends one request line and reads the response into response (size bytes:
// the received bytes, then zeros). Failures show their message box; the
// buffer is then left as it was (unresolvable host, failed connection) or
// zero-filled (no answer within 5 seconds). Runs on the GUI thread and blocks
// it for at most 5 seconds per wait (connect, first answer, every later receive).
void service_request(const char* request_line, char* response, uint32_t size);

// Socket helpers of the exchange, also used by the stream relay.
// Waits until the socket is readable (or, with for_write, connected) for at
// most ms milliseconds; false when nothing came in that time.
bool wait_socket_ms(SOCKET s, bool for_write, uint32_t ms);
// Sends all n bytes; false when the connection failed first.
bool send_all(SOCKET s, const char* data, int32_t n);
