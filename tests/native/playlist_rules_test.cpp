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
                      resolve_case{"file:///etc/passwd", "file:///etc/passwd"},
                      resolve_case{"http://h/a/b/../c/./d", "http://h/a/c/d"},
                      resolve_case{"//g/./x/../y?z/../w", "http://g/y?z/../w"},
                      resolve_case{"///h/../p", "http:///p"}, resolve_case{"http://h", "http://h"},
                      resolve_case{"g:h", "g:h"}));

struct body_case {
    const char* content_type;
    std::string body;
    bool whole;
    body_kind expected;
};

void PrintTo(const body_case& c, std::ostream* os) {
    *os << (c.content_type != nullptr ? c.content_type : "(none)") << " \"" << c.body.substr(0, 24) << '"';
}

class JudgeBody : public ::testing::TestWithParam<body_case> {};

// As the player would take it: a playlist by its type or its first lines, a
// body its inflate filter would open, a manifest, or media.
TEST_P(JudgeBody, AsThePlayerWouldReadIt) {
    const body_case& c = GetParam();
    EXPECT_EQ(static_cast<int>(judge_body(c.content_type, c.body.data(), c.body.size(), c.whole)),
              static_cast<int>(c.expected));
}

const std::string long_text(body_judged_after, 'x');

INSTANTIATE_TEST_SUITE_P(
    PlaylistRules, JudgeBody,
    ::testing::Values(
        body_case{"application/vnd.apple.mpegurl", "", false, body_kind::playlist},
        body_case{"Application/X-MpegURL; charset=utf-8", "", false, body_kind::playlist},
        body_case{" video/x-mpegurl", "", false, body_kind::playlist},
        body_case{"application/mpegurl", "", false, body_kind::playlist},
        body_case{"video/MP2T", "#EXTM3U\n", true, body_kind::playlist},
        body_case{"", "\xEF\xBB\xBF#EXTM3U\n#EXT-X-VERSION:3\n", true, body_kind::playlist},
        body_case{"text/plain", "\r\n  \n\t#EXTM3U\n", true, body_kind::playlist},
        body_case{"text/plain", "#EXTINF:-1,news\nhttp://h/x\n", true, body_kind::playlist},
        body_case{"", "# a comment\n\nhttps://h/a.ts\n", true, body_kind::playlist},
        // A byte order mark and #EXTM3U split over short reads: not judged yet.
        body_case{"", "\xEF\xBB\xBF#EX", false, body_kind::undecided},
        body_case{"", "#", false, body_kind::undecided},
        body_case{"video/MP2T", std::string("\x47\x40\x00\x10", 4), false, body_kind::media},
        body_case{"audio/aac", "\xFF\xF1\x50\x80", false, body_kind::media},
        body_case{"", "WEBVTT\n\n00:00.000 --> 00:01.000\nhello\n", true, body_kind::media},
        body_case{"", "", true, body_kind::media},
        body_case{"", "k3y!Text-Like/16", true, body_kind::media},
        body_case{"application/octet-stream", "\xC3\x28 text with a bad sequence", false, body_kind::media},
        body_case{"text/plain", "\xD0\xBA\xD0\xB0\xD0\xBD\xD0\xB0\xD0\xBB: Bulgarian text, not a playlist", true,
                  body_kind::document},
        body_case{"application/octet-stream", "\x1F\x8B\x08\x00", false, body_kind::compressed},
        body_case{"application/octet-stream", "\x78\x9C\xCB\x48", false, body_kind::compressed},
        body_case{"video/MP2T", "\x78\x01", false, body_kind::compressed},
        body_case{"application/dash+xml", "", false, body_kind::document},
        body_case{"application/vnd.ms-sstr+xml", "", false, body_kind::document},
        body_case{"", "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\">", true,
                  body_kind::document},
        body_case{"", std::string("\xFF\xFE<\0S\0", 6), false, body_kind::document},
        body_case{"", "[playlist]\nFile1=http://h/s\n", true, body_kind::document},
        body_case{"", "v=0\r\no=- 0 0 IN IP4 10.0.0.1\r\n", true, body_kind::document},
        body_case{"", long_text, false, body_kind::document},
        body_case{nullptr, "#EXTM3", false, body_kind::undecided}));

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

// Every attribute that names an address, quoted or not, and a playlist
// that opens with a byte order mark: only the addresses change.
TEST(PlaylistRules, EveryAddressAttributeAndOnlyThoseAreRewritten) {
    std::string playlist = "\xEF\xBB\xBF#EXTM3U\n"
                           "#EXT-X-CONTENT-STEERING:SERVER-URI=\"https://steer.example/s.json\",PATHWAY-ID=\"a\"\n"
                           "#EXT-X-KEY:METHOD=AES-128,URI=http://keys.example/k,IV=0x1\n"
                           "#EXT-X-MAP:URI=init.mp4\n"
                           "#EXT-X-MEDIA:TYPE=AUDIO,NAME=\"a,URI=x\",uri=https://h/../audio.m3u8\n"
                           "#EXT-X-DATERANGE:ID=\"ad\",X-ASSET-URI=\"ad.m3u8\",X-ASSET-LIST=\"list.json\",X-COM=\"a\"\n"
                           "#EXTVLCOPT:input-slave=http://elsewhere/x\n"
                           "#EXTINF:4.0,title\n"
                           "  #EXT-X-PRELOAD-HINT:TYPE=PART,URI=\"p.mp4\"\n";
    std::map<uint64_t, std::string> seen;
    char out[4096];
    int64_t n = rewrite_playlist(playlist.data(), playlist.size(), "http://cdn.example/live/x.m3u8", 40000, record,
                                 &seen, out, sizeof out);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(out, static_cast<size_t>(n)),
              "\xEF\xBB\xBF#EXTM3U\n"
              "#EXT-X-CONTENT-STEERING:SERVER-URI=\"http://127.0.0.1:40000/0000000000000001\",PATHWAY-ID=\"a\"\n"
              "#EXT-X-KEY:METHOD=AES-128,URI=http://127.0.0.1:40000/0000000000000002,IV=0x1\n"
              "#EXT-X-MAP:URI=http://127.0.0.1:40000/0000000000000003\n"
              "#EXT-X-MEDIA:TYPE=AUDIO,NAME=\"a,URI=x\",uri=http://127.0.0.1:40000/0000000000000004\n"
              "#EXT-X-DATERANGE:ID=\"ad\",X-ASSET-URI=\"http://127.0.0.1:40000/0000000000000005\","
              "X-ASSET-LIST=\"http://127.0.0.1:40000/0000000000000006\",X-COM=\"a\"\n"
              "#EXTINF:4.0,title\n"
              "  #EXT-X-PRELOAD-HINT:TYPE=PART,URI=\"http://127.0.0.1:40000/0000000000000007\"\n");
    EXPECT_EQ(seen[1], "https://steer.example/s.json");
    EXPECT_EQ(seen[2], "http://keys.example/k");
    EXPECT_EQ(seen[3], "http://cdn.example/live/init.mp4");
    EXPECT_EQ(seen[4], "https://h/audio.m3u8");
    EXPECT_EQ(seen[5], "http://cdn.example/live/ad.m3u8");
    EXPECT_EQ(seen[6], "http://cdn.example/live/list.json");
    EXPECT_EQ(seen[7], "http://cdn.example/live/p.mp4");
}

}  // namespace
