// The stream relay: the player reads every stream through it, so a stream
// host cannot move the player to a local file, and it takes few connections.
#include "tests/win32/watching.h"

#include "account/login.h"
#include "base/app.h"
#include "base/ui_text.h"
#include "playback/channel_rules.h"
#include "playback/channel_tables.h"
#include "playback/info_panel.h"
#include "playback/player.h"
#include "playback/program_panel.h"
#include "playback/stream_relay.h"
#include "playback/switching.h"
#include "resources/resource.h"
#include "service/service_request.h"
#include "shell/panels.h"
#include "shell/startup.h"
#include "shell/video_window.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A stream host that misbehaves.
class StreamRelay : public Watching {
protected:
    void TearDown() override { standin_faults(""); }
    // Waits for the stream of the channel id that the stand-in moved to itself.
    bool moved_stream_requested(size_t mark, const std::string& id) {
        return !wait_for_log(mark, "&channelid=" + id + "&moved=1 HTTP/1.", 8000).empty();
    }
};

TEST_F(StreamRelay, AStreamMovedToALocalFileIsNeverOpened) {
    // A clip that would play at once if the player opened it.
    std::string clip = "/tmp/tvclient-local-" + std::to_string(GetCurrentProcessId()) + ".ts";
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
    // The player's own stream goes on.
    EXPECT_TRUE(time_advances(15000));
}

}  // namespace
