// A live stream whose host breaks the connection off: the relay asks for it
// again and the picture goes on, without the watchdog's restart; a host
// that will not give it back leaves the channel to the watchdog, and a
// channel change ends the attempts.
#include "tests/win32/prelude.h"

namespace {

class StreamResume : public Watching {
protected:
    void TearDown() override {
        standin_faults("");
        relay_http_through_winhttp(false);
        Watching::TearDown();
    }
    // Starts the next channel with the fault set; its id.
    std::string start_with(const char* fault) {
        standin_faults(fault);
        mark = standin_log().size();
        select_next_channel();
        std::string id = cell_text(IDC_CHANNEL_LIST, playing_channel, 4);
        EXPECT_FALSE(wait_for_log(mark, stream_of(id), 5000).empty());
        return id;
    }
    // Waits for the log to hold n lines with the text; the time it took.
    int64_t wait_count(const std::string& text, size_t n, uint32_t ms) {
        DWORD began = GetTickCount();
        while (count_log(mark, text) < n && GetTickCount() - began < ms) pump(20);
        return count_log(mark, text) >= n ? static_cast<int64_t>(GetTickCount() - began) : -1;
    }
    // Watches the player's own playing time for a while: how long it stood
    // still at most, and how far it went.
    void watch_time(uint32_t ms, int64_t* longest_still, int64_t* advanced) {
        int64_t first = playing_time_ms();
        int64_t last = first;
        DWORD began = GetTickCount();
        DWORD moved = began;
        *longest_still = 0;
        while (GetTickCount() - began < ms) {
            pump(50);
            int64_t now = playing_time_ms();
            if (now > last) moved = GetTickCount();
            last = now;
            *longest_still = std::max<int64_t>(*longest_still, GetTickCount() - moved);
        }
        *advanced = last - first;
    }
    size_t mark = 0;
};

class StreamResumeOnEachRoad : public StreamResume, public ::testing::WithParamInterface<bool> {};

// Closed after four seconds (and, the second time, reset): the relay asks
// the same address again within a second, the player's own playing time
// stands still for at most two seconds and goes on, and the watchdog
// restarts nothing: the host sees the one request and the one resume.
TEST_P(StreamResumeOnEachRoad, ALiveStreamBrokenOffByItsHostGoesOn) {
    relay_http_through_winhttp(GetParam());
    for (const char* fault : {"stream=drop:4/once", "stream=drop:4/once+reset"}) {
        uint32_t resumes = relay_resumes();
        std::string id = start_with(fault);
        ASSERT_GE(wait_count("STREAM DROPPED", 1, 8000), 0) << fault;
        int64_t asked_again = wait_count(stream_of(id), 2, 3000);
        EXPECT_GE(asked_again, 0) << fault;
        EXPECT_LE(asked_again, 1000) << fault;
        // The player's time stood still for the break at most, then went on
        // with the live stream (a restart would start it again from 0).
        int64_t still = 0;
        int64_t advanced = 0;
        watch_time(5000, &still, &advanced);
        EXPECT_LE(still, 2000) << fault;
        EXPECT_GE(advanced, 3000) << fault;
        EXPECT_EQ(count_log(mark, stream_of(id)), 2u) << fault << ": the watchdog restarted it";
        EXPECT_EQ(relay_resumes(), resumes + 1) << fault;
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, StreamResumeOnEachRoad, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WinHttp" : "Http";
                         });

// A host that refuses every resume: four attempts, 0.2 to 2 s apart, then
// the player's connection ends and the watchdog starts the channel again.
TEST_F(StreamResume, AHostThatRefusesTheResumeLeavesTheChannelToTheWatchdog) {
    std::string id = start_with("stream=drop:3/refuse");
    ASSERT_GE(wait_count("STREAM DROPPED", 1, 8000), 0);
    EXPECT_GE(wait_count("STREAM REFUSED", 4, 6000), 0);
    pump(1500);
    EXPECT_EQ(count_log(mark, "STREAM REFUSED"), 4u) << "the attempts are bounded";
    standin_faults("");
    // The watchdog's restart, on its own timer.
    EXPECT_GE(wait_count(stream_of(id), 6, 15000), 0);
    EXPECT_TRUE(time_advances(15000));
}

// A channel change while the relay waits to ask again: no attempt for the
// old channel after the change, and the new one plays.
TEST_F(StreamResume, AChannelChangeDuringAResumeEndsIt) {
    std::string id = start_with("stream=drop:3/refuse");
    ASSERT_GE(wait_count("STREAM DROPPED", 1, 8000), 0);
    ASSERT_GE(wait_count("STREAM REFUSED", 1, 3000), 0);
    select_next_channel();
    size_t asked = count_log(mark, stream_of(id));
    standin_faults("");  // the old channel would be given back now: it must not be asked for
    pump(4000);
    EXPECT_EQ(count_log(mark, stream_of(id)), asked) << "the old channel was asked for after the change";
    EXPECT_TRUE(time_advances(10000));
}

// Each segment's first request closed unanswered: the relay asks again
// after its pause, and the HLS channel (row 9) plays on as without it.
TEST_F(StreamResume, AnHlsSegmentThatFailsIsAskedForAgain) {
    standin_faults("hls=refuse");
    mark = standin_log().size();
    activate(9);
    ASSERT_TRUE(time_advances(25000));
    int64_t still = 0;
    int64_t advanced = 0;
    watch_time(8000, &still, &advanced);
    EXPECT_GE(advanced, 6000);
    EXPECT_GE(count_log(mark, "SEGMENT REFUSED"), 3u);
}

}  // namespace
