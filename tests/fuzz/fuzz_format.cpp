// Request lines, the stream URL and the info lines from arbitrary values:
// the input is split on '\n' into the values.
#include "tests/fuzz/fuzz_targets.h"

#include "base/utf.h"
#include "playback/channel_rules.h"
#include "service/protocol.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

void check_line(const char* line, size_t size, int32_t n) {
    FUZZ_CHECK(memchr(line, 0, size) != nullptr);
    if (n < 0) {
        FUZZ_CHECK(line[0] == 0);
        return;
    }
    FUZZ_CHECK(static_cast<size_t>(n) < size);
    FUZZ_CHECK(strncmp(line, "GET http://", 11) == 0);
    FUZZ_CHECK(n >= 2 && line[n - 2] == '\r' && line[n - 1] == '\n' && line[n] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> v(8);
    size_t k = 0;
    for (size_t i = 0; i < size && k < v.size(); ++i) {
        if (data[i] == '\n') ++k;
        else if (data[i] != 0) v[k].push_back(static_cast<char>(data[i]));
    }
    char line[request_line_size];
    check_line(line, sizeof line, format_version_request(line, sizeof line, v[0].c_str()));
    check_line(line, sizeof line, format_account_info_request(line, sizeof line, v[0].c_str(), v[1].c_str(), v[2].c_str()));
    check_line(line, sizeof line, format_keepsession_request(line, sizeof line, v[0].c_str(), v[1].c_str(), v[2].c_str(),
                                                            v[3].c_str(), v[4].c_str()));
    check_line(line, sizeof line, format_epg_request(line, sizeof line, v[0].c_str(), v[1].c_str(), v[2].c_str(),
                                                    v[5].c_str()));
    char small[40];
    check_line(small, sizeof small, format_shares_info_request(small, sizeof small, v[0].c_str(), v[1].c_str(), v[2].c_str()));

    char url[stream_url_size];
    bool fits = format_stream_url(url, sizeof url, v[6].c_str(), v[3].c_str(), v[5].c_str());
    FUZZ_CHECK(memchr(url, 0, sizeof url) != nullptr);
    FUZZ_CHECK(fits ? strncmp(url, "http://", 7) == 0 && strlen(url) <= 255 : url[0] == 0);
    for (size_t i = 0; fits && url[i] != 0; ++i)
        FUZZ_CHECK(static_cast<unsigned char>(url[i]) >= 0x20 && url[i] != 0x7f);

    char16_t title[255];
    utf8_to_utf16(v[7].c_str(), title, 255);
    char16_t info[1024];
    format_info_line(u"начало: ", title, info, 1024);
    FUZZ_CHECK(utf16_length(info) < 1024);
    char16_t tiny[5];
    format_info_line(u"следва: ", title, tiny, 5);
    FUZZ_CHECK(utf16_length(tiny) < 5);

    service_address address;
    if (parse_service_address(v[0].c_str(), &address)) {
        FUZZ_CHECK(address.port != 0);
        FUZZ_CHECK(strlen(address.host_name) > 0 && strlen(address.host_text) < sizeof address.host_text);
    }
    return 0;
}
