// The login and shares responses: UTF-8 bytes converted and walked.
#include "tests/fuzz/fuzz_targets.h"

#include "account/login_walk.h"
#include "base/utf.h"

#include <cstring>
#include <vector>

namespace {

bool terminated(const char16_t* text, size_t units) {
    for (size_t i = 0; i < units; ++i)
        if (text[i] == 0) return true;
    return false;
}

void check_entry(const char16_t* entry, void*) {
    FUZZ_CHECK(terminated(entry, shared_entry_units));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The response as the exchange leaves it: at most 32000 bytes, zeros after.
    std::vector<char> response(32000, 0);
    memcpy(response.data(), data, size < response.size() ? size : response.size());
    std::vector<char16_t> wide(32000, 0);
    utf8n_to_utf16(response.data(), response.size(), wide.data(), wide.size());
    FUZZ_CHECK(terminated(wide.data(), wide.size()));

    login_account account;
    memset(&account, 0, sizeof account);
    walk_login_response(wide.data(), &account);
    FUZZ_CHECK(terminated(account.uid, account_text_units));
    FUZZ_CHECK(terminated(account.first_name, account_text_units));
    FUZZ_CHECK(terminated(account.last_name, account_text_units));
    FUZZ_CHECK(terminated(account.credit, account_text_units));
    FUZZ_CHECK(memchr(account.session_id, 0, session_id_size) != nullptr);
    FUZZ_CHECK(utf8_whole_prefix(account.session_id, strlen(account.session_id)) == strlen(account.session_id));

    char16_t entry[account_entry_units];
    format_account_entry(account, entry, account_entry_units);
    FUZZ_CHECK(terminated(entry, account_entry_units));

    walk_shares_response(wide.data(), check_entry, nullptr);
    return 0;
}
