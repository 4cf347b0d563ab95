// Fuzz targets over every reader of what the network sends. Each checks
// properties, not only the absence of a crash: every string written is
// terminated inside its buffer, no value exceeds its limit, rows and columns
// follow the field count.
#pragma once

#include <cstddef>
#include <cstdint>

#define FUZZ_CHECK(condition)                                                          \
    do {                                                                               \
        if (!(condition)) fuzz_failed(#condition, __FILE__, __LINE__);                 \
    } while (0)

[[noreturn]] void fuzz_failed(const char* what, const char* file, int line);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
