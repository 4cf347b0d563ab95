// The keepsession response (the first 1024 bytes) and the seeder id.
#include "tests/fuzz/fuzz_targets.h"

#include "account/keepalive_rules.h"
#include "base/utf.h"

#include <cstring>
#include <vector>

namespace {

void credit(const char* text, size_t length, void*) {
    FUZZ_CHECK(length <= credit_bytes_shown);
    FUZZ_CHECK(utf8_whole_prefix(text, length) == length);
    FUZZ_CHECK(memchr(text, 0, length) == nullptr);
    FUZZ_CHECK(memchr(text, 1, length) == nullptr);
}

void refused(void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char response[1024];
    memset(response, 0, sizeof response);
    memcpy(response, data, size < sizeof response ? size : sizeof response);
    keepsession_actions actions = {credit, refused, nullptr};
    walk_keepsession_response(response, sizeof response, actions);

    // The same bytes as an account entry, read back for the seeder id.
    std::vector<char16_t> entry(size / 2 + 1, 0);
    memcpy(entry.data(), data, (size / 2) * 2);
    entry[size / 2] = 0;
    char seeder[128];
    seeder_id_from_entry(entry.data(), seeder, sizeof seeder);
    size_t n = strnlen(seeder, sizeof seeder);
    FUZZ_CHECK(n < sizeof seeder);
    FUZZ_CHECK(memchr(seeder, ' ', n) == nullptr);
    return 0;
}
