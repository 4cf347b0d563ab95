// One request/response exchange with the service.
#pragma once

#include "base/win32.h"
#include "service/protocol.h"

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

// The same exchange in three steps, so that a channel start has its
// exchanges and its stream's connection under way at once, each request
// still sent in its turn: connecting (not waited for), sending (waits for
// the connection), then finishing (waits for the answer). The waits, the
// bound and the messages are service_request's, shown by exchange_finish
// in the order the exchanges finish.
struct exchange_under_way {
    SOCKET s;
    ULONGLONG started;
    const char* failure;  // the message the exchange ends with, or nullptr
    bool sent;
};
void exchange_connect(exchange_under_way* x);
void exchange_send(exchange_under_way* x, const char* request_line);
void exchange_finish(exchange_under_way* x, char* response, uint32_t size);
