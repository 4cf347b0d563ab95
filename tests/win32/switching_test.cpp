// Channel starts: the live picture, the parental lock, navigation, a slow
// guide, and rows whose cells are longer than their buffers.
#include "tests/win32/prelude.h"

namespace {

class Switching : public Watching {};

TEST_F(Switching, ActivatingARowPlaysItsLivePicture) {
    show_guide_of(2);  // the click before the double click
    size_t mark = standin_log().size();
    activate(2);
    std::string stream = wait_for_log(mark, stream_of("103"), 5000);
    EXPECT_FALSE(stream.empty());
    // The first request after the key is the keep-alive (the old stream's
    // close may be logged before it: the start stops it first).
    std::vector<std::string> lines = standin_log();
    size_t request = mark;
    while (request < lines.size() && lines[request].rfind("GET ", 0) != 0) ++request;
    ASSERT_LT(request + 1, lines.size());
    EXPECT_NE(lines[request].find(std::string("keepsession\\x01") + account.session_id + "\\x01seederid\\x01" "123"),
              std::string::npos);
    EXPECT_EQ(count_log(mark, "\\x01" "epg\\x01"), 0u);  // the guide was already shown
    EXPECT_EQ(current_channel, 2);
    EXPECT_EQ(playing_channel, 2);
    EXPECT_TRUE(time_advances(15000)) << "no time-changed events";

    EXPECT_EQ(info_line(IDC_INFO_NAME), "Кино Класик");
    EXPECT_EQ(info_line(IDC_INFO_NOW), "начало: " + cell_text(IDC_EPG_LIST, 0, 2));
    EXPECT_EQ(info_line(IDC_INFO_NEXT), "следва: " + cell_text(IDC_EPG_LIST, 1, 2));

    // The picture in the video window moves and is not black.
    RECT video;
    GetWindowRect(video_window, &video);
    screen_sample first = sample_screen(video);
    pump(1500);
    screen_sample second = sample_screen(video);
    EXPECT_GT(first.mean, 0.05);
    EXPECT_NE(first.digest, second.digest);
}

TEST_F(Switching, ALockedChannelNeedsItsWholeCode) {
    int32_t before = playing_channel;
    size_t mark = standin_log().size();
    {
        lock_answer wrong("1235", false);
        activate(10);  // Нощно кино 18+, code 1234
        EXPECT_TRUE(wrong.answered());
    }
    EXPECT_EQ(playing_channel, before);
    EXPECT_EQ(current_channel, playing_channel);
    EXPECT_EQ(count_log(mark, "GET /live"), 0u);
    EXPECT_EQ(epg_channel, 10);  // the refused channel's guide stays shown
    {
        lock_answer cancel("", true);
        activate(10);
        EXPECT_TRUE(cancel.answered());
    }
    EXPECT_EQ(current_channel, before);
    {
        lock_answer right("1234", false);
        activate(10);
        EXPECT_TRUE(right.answered());
    }
    EXPECT_EQ(playing_channel, 10);
    EXPECT_FALSE(wait_for_log(mark, stream_of("111"), 5000).empty());
    // "0042": the whole text is the code, not the number 42.
    {
        lock_answer number("42", false);
        activate(11);
    }
    EXPECT_EQ(playing_channel, 10);
}

TEST_F(Switching, RightOnTheLastRowStartsRowZero) {
    {
        lock_answer code("0042", false);
        select_last_channel();
        EXPECT_TRUE(code.answered());
    }
    EXPECT_EQ(playing_channel, 11);
    size_t mark = standin_log().size();
    select_next_channel();
    EXPECT_EQ(playing_channel, 0);
    EXPECT_EQ(current_channel, 0);
    EXPECT_FALSE(wait_for_log(mark, stream_of("101"), 5000).empty());
    {
        lock_answer cancel("", true);
        select_previous_channel();  // Left on row 0 goes to the last row: locked, refused
        EXPECT_TRUE(cancel.answered());
    }
    EXPECT_EQ(current_channel, 0);
}

TEST_F(Switching, AGuideDrippedForHoursEndsAtTheExchangeBound) {
    standin_faults("epg=drip:4.5");  // two bytes every 4.5 s: hours for a whole guide
    size_t mark = standin_log().size();
    int32_t row = next_channel(current_channel, last_channel);
    ASSERT_NE(epg_channel, row);
    DWORD start = GetTickCount();
    select_next_channel();
    DWORD took = GetTickCount() - start;
    standin_faults("");
    // 15 s for the guide; the margin is for the keep-alive and a busy machine.
    EXPECT_LT(took, 30000u);
    printf("a channel change with a dripped guide took %lu ms\n", static_cast<unsigned long>(took));
    EXPECT_EQ(playing_channel, row);
    EXPECT_FALSE(wait_for_log(mark, stream_of(cell_text(IDC_CHANNEL_LIST, row, 4)), 5000).empty());
    EXPECT_TRUE(time_advances(15000));
}

// Rows whose cells are as long as their buffers or longer: the lock code
// (32 bytes), the stream address and the id (256 and 32 bytes).
class LongCells : public Watching {
protected:
    void SetUp() override {
        Watching::SetUp();
        std::string live = standin_address() + "/live?ch=101";
        std::string response = join({"101", "Обикновен", live, "1", "0",
                                       "101", "Дълга парола", live, "1", long_code,
                                       "101", "Дълъг адрес", live + "&" + std::string(300, 'a'), "1", "0",
                                       "1" + std::string(39, '2'), "Дълъг номер", live, "1", "0",
                                       "101", "Заглавен ред", live + "\r\nX-Injected: yes", "1", "0"});
        SendMessageW(channels(), LVM_DELETEALLITEMS, 0, 0);
        fill_channel_rows(channels(), response.c_str());
        ASSERT_EQ(last_channel, 4);
        current_channel = 0;
        playing_channel = -1;
        epg_channel = -1;
        switch_channel();
        ASSERT_EQ(playing_channel, 0);
    }
    // The service's own channel table again, for whatever runs next.
    void TearDown() override {
        standin_faults("");
        SendMessageW(channels(), LVM_DELETEALLITEMS, 0, 0);
        fill_channel_list(channels());
        playing_channel = -1;
        epg_channel = -1;
    }
    // Every start of a row refused for its address shows this, the channel
    // playing goes on, and nothing of the row's address reaches a host.
    void expect_refused(int32_t row, const std::string& address_part) {
        size_t mark = standin_log().size();
        message_watch watch;
        activate(row);
        ASSERT_TRUE(watch.wait_for(1, 5000));
        std::vector<seen_message> seen = watch.seen();
        EXPECT_EQ(seen[0].text, "Адресът на програмата е твърде дълъг.");
        EXPECT_EQ(playing_channel, 0);
        EXPECT_EQ(current_channel, 0);
        EXPECT_EQ(count_log(mark, address_part), 0u);
    }
    const std::string long_code = "1234567890123456789012345678901234567890";
};

TEST_F(LongCells, AFortyCharacterLockCodeOpensWithItsFirst31) {
    lock_answer right(long_code.substr(0, 31), false);
    activate(1);
    EXPECT_TRUE(right.answered());
    EXPECT_EQ(playing_channel, 1);
}

TEST_F(LongCells, AnAddressOf300CharactersIsRefused) { expect_refused(2, "&aaaa"); }

TEST_F(LongCells, AControlByteInTheAddressIsRefused) { expect_refused(4, "X-Injected"); }

TEST_F(LongCells, AFortyCharacterIdAsksForTheGuideWithItsFirst31) {
    size_t mark = standin_log().size();
    activate(3);
    std::string id31 = "1" + std::string(30, '2');
    EXPECT_EQ(count_log(mark, "\\x01" "epg\\x01" + id31 + "\\x0d"), 1u);
    EXPECT_EQ(playing_channel, 3);
}

}  // namespace
