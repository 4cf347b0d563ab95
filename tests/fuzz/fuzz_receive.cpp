// The receive rule over an arbitrary sequence of receives: the input is
// read as (length byte, bytes) pairs; a length of 255 stands for an error.
#include "tests/fuzz/fuzz_targets.h"

#include "service/protocol.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static receive_state state;
    receive_begin(&state);
    size_t at = 0;
    bool more = true;
    uint32_t expected_total = 0;
    while (more && at < size) {
        uint8_t length_byte = data[at++];
        int32_t n = length_byte == 255 ? -1 : length_byte * 4;
        if (n > static_cast<int32_t>(receive_chunk_size)) n = receive_chunk_size;  // one receive at most
        std::vector<char> chunk(receive_chunk_size, 0);
        if (n > 0) {
            size_t take = static_cast<size_t>(n) < size - at ? static_cast<size_t>(n) : size - at;
            memcpy(chunk.data(), data + at, take);
            at += take;
        }
        uint32_t before = state.total;
        more = receive_take(&state, chunk.data(), n);
        if (n > 0) expected_total = before + static_cast<uint32_t>(n);
        else expected_total = before;
        FUZZ_CHECK(state.total == expected_total);
        FUZZ_CHECK(state.total <= accumulation_size);
        if (more) {
            FUZZ_CHECK(n >= 2 && chunk[n - 1] != 0 && chunk[n - 2] != 0);
            FUZZ_CHECK(state.total <= response_size);
        }
    }
    std::vector<char> out(response_size + 8, '\x7f');
    receive_copy_out(&state, out.data(), keepsession_response_size);
    FUZZ_CHECK(out[keepsession_response_size] == '\x7f');
    receive_copy_out(&state, out.data(), response_size);
    FUZZ_CHECK(out[response_size] == '\x7f');
    for (uint32_t i = state.total; i < response_size; ++i) FUZZ_CHECK(out[i] == 0);
    return 0;
}
