// The program panel: a click on a row shows its guide; the playing row is blue.
#include "tests/win32/prelude.h"

namespace {

class ProgramPanel : public Watching {};

TEST_F(ProgramPanel, SelectingARowLoadsItsGuideOnce) {
    size_t mark = standin_log().size();
    set_selected(2, true);
    EXPECT_EQ(count_log(mark, "\\x01" "epg\\x01" "103\\x0d"), 1u);
    EXPECT_EQ(count_log(mark, "\\x01" "epg\\x01"), 1u);
    EXPECT_EQ(epg_channel, 2);
    EXPECT_GT(SendDlgItemMessageW(program_panel, IDC_EPG_LIST, LVM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(cell_text(IDC_EPG_LIST, 0, 0).size(), 5u);  // "HH:MM"
}

// The colour the channel table shows at the right end of a row's name cell,
// as drawn on the screen.
COLORREF row_colour(HWND list, int32_t row) {
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT cell;
    memset(&cell, 0, sizeof cell);
    cell.top = 1;  // the column
    cell.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
    HDC dc = GetDC(list);
    COLORREF colour = GetPixel(dc, cell.right - 3, (cell.top + cell.bottom) / 2);
    ReleaseDC(list, dc);
    return colour;
}

TEST_F(ProgramPanel, TheBlueRowFollowsTheCurrentChannel) {
    show_program_panel();
    HWND list = channels();
    for (int32_t row : {1, 2, 0}) {
        size_t mark = standin_log().size();
        if (row == 0) select_first_channel();
        else select_next_channel();
        ASSERT_EQ(playing_channel, row);
        ASSERT_FALSE(wait_for_log(mark, "GET /live", 5000).empty());
        pump(400);  // the table is drawn at the panel's next turn
        for (int32_t other = 0; other < 3; ++other)
            EXPECT_EQ(row_colour(list, other), other == row ? RGB(0, 0, 255) : RGB(0, 0, 0))
                << "row " << other << " while row " << row << " plays";
    }
}

}  // namespace
