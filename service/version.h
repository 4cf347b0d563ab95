// The protocol version check that starts the program.
#pragma once

#include <cstddef>
#include <cstdint>

// The service must answer the version request with exactly these four bytes.
constexpr char expected_version[] = "0.03";

// True when the response starts with "0.03" followed by a zero byte.
bool version_response_ok(const char* response);

// The message shown when the check fails: the fixed text, the download site,
// then a line break. Always terminated inside out.
void format_version_message(char* out, size_t out_size, const char* download_site);
