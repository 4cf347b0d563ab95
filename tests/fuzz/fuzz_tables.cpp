// The channelslist and epg responses split into rows and cells.
#include "tests/fuzz/fuzz_targets.h"

#include "playback/channel_rules.h"

#include <cstring>
#include <vector>

namespace {

struct seen {
    size_t fields = 0;
    int32_t max_row = -1;
};

void take_channel(const char* field, size_t length, size_t k, void* context) {
    seen* s = static_cast<seen*>(context);
    FUZZ_CHECK(k == s->fields);
    FUZZ_CHECK(length > 0);
    FUZZ_CHECK(memchr(field, 1, length) == nullptr && memchr(field, 0, length) == nullptr);
    cell_place p = channel_cell_for_field(k);
    FUZZ_CHECK(p.row == static_cast<int32_t>(k / 5));
    FUZZ_CHECK(p.column >= 1 && p.column <= 5);
    cell_place e = epg_cell_for_field(k);
    FUZZ_CHECK(e.row == static_cast<int32_t>(k / 4) && e.column == static_cast<int32_t>(k % 4));
    s->fields += 1;
    if (p.row > s->max_row) s->max_row = p.row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> response(32000, 0);
    memcpy(response.data(), data, size < response.size() ? size : response.size());
    seen s;
    size_t n = split_fields(response.data(), response.size(), take_channel, &s);
    FUZZ_CHECK(n == s.fields);
    FUZZ_CHECK(last_complete_channel(n) == static_cast<int32_t>(n / 5) - 1);
    FUZZ_CHECK(s.max_row == (n == 0 ? -1 : static_cast<int32_t>((n - 1) / 5)));
    // The response buffer without a terminator inside: the split stops at its end.
    FUZZ_CHECK(split_fields(reinterpret_cast<const char*>(data), size, nullptr, nullptr) <= size);
    char number[16];
    format_row_number(static_cast<int32_t>(n), number, sizeof number);
    FUZZ_CHECK(strlen(number) >= 3);
    return 0;
}
