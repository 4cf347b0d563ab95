// A channel start no longer waits for its exchanges' answers before the
// stream: what the service and the stream host receive, the refused
// session's message and the info panel stay as they were.
#include "tests/win32/prelude.h"

#include "base/trace.h"
#include "relay/stream_relay.h"

#include <cstdio>

namespace {

// The lines of a file the program wrote (opened as the trace opens it).
std::vector<std::string> read_lines(const std::string& path) {
    std::vector<std::string> lines;
    FILE* f = fopen(path.c_str(), "r");
    char line[512];
    while (f != nullptr && fgets(line, sizeof line, f) != nullptr) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        lines.push_back(text);
    }
    if (f != nullptr) fclose(f);
    return lines;
}

class QuickStart : public Watching {
protected:
    // The minute's keep-alive would add a request of its own to a change.
    void SetUp() override {
        Watching::SetUp();
        KillTimer(video_window, keepalive_timer);
    }
    void TearDown() override {
        standin_faults("");
        SendMessageW(GetDlgItem(user_panel, IDC_USER_ACCOUNTS), CB_SETCURSEL, 0, 0);
        SetTimer(video_window, keepalive_timer, 60000, nullptr);
        Watching::TearDown();
    }
    // The next row after this one with a live stream and no lock code (the
    // HLS row, 9, names a playlist).
    int32_t plain_row_after(int32_t row) {
        do row = next_channel(row, last_channel);
        while (row == 9 || row == playing_channel || cell_text(IDC_CHANNEL_LIST, row, 5) != "0");
        return row;
    }
    size_t mark = 0;
};

// Twelve changes, each to a row whose guide is not shown (rows with a lock
// code keep the old order: the code comes before the stream): the
// keep-alive's request is sent, then the guide's, then the stream's (the
// relay holds it until the guide's has gone), each once, and the host gets
// the row's stream URL. The order of sending is read from the program's
// trace: the stand-in's threads may log two requests that came together
// either way round.
TEST_F(QuickStart, TheKeepAliveThenTheGuideThenTheStreamAreSent) {
    std::string trace = scratch_file("order.trace");
    remove(trace.c_str());
    ASSERT_TRUE(trace_to(trace.c_str()));
    int32_t row = playing_channel;
    for (int32_t n = 0; n < 12; ++n) {
        row = plain_row_after(row);
        mark = standin_log().size();
        activate(row);
        ASSERT_EQ(playing_channel, row);
        std::string id = cell_text(IDC_CHANNEL_LIST, row, 4);
        ASSERT_FALSE(wait_for_log(mark, stream_of(id), 5000).empty()) << id;
        EXPECT_EQ(count_log(mark, "keepsession\\x01" + std::string(account.session_id)), 1u) << id;
        EXPECT_EQ(count_log(mark, "\\x01" "epg\\x01"), 1u) << id;
        EXPECT_EQ(count_log(mark, "GET /live?"), 1u) << id;
    }
    trace_to(nullptr);
    std::vector<std::string> sent;
    for (const std::string& line : read_lines(trace)) {
        std::string name = line.substr(line.find(' ') + 1);
        if (name == "keepsession.sent" || name == "epg.sent" || name == "relay.sent") sent.push_back(name);
    }
    ASSERT_EQ(sent.size(), 36u);
    for (size_t i = 0; i < sent.size(); i += 3) {
        EXPECT_EQ(sent[i], "keepsession.sent") << i / 3;
        EXPECT_EQ(sent[i + 1], "epg.sent") << i / 3;
        EXPECT_EQ(sent[i + 2], "relay.sent") << i / 3;
    }
}

// While a start holds the relay's requests, the stream's host is connected
// to but asked nothing; released, it is asked at once; a stop meanwhile
// ends the request unasked.
TEST_F(QuickStart, TheRelayHoldsTheStreamsRequestUntilReleased) {
    int32_t row = plain_row_after(playing_channel);
    std::string id = cell_text(IDC_CHANNEL_LIST, row, 4);
    char url[512];
    snprintf(url, sizeof url, "http://%s/live?ch=%s&sid=%s&channelid=%s", standin_address().c_str(), id.c_str(),
             account.session_id, id.c_str());
    mark = standin_log().size();
    relay_hold_requests(true);
    start_stream(url);
    pump(1000);
    EXPECT_EQ(count_log(mark, "GET /live?"), 0u) << "asked while held";
    relay_hold_requests(false);
    EXPECT_FALSE(wait_for_log(mark, stream_of(id), 1000).empty());
    EXPECT_TRUE(time_advances(15000));

    mark = standin_log().size();
    relay_hold_requests(true);
    start_stream(url);
    pump(500);
    stop_player();
    relay_hold_requests(false);
    pump(1000);
    EXPECT_EQ(count_log(mark, "GET /live?"), 0u) << "a stopped stream was asked for";
    playing_channel = -1;  // the next test starts its row afresh
}

// A refused session says so over the new channel, which plays on: the
// stream before ended when the new one started, and the refusal stops
// nothing more.
TEST_F(QuickStart, ARefusedSessionSaysSoAndTheNewChannelPlaysOn) {
    SendMessageW(GetDlgItem(user_panel, IDC_USER_ACCOUNTS), CB_SETCURSEL, 2, 0);  // no credit
    mark = standin_log().size();
    message_watch watch;
    activate(plain_row_after(playing_channel));
    ASSERT_TRUE(watch.wait_for(1, 5000));
    EXPECT_EQ(watch.seen()[0].text, "Недостатъчен кредит!");
    std::string id = cell_text(IDC_CHANNEL_LIST, playing_channel, 4);
    EXPECT_FALSE(wait_for_log(mark, stream_of(id), 5000).empty());
    EXPECT_GE(count_log(mark, "STREAM CLOSED"), 1u) << "the channel before plays on";
    EXPECT_TRUE(time_advances(15000));
    pump(1000);
    EXPECT_TRUE(player_is_playing()) << "the refusal stopped the new channel";
}

// The info panel and the guide are the new channel's as soon as its guide
// has come; a guide exchange that fails leaves them empty.
TEST_F(QuickStart, TheInfoPanelShowsTheNewChannelsGuide) {
    int32_t row = plain_row_after(playing_channel);
    activate(row);
    ASSERT_EQ(playing_channel, row);
    EXPECT_EQ(epg_channel, row);
    ASSERT_NE(cell_text(IDC_EPG_LIST, 0, 2), "");
    EXPECT_EQ(info_line(IDC_INFO_NAME), cell_text(IDC_CHANNEL_LIST, row, 1));
    EXPECT_EQ(info_line(IDC_INFO_NOW), "начало: " + cell_text(IDC_EPG_LIST, 0, 2));
    EXPECT_EQ(info_line(IDC_INFO_NEXT), "следва: " + cell_text(IDC_EPG_LIST, 1, 2));

    standin_faults("epg=close");
    {
        message_watch watch;
        activate(plain_row_after(row));
    }
    EXPECT_EQ(SendMessageW(guide_list(), LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(info_line(IDC_INFO_NAME), cell_text(IDC_CHANNEL_LIST, playing_channel, 1));
    EXPECT_EQ(info_line(IDC_INFO_NOW), "");
    EXPECT_EQ(info_line(IDC_INFO_NEXT), "");
}

}  // namespace

namespace {

// A channel start under each fault of either exchange: the start ends
// within the exchanges' bounds, with only their messages, and the new
// channel plays.
class QuickStartUnderFaults : public QuickStart, public ::testing::WithParamInterface<const char*> {};

TEST_P(QuickStartUnderFaults, EndsWithinTheBoundsAndTheChannelPlays) {
    standin_faults(GetParam());
    int32_t row = plain_row_after(playing_channel);
    DWORD began = GetTickCount();
    {
        message_watch watch;
        activate(row);
    }
    DWORD took = GetTickCount() - began;
    standin_faults("");
    EXPECT_LT(took, 20000u) << GetParam();
    EXPECT_EQ(playing_channel, row) << GetParam();
    EXPECT_TRUE(time_advances(15000)) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, QuickStartUnderFaults,
    ::testing::Values("keepsession=silent", "keepsession=close", "keepsession=one_byte", "keepsession=stall_half",
                      "keepsession=drip", "epg=silent", "epg=close", "epg=huge", "epg=stall_half", "all=silent"),
    [](const ::testing::TestParamInfo<const char*>& info) {
        std::string name = info.param;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

}  // namespace
