// The bytes of the stream relay's side facing the player: the address the
// player is given, the request it sends back, and the head of the answer.
// No Windows header here: unit-tested natively.
#pragma once

#include <cstddef>
#include <cstdint>

// A stream's id is a random 64-bit number, written as 16 hexadecimal
// digits: another program on the machine cannot guess its way to a stream
// of the subscriber's session.
//
// "http://127.0.0.1:<port>/<id>" into out; false, with out empty, when it
// does not fit.
bool format_relay_url(uint16_t port, uint64_t id, char* out, size_t out_size);

// Reads the stream id from the player's request head ("GET /<id> HTTP/1.1"
// and its header lines). False for any other method, path or a head that
// holds no whole request line.
bool parse_relay_request(const char* head, size_t n, uint64_t* id);

// "HTTP/1.0 200 OK\r\n" (any other status: "502 Bad Gateway"), the content type when one is given
// (its control bytes dropped, at most 100 bytes of it), "Cache-Control:
// no-cache", "Connection: close" and the empty line. Returns the length,
// or -1 (out empty) when it does not fit.
int32_t format_relay_head(int32_t status, const char* content_type, char* out, size_t out_size);
