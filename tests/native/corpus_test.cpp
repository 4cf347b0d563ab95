// The relay's address rules over public corpora (tests/corpus): the
// resolution examples of RFC 3986, and the sample playlists of a
// well-known HLS parser, each also with CRLF endings and a byte order mark.
#include "relay/playlist_rules.h"
#include "relay/relay_rules.h"
#include "tests/hls_attributes.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string corpus = std::string(TVCLIENT_SOURCE_DIR) + "/tests/corpus/";
const std::string relay_prefix = "http://127.0.0.1:40000/";

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

TEST(Corpus, Rfc3986ResolutionExamples) {
    std::vector<std::string> lines = lines_of(read_all(corpus + "rfc3986-resolution.txt"));
    int32_t cases = 0, fragments = 0;
    for (const std::string& line : lines) {
        if (line.empty() || line.rfind("# ", 0) == 0) continue;
        size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        std::string ref = line.substr(0, tab);
        std::string expected = line.substr(tab + 1);
        // A fragment is never sent to a host: the relay drops it.
        if (expected.find('#') != std::string::npos) {
            expected.resize(expected.find('#'));
            ++fragments;
        }
        char out[512];
        EXPECT_TRUE(resolve_address("http://a/b/c/d;p?q", ref.data(), ref.size(), out, sizeof out)) << ref;
        EXPECT_EQ(std::string(out), expected) << '"' << ref << '"';
        ++cases;
    }
    EXPECT_EQ(cases, 42);
    EXPECT_EQ(fragments, 6);
}

std::string unescaped(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(field.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// What a host makes of an address in any case: the scheme and host
// without case, no default port, "/" for an empty path, and every byte
// percent-decoded (the user information too: the relay sends it decoded,
// as Basic authorization).
std::string as_a_host_reads_it(const std::string& address) {
    size_t scheme = address.find("://");
    if (scheme == std::string::npos) return address;
    size_t path = address.find_first_of("/?", scheme + 3);
    if (path == std::string::npos) path = address.size();
    std::string authority = lowered(address.substr(0, path));
    for (const char* port : {":80", ":443"})
        if (authority.size() > strlen(port) && authority.compare(authority.size() - strlen(port), strlen(port), port) == 0)
            authority.resize(authority.size() - strlen(port));
    std::string rest = authority.substr(0, scheme + 3);
    authority = authority.substr(scheme + 3);
    rest += authority + (path == address.size() || address[path] == '?' ? "/" : "") + address.substr(path);
    std::string decoded;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
            isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
            decoded += static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += rest[i];
        }
    }
    return decoded;
}

// The URL parsing tests of web-platform-tests whose base is an http or
// https address. Browsers parse by the WHATWG URL standard, not RFC 3986:
// where the two part, the case is counted in its class, never failed;
// a case no class explains fails.
TEST(Corpus, WebPlatformUrlTests) {
    std::vector<std::string> lines = lines_of(read_all(corpus + "wpt-url/http-cases.txt"));
    std::map<std::string, int32_t> classes;
    for (const std::string& line : lines) {
        size_t a = line.find('\t'), b = line.find('\t', a + 1);
        ASSERT_NE(b, std::string::npos) << line;
        std::string base = unescaped(line.substr(0, a)), input = unescaped(line.substr(a + 1, b - a - 1));
        std::string expected = line.substr(b + 1);
        char out[4096];
        bool resolved = resolve_address(base.c_str(), input.data(), input.size(), out, sizeof out);
        std::string ours = resolved ? out : "";
        http_address taken;
        bool relayed = resolved && parse_http_address(ours.c_str(), &taken);
        std::string why;
        bool blanks = input.find_first_of("\t\n\r") != std::string::npos ||
                      (!input.empty() && (static_cast<unsigned char>(input[0]) <= 0x20 ||
                                          static_cast<unsigned char>(input.back()) <= 0x20));
        bool high_bytes = false;
        for (char c : input) high_bytes = high_bytes || static_cast<unsigned char>(c) >= 0x80;
        if (expected == "failure") {
            why = relayed ? "browsers refuse it; RFC 3986 resolves it and the relay asks for it"
                          : "refused by browsers and by the relay";
        } else {
            expected = unescaped(expected);
            if (expected.find('#') != std::string::npos) expected.resize(expected.find('#'));
            if (ours == expected) why = "the same";
            else if (resolved && as_a_host_reads_it(ours) == as_a_host_reads_it(expected))
                why = "the same once the host reads it (case, default port, percent-encoding, empty path)";
            else if (input.find('\\') != std::string::npos) why = "browser quirk: a backslash taken as a slash";
            else if (blanks) why = "browser quirk: blanks and control bytes removed";
            else if (lowered(input).rfind("http:", 0) == 0 && input.compare(5, 2, "//") != 0)
                why = "browser quirk: \"http:path\" taken as relative (RFC 3986 reads it strictly)";
            else if (high_bytes) why = "browser quirk: a host or path in Unicode (IDNA, encoding)";
            else if (input.find('[') != std::string::npos)
                why = "an IPv6 address written otherwise (the same address to the system)";
            else if (relayed && strspn(taken.host, "0123456789.xXabcdefABCDEF") == strlen(taken.host))
                why = "browser quirk: an IPv4 address written as numbers (the system's lookup reads most alike)";
            else if (!relayed) why = "the relay refuses an address browsers rewrite (a host it does not take)";
            else ADD_FAILURE() << "unexplained: base " << base << " input \"" << input << "\" ours " << ours
                               << " expected " << expected;
        }
        ++classes[why];
    }
    int32_t total = 0;
    for (const auto& c : classes) {
        printf("[ corpus   ] %4d  %s\n", c.second, c.first.c_str());
        total += c.second;
    }
    EXPECT_EQ(total, 199);
}

// Records what the rewriter registers; http and https only.
uint64_t record(const char* absolute, void* context) {
    auto* seen = static_cast<std::vector<std::string>*>(context);
    std::string a = absolute;
    if (a.rfind("http://", 0) != 0 && a.rfind("https://", 0) != 0) return 0;
    seen->push_back(a);
    return seen->size();
}

// The playlist rewritten names no address but the relay's; each address it
// registered is absolute, http or https, with no dot segments; every line
// without an address is unchanged.
void check_playlist(const std::string& name, const std::string& body, const std::string& base) {
    std::vector<std::string> seen;
    std::vector<char> out(body.size() * 4 + 4096);
    int64_t n = rewrite_playlist(body.data(), body.size(), base.c_str(), 40000, record, &seen, out.data(), out.size());
    ASSERT_GE(n, 0) << name;
    std::vector<std::string> in_lines = lines_of(body);
    std::vector<std::string> out_lines = lines_of(std::string(out.data(), static_cast<size_t>(n)));
    ASSERT_EQ(in_lines.size(), out_lines.size()) << name;
    for (size_t i = 0; i < in_lines.size(); ++i) {
        std::string in = in_lines[i], got = out_lines[i];
        if (i == 0 && in.rfind("\xEF\xBB\xBF", 0) == 0) {
            EXPECT_EQ(got.rfind("\xEF\xBB\xBF", 0), 0u) << name;
            in = in.substr(3);
            got = got.substr(3);
        }
        size_t first = in.find_first_not_of(" \t");
        if (first == std::string::npos) {
            EXPECT_EQ(got, in) << name << ':' << i + 1;
        } else if (in[first] != '#') {
            EXPECT_EQ(got.rfind(relay_prefix, 0), 0u) << name << ':' << i + 1 << ' ' << got;
        } else {
            std::vector<tag_attribute> before = tag_attributes(in), after = tag_attributes(got);
            ASSERT_EQ(before.size(), after.size()) << name << ':' << i + 1;
            bool changed = false;
            for (size_t a = 0; a < after.size(); ++a) {
                EXPECT_EQ(after[a].name, before[a].name) << name << ':' << i + 1;
                if (names_an_address(after[a].name)) {
                    EXPECT_EQ(value_text(after[a].value).rfind(relay_prefix, 0), 0u) << name << ':' << i + 1 << ' ' << got;
                    changed = true;
                } else {
                    EXPECT_EQ(after[a].value, before[a].value) << name << ':' << i + 1;
                }
            }
            if (!changed) {
                EXPECT_EQ(got, in) << name << ':' << i + 1;
            }
        }
    }
    for (const std::string& a : seen) {
        EXPECT_EQ(a.find("/./"), std::string::npos) << name << ' ' << a;
        EXPECT_EQ(a.find("/../"), std::string::npos) << name << ' ' << a;
        EXPECT_EQ(a.find('#'), std::string::npos) << name << ' ' << a;
    }
}

std::string with_crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n' && (out.empty() || out.back() != '\r')) out += '\r';
        out += c;
    }
    return out;
}

TEST(Corpus, HlsParserSamplePlaylists) {
    std::string folder = corpus + "hls-grafov-m3u8/";
    DIR* dir = opendir(folder.c_str());
    ASSERT_NE(dir, nullptr) << folder;
    int32_t playlists = 0;
    for (dirent* e = readdir(dir); e != nullptr; e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() < 5 || name.compare(name.size() - 5, 5, ".m3u8") != 0) continue;
        std::string body = read_all(folder + name);
        // Served as a playlist, it is rewritten; served as anything else,
        // never passed on raw (a playlist with comments above its header
        // is no playlist to the player: the relay refuses it).
        EXPECT_EQ(judge_body("application/vnd.apple.mpegurl", body.data(), body.size(), true), body_kind::playlist);
        body_kind untyped = judge_body("application/octet-stream", body.data(), body.size(), true);
        EXPECT_TRUE(untyped == body_kind::playlist || untyped == body_kind::document) << name;
        if (body.rfind("#EXTM3U", 0) == 0) {
            EXPECT_EQ(untyped, body_kind::playlist) << name;
        }
        for (const char* base : {"http://cdn.example/live/a/index.m3u8?token=1", "https://cdn.example:8443/x"}) {
            check_playlist(name, body, base);
            check_playlist(name + " (CRLF)", with_crlf(body), base);
            check_playlist(name + " (byte order mark)", "\xEF\xBB\xBF" + body, base);
        }
        ++playlists;
    }
    closedir(dir);
    EXPECT_EQ(playlists, 25);
}

}  // namespace
