// The stream relay: the player reads every stream through it, so a stream
// host cannot move the player to a local file, and it takes few connections.
#include "tests/win32/prelude.h"

namespace {

// A connection to the relay at this address ("http://127.0.0.1:<port>/...").
SOCKET connect_to_relay(const char* address) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(atoi(strrchr(address, ':') + 1)));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
    return s;
}

// Whether the relay closed the connection within the time.
bool closed_within(SOCKET s, uint32_t ms) {
    char c;
    return wait_socket_ms(s, false, ms) && recv(s, &c, 1, 0) <= 0;
}

// What the relay answers a request for its address: the head, and the
// start of the body.
std::string fetch_from_relay(const char* address) {
    SOCKET s = connect_to_relay(address);
    std::string request = std::string("GET ") + strchr(address + 7, '/') + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                          "User-Agent: relay test\r\n\r\n";
    send_all(s, request.data(), static_cast<int32_t>(request.size()));
    std::string answer;
    char piece[4096];
    int got;
    while (answer.size() < 65536 && wait_socket_ms(s, false, 5000) && (got = recv(s, piece, sizeof piece, 0)) > 0)
        answer.append(piece, static_cast<size_t>(got));
    closesocket(s);
    return answer;
}

// Whether the video window shows a moving picture within the time.
bool picture_moves(uint32_t timeout_ms) {
    RECT video;
    GetWindowRect(video_window, &video);
    DWORD until = GetTickCount() + timeout_ms;
    screen_sample before = sample_screen(video);
    while (GetTickCount() < until) {
        pump(1000);
        screen_sample now = sample_screen(video);
        if (now.mean > 0.05 && before.mean > 0.05 && now.digest != before.digest) return true;
        before = now;
    }
    return false;
}

// A stream host that misbehaves.
class StreamRelay : public Watching {
protected:
    void TearDown() override {
        standin_faults("");
        relay_http_through_winhttp(false);
        relay_slow_name_lookups(0);
    }
    // Waits for the stream of the channel id that the stand-in moved to itself.
    bool moved_stream_requested(size_t mark, const std::string& id) {
        return !wait_for_log(mark, "&channelid=" + id + "&moved=1 HTTP/1.", 8000).empty();
    }
};

TEST_F(StreamRelay, AStreamMovedToALocalFileIsNeverOpened) {
    // A clip that would play at once if the player opened it.
    std::string clip = scratch_file("local.ts");
    ASSERT_EQ(host_command("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x180:rate=25 -t 30 "
                           "-c:v mpeg2video -f mpegts " + clip),
              0);
    standin_faults("stream=redirect:file://" + clip);
    size_t mark = standin_log().size();
    select_next_channel();
    std::string id = cell_text(IDC_CHANNEL_LIST, playing_channel, 4);
    ASSERT_FALSE(wait_for_log(mark, stream_of(id), 5000).empty());
    EXPECT_LT(tenths_playing_within(6000), 3) << "the player read the local file";
    // Like any stream that does not start: the watchdog asks again.
    size_t before = count_log(mark, stream_of(id));
    stall_ticks.store(5);
    watchdog_tick();
    DWORD until = GetTickCount() + 5000;
    while (count_log(mark, stream_of(id)) == before && GetTickCount() < until) pump(50);
    EXPECT_GT(count_log(mark, stream_of(id)), before);
    EXPECT_LT(tenths_playing_within(3000), 3);
    host_command("rm -f " + clip);

    // Moved to another http address, the stream plays as before.
    standin_faults("stream=redirect");
    mark = standin_log().size();
    stall_ticks.store(5);
    watchdog_tick();
    EXPECT_TRUE(moved_stream_requested(mark, id));
    EXPECT_TRUE(time_advances(15000));
}

// The host gets the address's bytes as they stand: the session id in UTF-8,
// the channel id in the ANSI code page, a blank; only the bytes a request
// line cannot carry raw are encoded, byte for byte.
TEST_F(StreamRelay, TheHostGetsTheAddressBytesUnchanged) {
    std::string url = "http://" + standin_address() + "/live?ch=\xD0\xB9 1&sid=\xD0\xB9 x&channelid=\xE9";
    char address[64];
    ASSERT_TRUE(relay_address_for(url.c_str(), address, sizeof address));
    size_t mark = standin_log().size();
    EXPECT_EQ(fetch_from_relay(address).rfind("HTTP/1.0 502", 0), 0u) << "the stand-in knows no such session";
    EXPECT_FALSE(wait_for_log(mark, "GET /live?ch=%D0%B9%201&sid=%D0%B9%20x&channelid=%E9 HTTP/1.1", 3000).empty());
    // The player's own request reaches the host: its agent, not the relay's.
    EXPECT_FALSE(wait_for_log(mark, "USER-AGENT relay test", 3000).empty());
}

TEST_F(StreamRelay, TheHostSeesThePlayerLibrarysOwnAgent) {
    size_t mark = standin_log().size();
    select_next_channel();
    std::string agent = wait_for_log(mark, "USER-AGENT ", 5000);
    EXPECT_NE(agent.find("LibVLC/3.0"), std::string::npos) << agent;
    EXPECT_TRUE(time_advances(15000));
}

// Quick zapping, with a host that streams and with one that stalls: the
// relay ends the previous channel's request before the next goes out, so a
// session never holds two streams at once.
void zap_and_expect_one_stream_at_a_time(std::initializer_list<const char*> host_faults) {
    for (const char* faults : host_faults) {
        standin_faults(faults);
        size_t mark = standin_log().size();
        // Between the first two rows, which carry no lock.
        for (int32_t i = 0; i < 20; ++i) {
            if (i % 2 == 0) select_next_channel();
            else select_previous_channel();
            pump(i % 4 < 2 ? 60 : 400);
        }
        stop_playback();
        pump(500);
        std::string sid = std::string("sid=") + account.session_id + " ";
        EXPECT_GE(count_log(mark, "STREAM OPEN " + sid), 15u) << faults;
        std::string around;
        std::vector<std::string> all = standin_log();
        for (size_t i = mark; i < all.size(); ++i)
            if (all[i].find("open=2") != std::string::npos)
                for (size_t j = i > mark + 12 ? i - 12 : mark; j < i + 3 && j < all.size(); ++j) around += all[j] + "\n";
        EXPECT_EQ(count_log(mark, "STREAM OPEN " + sid + "open=2"), 0u) << faults << "\n" << around;
        // Stopped, the session holds no stream.
        std::string last;
        std::vector<std::string> log = standin_log();
        for (size_t i = mark; i < log.size(); ++i)
            if (log[i].rfind("STREAM ", 0) == 0 && log[i].find(sid) != std::string::npos) last = log[i];
        EXPECT_NE(last.find("STREAM CLOSED " + sid + "open=0"), std::string::npos) << faults << last;
    }
}

TEST_F(StreamRelay, ASessionNeverHoldsTwoStreamsAtOnce) {
    zap_and_expect_one_stream_at_a_time({"", "stream=stall:1"});
    // Earlier streams' addresses are retired.
    char first[64];
    char second[64];
    ASSERT_TRUE(relay_address_for(("http://" + standin_address() + "/live?ch=1").c_str(), first, sizeof first));
    ASSERT_TRUE(relay_address_for(("http://" + standin_address() + "/live?ch=2").c_str(), second, sizeof second));
    EXPECT_EQ(fetch_from_relay(first).rfind("HTTP/1.0 404", 0), 0u);
}

// Connections that drip their request hold no place for long: a channel
// started after sixteen of them plays.
TEST_F(StreamRelay, ARequestThatNeverEndsHoldsNoPlace) {
    char address[64];
    ASSERT_TRUE(relay_address_for("http://127.0.0.1:9/nothing", address, sizeof address));
    std::vector<SOCKET> held;
    for (int32_t i = 0; i < 16; ++i) {
        held.push_back(connect_to_relay(address));
        send_all(held.back(), "G", 1);
    }
    DWORD began = GetTickCount();
    for (SOCKET s : held) EXPECT_TRUE(closed_within(s, 4000));
    EXPECT_LT(GetTickCount() - began, 3500u);
    for (SOCKET s : held) closesocket(s);
    select_next_channel();
    EXPECT_TRUE(time_advances(15000));
}

// A slow name server holds no place past a channel change: each lookup
// ends with its request, and the next channel plays at once.
TEST_F(StreamRelay, ASlowNameLookupEndsWithItsRequest) {
    relay_slow_name_lookups(60000);
    char address[64];
    ASSERT_TRUE(relay_address_for("http://slow.name.example:9/live", address, sizeof address));
    std::vector<SOCKET> held;
    for (int32_t i = 0; i < 16; ++i) {
        held.push_back(connect_to_relay(address));
        std::string request = std::string("GET ") + strchr(address + 7, '/') + " HTTP/1.1\r\n\r\n";
        send_all(held.back(), request.data(), static_cast<int32_t>(request.size()));
    }
    pump(500);
    DWORD began = GetTickCount();
    char next[64];
    ASSERT_TRUE(relay_address_for("http://127.0.0.1:9/next", next, sizeof next));
    for (SOCKET s : held) {
        // The request's answer (a bad gateway), then the connection's end.
        char piece[512];
        int got = 1;
        while (got > 0 && GetTickCount() - began < 3000 && wait_socket_ms(s, false, 3000))
            got = recv(s, piece, sizeof piece, 0);
        EXPECT_LE(got, 0) << "still open";
    }
    EXPECT_LT(GetTickCount() - began, 3000u);
    for (SOCKET s : held) closesocket(s);
    relay_slow_name_lookups(0);
    select_next_channel();
    EXPECT_TRUE(time_advances(15000));
}

// A channel that cannot get a relay address does not start, and never
// plays the channel before under its name; the watchdog asks again.
TEST_F(StreamRelay, AChannelWithoutARelayDoesNotPlayTheOneBefore) {
    relay_refuse_start(true);
    size_t mark = standin_log().size();
    select_next_channel();
    std::string id = cell_text(IDC_CHANNEL_LIST, playing_channel, 4);
    EXPECT_LT(tenths_playing_within(3000), 2);
    stall_ticks.store(5);
    watchdog_tick();
    EXPECT_LT(tenths_playing_within(2000), 2) << "the stream before came back";
    EXPECT_EQ(count_log(mark, "GET /live"), 0u);
    relay_refuse_start(false);
    stall_ticks.store(5);
    watchdog_tick();
    EXPECT_FALSE(wait_for_log(mark, stream_of(id), 5000).empty());
    EXPECT_TRUE(time_advances(15000));
}

// https goes through WinHTTP: TLS 1.2 or newer, never the user's logon.
TEST_F(StreamRelay, TheHttpsRoadAsksForModernTlsAndNoLogon) { EXPECT_TRUE(relay_https_settings_applied()); }

// The https road (here without TLS, so that the stand-in serves it) plays,
// and each of its requests ends at once when the channel changes, a
// stalled one too: its thread closes it, woken by the request's end.
TEST_F(StreamRelay, TheWinHttpRoadPlaysAndEndsEachRequestAtOnce) {
    relay_http_through_winhttp(true);
    stop_playback();
    size_t mark = standin_log().size();
    select_next_channel();
    EXPECT_TRUE(time_advances(15000));
    EXPECT_FALSE(wait_for_log(mark, "USER-AGENT ", 1000).empty());
    zap_and_expect_one_stream_at_a_time({"", "stream=stall:1"});
}

// A stream address of the channel in the first row, through the relay.
std::string relay_address_of_first_channel(const std::string& user_info) {
    std::string id = cell_text(IDC_CHANNEL_LIST, 0, 4);
    std::string url = "http://" + user_info + standin_address() + "/live?ch=" + id + "&sid=" + account.session_id +
                      "&channelid=" + id;
    char address[64];
    if (!relay_address_for(url.c_str(), address, sizeof address)) return "";
    return address;
}

// Credentials in a stream address reach its host as Basic authorization,
// on the http road and on WinHTTP's, the same host after a redirect too,
// and never another host that a redirect names.
TEST_F(StreamRelay, CredentialsInAnAddressGoToItsHostAndNoOther) {
    const std::string seen = "AUTHORIZATION Basic aXZhbjpwQHNz";  // "ivan:p@ss"
    for (bool winhttp : {false, true}) {
        relay_http_through_winhttp(winhttp);
        stop_playback();
        struct {
            const char* faults;
            size_t authorized;  // requests that carried the credentials
        } cases[] = {{"", 1}, {"stream=redirect:self", 2}, {"stream=redirect:other", 1}};
        for (const auto& c : cases) {
            standin_faults(c.faults);
            size_t mark = standin_log().size();
            std::string address = relay_address_of_first_channel("ivan:p%40ss@");
            ASSERT_FALSE(address.empty());
            std::string answer = fetch_from_relay(address.c_str());
            EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << c.faults << " " << winhttp;
            EXPECT_GT(answer.size(), 4096u) << "the stream plays";
            EXPECT_EQ(count_log(mark, seen), c.authorized) << c.faults << " " << winhttp;
            EXPECT_EQ(count_log(mark, "AUTHORIZATION "), c.authorized) << c.faults << " " << winhttp;
        }
    }
}

// Bodies the player would read addresses from, past the relay: refused.
// A playlist whose byte order mark and header come apart is still read as
// one, and rewritten.
TEST_F(StreamRelay, ManifestsAndCompressedBodiesAreRefusedAndPlaylistsRewritten) {
    stop_playback();
    for (const char* body : {"dash", "smooth", "gzip"}) {
        standin_faults(std::string("stream=body:") + body);
        std::string address = relay_address_of_first_channel("");
        ASSERT_FALSE(address.empty());
        EXPECT_EQ(fetch_from_relay(address.c_str()).rfind("HTTP/1.0 502", 0), 0u) << body;
    }
    standin_faults("stream=body:split");
    std::string address = relay_address_of_first_channel("");
    std::string answer = fetch_from_relay(address.c_str());
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << answer;
    size_t body = answer.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    std::string prefix = address.substr(0, address.rfind('/') + 1);
    const std::string header = "\xEF\xBB\xBF#EXTM3U\n#EXTINF:4,\n";
    EXPECT_EQ(answer.substr(body + 4, header.size()), header) << answer;
    EXPECT_NE(answer.find("\n" + prefix), std::string::npos) << answer;
    EXPECT_EQ(answer.find("example.invalid"), std::string::npos) << answer;
}

// A player that reads slowly is waited for: a host's 50 MB burst reaches a
// reader that takes nothing for longer than any of the relay's waits.
TEST_F(StreamRelay, ASlowPlayerIsWaitedForAndGetsTheWholeBurst) {
    stop_playback();
    standin_faults("stream=burst:50");
    std::string address = relay_address_of_first_channel("");
    ASSERT_FALSE(address.empty());
    SOCKET s = connect_to_relay(address.c_str());
    std::string request = "GET " + address.substr(address.rfind('/')) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    send_all(s, request.data(), static_cast<int32_t>(request.size()));
    pump(12000);
    std::string head;
    int64_t body = 0;
    char piece[65536];
    int got;
    while (wait_socket_ms(s, false, 5000) && (got = recv(s, piece, sizeof piece, 0)) > 0) {
        size_t from = 0;
        if (head.find("\r\n\r\n") == std::string::npos) {
            head.append(piece, static_cast<size_t>(got));
            size_t end = head.find("\r\n\r\n");
            if (end == std::string::npos) continue;
            from = static_cast<size_t>(got) - (head.size() - end - 4);
            head.resize(end + 4);
        }
        body += got - static_cast<int64_t>(from);
    }
    closesocket(s);
    size_t length = head.find("Content-Length: ");
    ASSERT_NE(length, std::string::npos) << head;
    EXPECT_GE(atoll(head.c_str() + length + 16), 50000000LL);
    EXPECT_EQ(body, atoll(head.c_str() + length + 16));
}

// The HLS channel (its stream address names a master playlist): every
// playlist, variant and segment comes through the relay.
const int32_t hls_row = 9;

TEST_F(StreamRelay, AnHlsChannelPlaysThroughTheRelay) {
    size_t mark = standin_log().size();
    activate(hls_row);
    EXPECT_TRUE(picture_moves(25000));
    EXPECT_FALSE(wait_for_log(mark, "GET /hls/110/index.m3u8 ", 1000).empty());
    EXPECT_FALSE(wait_for_log(mark, "GET /hls/110/seg", 1000).empty());

    // Segments named by absolute addresses on another port of the host
    // come through the relay as well.
    standin_faults("hls=absolute");
    stop_playback();
    mark = standin_log().size();
    activate(hls_row);
    EXPECT_TRUE(picture_moves(25000));
    EXPECT_FALSE(wait_for_log(mark, "GET /hls/110/seg", 1000).empty());
}

TEST_F(StreamRelay, AnHlsSegmentMovedToALocalFileIsNeverOpened) {
    std::string clip = scratch_file("segment.ts");
    ASSERT_EQ(host_command("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x180:rate=25 -t 30 "
                           "-c:v mpeg2video -f mpegts " + clip),
              0);
    standin_faults("hls=redirect:file://" + clip);
    stop_playback();
    size_t mark = standin_log().size();
    activate(hls_row);
    ASSERT_FALSE(wait_for_log(mark, "GET /hls/110/seg", 15000).empty());
    EXPECT_FALSE(picture_moves(8000)) << "the player read the local file";
    host_command("rm -f " + clip);
}

// The relay serves the player: beyond a few connections at once (a player
// uses one or two) it closes new ones at once.
TEST_F(StreamRelay, TheRelayTakesOnlyAFewConnectionsAtOnce) {
    char address[64];
    ASSERT_TRUE(relay_address_for("http://127.0.0.1:9/nothing", address, sizeof address));
    uint16_t port = static_cast<uint16_t>(atoi(strrchr(address, ':') + 1));
    std::vector<SOCKET> held;
    int32_t closed_at_once = 0;
    for (int32_t i = 0; i < 24; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in to;
        memset(&to, 0, sizeof to);
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        held.push_back(s);
    }
    Sleep(500);
    for (SOCKET s : held) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval none = {0, 0};
        char c;
        if (select(0, &set, nullptr, nullptr, &none) == 1 && recv(s, &c, 1, 0) <= 0) ++closed_at_once;
        closesocket(s);
    }
    EXPECT_GE(closed_at_once, 24 - 16);
    EXPECT_LT(closed_at_once, 24) << "the first ones wait for their request";
    Sleep(300);
    // The player's next stream plays.
    select_next_channel();
    EXPECT_TRUE(time_advances(15000));
}

}  // namespace
