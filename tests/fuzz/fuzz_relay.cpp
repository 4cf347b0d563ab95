// The stream relay's readers of what a stream host sends: the answer's head,
// a chunked body, the head passed on to the player, the address of a
// redirect and a playlist to rewrite. The input is a base address, a
// redirect target and a host's answer, split on the first two '\n'.
#include "tests/fuzz/fuzz_targets.h"

#include "relay/playlist_rules.h"
#include "relay/relay_rules.h"
#include "tests/hls_attributes.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

uint64_t count_ids(const char* absolute, void* context) {
    FUZZ_CHECK(strchr(absolute, ':') != nullptr && strlen(absolute) < longest_target);
    uint64_t* n = static_cast<uint64_t*>(context);
    return ++*n;
}

// No byte the player must not see: no control byte but the line ends, and
// nothing but a relay address in front of a line that is not a tag.
void check_head(const char* head, int32_t n, size_t size) {
    if (n < 0) {
        FUZZ_CHECK(head[0] == 0);
        return;
    }
    FUZZ_CHECK(static_cast<size_t>(n) < size && head[n] == 0 && strlen(head) == static_cast<size_t>(n));
    FUZZ_CHECK(strncmp(head, "HTTP/1.0 ", 9) == 0);
    FUZZ_CHECK(n >= 4 && memcmp(head + n - 4, "\r\n\r\n", 4) == 0);
    for (int32_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(head[i]);
        FUZZ_CHECK(c >= 0x20 || c == '\t' || (c == '\r' && head[i + 1] == '\n') || (c == '\n' && head[i - 1] == '\r'));
    }
    std::string h(head);
    FUZZ_CHECK(h.find("\nLocation") == std::string::npos && h.find("\nSet-Cookie") == std::string::npos);
}

// In a tag, every attribute that names an address (URI, *-URI,
// X-ASSET-LIST, without case), quoted or not, holds a relay address.
void check_tag_addresses(const std::string& line) {
    for (const tag_attribute& a : tag_attributes(line)) {
        if (!names_an_address(a.name)) continue;
        FUZZ_CHECK(!a.unclosed);
        FUZZ_CHECK(value_text(a.value).rfind("http://127.0.0.1:40000/", 0) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string in(reinterpret_cast<const char*>(data), size);
    size_t first = in.find('\n');
    size_t second = first == std::string::npos ? std::string::npos : in.find('\n', first + 1);
    std::string base = first == std::string::npos ? in : in.substr(0, first);
    std::string ref = second == std::string::npos ? std::string() : in.substr(first + 1, second - first - 1);
    std::string answer = second == std::string::npos ? std::string() : in.substr(second + 1);

    http_address to;
    if (parse_http_address(base.c_str(), &to)) {
        FUZZ_CHECK(to.host[0] != 0 && to.target[0] == '/' && to.port != 0);
        for (const char* t = to.target; *t != 0; ++t)
            FUZZ_CHECK(static_cast<unsigned char>(*t) > 0x20 && static_cast<unsigned char>(*t) < 0x7f);
        char request[2048];
        int32_t n = format_host_request(to, answer.data(), answer.size(), request, sizeof request);
        if (n >= 0) {
            FUZZ_CHECK(static_cast<size_t>(n) < sizeof request && request[n] == 0);
            std::string r(request, static_cast<size_t>(n));
            FUZZ_CHECK(r.size() >= 21 && r.compare(r.size() - 21, 21, "Connection: close\r\n\r\n") == 0);
            FUZZ_CHECK(r.find("\r\n\r\n") == r.size() - 4);
        }
    }

    char resolved[longest_target];
    if (resolve_address(base.c_str(), ref.data(), ref.size(), resolved, sizeof resolved))
        FUZZ_CHECK(strlen(resolved) < sizeof resolved);
    else
        FUZZ_CHECK(resolved[0] == 0);

    host_answer parsed;
    if (parse_host_answer(answer.data(), answer.size(), &parsed)) {
        FUZZ_CHECK(parsed.head_length <= answer.size());
        FUZZ_CHECK(strlen(parsed.location) < sizeof parsed.location);
        char head[1024];
        int32_t n = format_player_head(parsed.status, answer.data(), parsed.head_length, -1, head, sizeof head);
        check_head(head, n, sizeof head);
        std::string body = answer.substr(parsed.head_length);
        chunk_reader r;
        chunk_begin(&r);
        bool finished = false;
        int64_t decoded = chunk_take(&r, &body[0], body.size(), &finished);
        FUZZ_CHECK(decoded <= static_cast<int64_t>(body.size()));
    }

    std::vector<char> out(answer.size() * 4 + 64);
    uint64_t ids = 0;
    int64_t n = rewrite_playlist(answer.data(), answer.size(), base.c_str(), 40000, count_ids, &ids, out.data(),
                                 out.size());
    if (n >= 0) {
        FUZZ_CHECK(static_cast<size_t>(n) < out.size() && out[static_cast<size_t>(n)] == 0);
        // Every line that is not a tag or empty is a relay address.
        std::string text(out.data(), static_cast<size_t>(n));
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            FUZZ_CHECK(end != std::string::npos);
            std::string line = text.substr(at, end - at);
            if (line.rfind("\xEF\xBB\xBF", 0) == 0 && at == 0) line = line.substr(3);
            size_t first = line.find_first_not_of(" \t");
            if (first != std::string::npos && line[first] != '#')
                FUZZ_CHECK(line.rfind("http://127.0.0.1:40000/", 0) == 0);
            else if (first != std::string::npos)
                check_tag_addresses(line);
            at = end + 1;
        }
    }
    return 0;
}
