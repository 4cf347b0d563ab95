#include "relay/playlist_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

struct resolve_case {
    const char* ref;
    const char* expected;
};

void PrintTo(const resolve_case& c, std::ostream* os) { *os << '"' << c.ref << '"'; }

class ResolveAddress : public ::testing::TestWithParam<resolve_case> {};

// Against the base of the URI standard's examples, with http.
TEST_P(ResolveAddress, AsABrowserWould) {
    const resolve_case& c = GetParam();
    char out[256];
    ASSERT_TRUE(resolve_address("http://a/b/c/d;p?q", c.ref, strlen(c.ref), out, sizeof out)) << c.ref;
    EXPECT_STREQ(out, c.expected) << c.ref;
}

INSTANTIATE_TEST_SUITE_P(
    PlaylistRules, ResolveAddress,
    ::testing::Values(resolve_case{"g", "http://a/b/c/g"}, resolve_case{"./g", "http://a/b/c/g"},
                      resolve_case{"g/", "http://a/b/c/g/"}, resolve_case{"/g", "http://a/g"},
                      resolve_case{"//g", "http://g"}, resolve_case{"?y", "http://a/b/c/d;p?y"},
                      resolve_case{"g?y", "http://a/b/c/g?y"}, resolve_case{"g#s", "http://a/b/c/g"},
                      resolve_case{"", "http://a/b/c/d;p?q"}, resolve_case{".", "http://a/b/c/"},
                      resolve_case{"..", "http://a/b/"}, resolve_case{"../g", "http://a/b/g"},
                      resolve_case{"../../../g", "http://a/g"}, resolve_case{"/./g", "http://a/g"},
                      resolve_case{"g/../h", "http://a/b/c/h"}, resolve_case{"g;x=1/../y", "http://a/b/c/y"},
                      resolve_case{"https://cdn/x.ts", "https://cdn/x.ts"},
                      resolve_case{"file:///etc/passwd", "file:///etc/passwd"}));

TEST(PlaylistRules, APlaylistIsKnownByItsTypeOrItsFirstLine) {
    EXPECT_TRUE(is_playlist("application/vnd.apple.mpegurl", "", 0));
    EXPECT_TRUE(is_playlist("Application/X-MpegURL; charset=utf-8", "", 0));
    EXPECT_TRUE(is_playlist("audio/mpegurl", "", 0));
    EXPECT_TRUE(is_playlist("video/MP2T", "#EXTM3U\n", 8));
    EXPECT_TRUE(is_playlist("", "\xEF\xBB\xBF#EXTM3U", 10));
    EXPECT_FALSE(is_playlist("video/MP2T", "\x47\x40\x00\x10", 4));
    EXPECT_FALSE(is_playlist("text/plain", "#EXTM3", 6));
    EXPECT_FALSE(is_playlist(nullptr, "", 0));
}

// Hands out ids in order and remembers what it was given; http and https only.
uint64_t record(const char* absolute, void* context) {
    auto* seen = static_cast<std::map<uint64_t, std::string>*>(context);
    std::string a = absolute;
    if (a.rfind("http://", 0) != 0 && a.rfind("https://", 0) != 0) return 0;
    uint64_t id = seen->size() + 1;
    (*seen)[id] = a;
    return id;
}

TEST(PlaylistRules, EveryAddressOfAPlaylistBecomesARelayAddress) {
    std::string master = "#EXTM3U\r\n"
                         "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"bg\",URI=\"audio/bg.m3u8\"\r\n"
                         "#EXT-X-STREAM-INF:BANDWIDTH=1200000,AUDIO=\"a\"\r\n"
                         "  low/index.m3u8  \r\n"
                         "#EXT-X-I-FRAME-STREAM-INF:BANDWIDTH=9,URI=\"/iframes.m3u8\"\r\n"
                         "#EXT-X-KEY:METHOD=AES-128,URI=\"https://keys.example/k?id=1\",IV=0x1\r\n"
                         "#EXT-X-MAP:URI=\"file:///etc/passwd\"\r\n"
                         "#EXT-X-SESSION-DATA:DATA-ID=\"x\",URI=\"unterminated\r\n"
                         "\r\n"
                         "http://other:8081/seg1.ts\n"
                         "seg2.ts";
    std::map<uint64_t, std::string> seen;
    char out[4096];
    int64_t n = rewrite_playlist(master.data(), master.size(), "http://cdn.example/live/master.m3u8?t=1", 40000,
                                 record, &seen, out, sizeof out);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(out, static_cast<size_t>(n)),
              "#EXTM3U\n"
              "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"bg\",URI=\"http://127.0.0.1:40000/0000000000000001\"\n"
              "#EXT-X-STREAM-INF:BANDWIDTH=1200000,AUDIO=\"a\"\n"
              "http://127.0.0.1:40000/0000000000000002\n"
              "#EXT-X-I-FRAME-STREAM-INF:BANDWIDTH=9,URI=\"http://127.0.0.1:40000/0000000000000003\"\n"
              "#EXT-X-KEY:METHOD=AES-128,URI=\"http://127.0.0.1:40000/0000000000000004\",IV=0x1\n"
              "#EXT-X-MAP:URI=\"http://127.0.0.1:40000/0000000000000000\"\n"
              "\n"
              "http://127.0.0.1:40000/0000000000000005\n"
              "http://127.0.0.1:40000/0000000000000006\n");
    EXPECT_EQ(seen[1], "http://cdn.example/live/audio/bg.m3u8");
    EXPECT_EQ(seen[2], "http://cdn.example/live/low/index.m3u8");
    EXPECT_EQ(seen[3], "http://cdn.example/iframes.m3u8");
    EXPECT_EQ(seen[4], "https://keys.example/k?id=1");
    EXPECT_EQ(seen[5], "http://other:8081/seg1.ts");
    EXPECT_EQ(seen[6], "http://cdn.example/live/seg2.ts");
    // No room: nothing half-written is passed on.
    EXPECT_EQ(rewrite_playlist(master.data(), master.size(), "http://cdn.example/m.m3u8", 40000, record, &seen, out,
                               100),
              -1);
}

}  // namespace
