#include "base/utf.h"
#include "playback/channel_rules.h"
#include "tests/join.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// A table as the program fills it: (row, column) -> text.
typedef std::map<std::pair<int32_t, int32_t>, std::string> table;

struct filled {
    table cells;
    size_t fields = 0;
};

// The cells as the program puts them into its table.
filled fill(const std::string& response, table_kind kind) {
    filled t;
    t.fields = place_table_cells(response.c_str(), response.size(), kind,
                                 [](int32_t row, int32_t column, const char* text, size_t n, void* cells) {
                                     (*static_cast<table*>(cells))[std::make_pair(row, column)] = std::string(text, n);
                                 },
                                 &t.cells);
    return t;
}

filled fill_channels(const std::string& response) { return fill(response, table_kind::channels); }

std::string cell(filled& t, int32_t row, int32_t column) { return t.cells[std::make_pair(row, column)]; }

TEST(ChannelTable, FiveFieldsARow) {
    filled t = fill_channels(join({"101", "Новини", "h/live?ch=101", "10 мин", "0",
                                   "102", "Спорт", "h/live?ch=102", "8 мин", "1234"}));
    EXPECT_EQ(t.fields, 10u);
    EXPECT_EQ(last_complete_channel(t.fields), 1);
    EXPECT_EQ(cell(t, 0, 0), "  1");
    EXPECT_EQ(cell(t, 0, 4), "101");
    EXPECT_EQ(cell(t, 0, 1), "Новини");
    EXPECT_EQ(cell(t, 0, 3), "h/live?ch=101");
    EXPECT_EQ(cell(t, 0, 2), "10 мин");
    EXPECT_EQ(cell(t, 0, 5), "0");
    EXPECT_EQ(cell(t, 1, 0), "  2");
    EXPECT_EQ(cell(t, 1, 5), "1234");
}

TEST(ChannelTable, AnIncompleteLastRecordMakesARowBeyondLastChannel) {
    filled t = fill_channels(join({"1", "A", "a", "p", "0", "2", "B"}));
    EXPECT_EQ(last_complete_channel(t.fields), 0);
    EXPECT_EQ(cell(t, 1, 0), "  2");
    EXPECT_EQ(cell(t, 1, 4), "2");
    EXPECT_EQ(cell(t, 1, 1), "B");
    EXPECT_EQ(t.cells.count(std::make_pair(1, 3)), 0u);
    EXPECT_EQ(last_complete_channel(0), -1);
    EXPECT_EQ(last_complete_channel(4), -1);
}

TEST(ChannelTable, AnEmptyFieldShiftsEverythingAfterIt) {
    // The stream address is empty: the price lands in "IP", the lock code in
    // the price column and the next channel's id in "PASS".
    filled t = fill_channels("1\x01" "A\x01\x01" "5 мин\x01" "0\x01" "2\x01" "B\x01" "b\x01" "6 мин\x01" "0");
    EXPECT_EQ(t.fields, 9u);
    EXPECT_EQ(cell(t, 0, 3), "5 мин");
    EXPECT_EQ(cell(t, 0, 2), "0");
    EXPECT_EQ(cell(t, 0, 5), "2");
    EXPECT_EQ(cell(t, 1, 4), "B");
    EXPECT_EQ(last_complete_channel(t.fields), 0);
}

TEST(ChannelTable, RowNumbersWidenFromTheThousandthRow) {
    char n[16];
    format_row_number(0, n, sizeof n);
    EXPECT_STREQ(n, "  1");
    format_row_number(998, n, sizeof n);
    EXPECT_STREQ(n, "999");
    format_row_number(999, n, sizeof n);
    EXPECT_STREQ(n, "1000");
    char tiny[3];
    format_row_number(999, tiny, sizeof tiny);
    EXPECT_EQ(tiny[2], '\0');
}

TEST(GuideTable, FourFieldsARow) {
    filled t = fill(join({"10:00", "11:00", "Новините", "На живо.", "11:00", "12:30", "Филм", "Премиера.", "12:30"}),
                    table_kind::guide);
    EXPECT_EQ(t.fields, 9u);
    EXPECT_EQ(t.cells.size(), 9u);  // no row numbers in the guide
    EXPECT_EQ(cell(t, 2, 0), "12:30");
    EXPECT_EQ(cell(t, 1, 2), "Филм");
    EXPECT_EQ(cell(t, 0, 3), "На живо.");
}

TEST(Navigation, WrapsAtBothEnds) {
    EXPECT_EQ(next_channel(0, 11), 1);
    EXPECT_EQ(next_channel(11, 11), 0);
    EXPECT_EQ(next_channel(14, 11), 0);  // beyond the last complete row
    EXPECT_EQ(previous_channel(5, 11), 4);
    EXPECT_EQ(previous_channel(0, 11), 11);
    // An empty table.
    EXPECT_EQ(next_channel(0, -1), 0);
    EXPECT_EQ(previous_channel(0, -1), -1);
}

TEST(StreamUrl, BuiltUnchangedAndRefusedWhenTooLong) {
    char url[stream_url_size];
    ASSERT_TRUE(format_stream_url(url, sizeof url, "127.0.0.1:8080/live?ch=3", "ab12", "103"));
    EXPECT_STREQ(url, "http://127.0.0.1:8080/live?ch=3&sid=ab12&channelid=103");
    ASSERT_TRUE(format_stream_url(url, sizeof url, "", "", ""));
    EXPECT_STREQ(url, "http://&sid=&channelid=");
    // 255 characters fit; 256 do not.
    std::string address(255 - strlen("http://&sid=&channelid="), 'a');
    EXPECT_TRUE(format_stream_url(url, sizeof url, address.c_str(), "", ""));
    EXPECT_EQ(strlen(url), 255u);
    address.push_back('a');
    EXPECT_FALSE(format_stream_url(url, sizeof url, address.c_str(), "", ""));
    EXPECT_STREQ(url, "");
}

// A CR or LF would end the player's request line and start a header of the
// host's choosing; any control byte in any of the three values is refused.
TEST(StreamUrl, RefusedWhenAnyValueHoldsAControlByte) {
    char url[stream_url_size];
    const char* bad[] = {"h/live\r\nX-Injected: yes", "a\tb", "a\x01", "a\x1f", "a\x7f"};
    for (const char* value : bad) {
        EXPECT_FALSE(format_stream_url(url, sizeof url, value, "s", "1")) << value;
        EXPECT_FALSE(format_stream_url(url, sizeof url, "h", value, "1")) << value;
        EXPECT_FALSE(format_stream_url(url, sizeof url, "h", "s", value)) << value;
        EXPECT_STREQ(url, "");
    }
    // Blanks, quotes and bytes above 0x7F go through unchanged.
    ASSERT_TRUE(format_stream_url(url, sizeof url, "h/a b\"<>", "s\x80\xff", " 1"));
    EXPECT_STREQ(url, "http://h/a b\"<>&sid=s\x80\xff&channelid= 1");
}

std::string info(const char16_t* prefix, const std::string& title_utf8, size_t units = 1024) {
    char16_t title[300];
    utf8_to_utf16(title_utf8.c_str(), title, 300);
    std::vector<char16_t> out(units);
    format_info_line(prefix, title, out.data(), units);
    char utf8[4096];
    utf16_to_utf8(out.data(), utf8, sizeof utf8);
    return utf8;
}

TEST(InfoLines, ATitleOfOneCharacterGivesAnEmptyLine) {
    EXPECT_EQ(info(u"начало: ", "Новините"), "начало: Новините");
    EXPECT_EQ(info(u"следва: ", "Ж"), "");
    EXPECT_EQ(info(u"следва: ", ""), "");
    EXPECT_EQ(info(u"следва: ", "\xF0\x9F\x93\xBA"), "");  // one character, two units
    EXPECT_EQ(info(u"следва: ", "ТВ"), "следва: ТВ");
    // Cut to the buffer, never past it.
    EXPECT_EQ(info(u"начало: ", "Новините", 12), "начало: Нов");
}

TEST(Volume, StaysWithinItsBounds) {
    EXPECT_EQ(stepped_volume(100, 1), 100);
    EXPECT_EQ(stepped_volume(99, 1), 100);
    EXPECT_EQ(stepped_volume(0, -1), 0);
    EXPECT_EQ(stepped_volume(50, -1), 49);
}

TEST(Watchdog, ActsAtTheSixthTickOnlyWhilePlaybackIsWanted) {
    for (int32_t ticks = 1; ticks <= 5; ++ticks) EXPECT_FALSE(watchdog_restarts(ticks, 1));
    EXPECT_TRUE(watchdog_restarts(6, 1));
    EXPECT_TRUE(watchdog_restarts(1000, 1));
    EXPECT_FALSE(watchdog_restarts(6, 0));
    EXPECT_FALSE(watchdog_restarts(1000000, 0));
}

}  // namespace
