// The channel table and the guide: what they hold and how they are drawn.
#include "tests/win32/prelude.h"

namespace {

class ChannelTables : public Watching {};

TEST_F(ChannelTables, TheChannelTableHoldsEveryRecordWithItsHiddenCells) {
    EXPECT_EQ(SendMessageW(channels(), LVM_GETITEMCOUNT, 0, 0), 12);
    EXPECT_EQ(last_channel, 11);
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 0), "  1");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 1), "Новини 24");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 2), "10 мин");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 3), standin_address() + "/live?ch=101");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 4), "101");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 0, 5), "0");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 11, 0), " 12");
    EXPECT_EQ(cell_text(IDC_CHANNEL_LIST, 10, 5), "1234");
    // The hidden columns take no width.
    EXPECT_EQ(SendMessageW(channels(), LVM_GETCOLUMNWIDTH, 3, 0), 0);
    EXPECT_EQ(SendMessageW(channels(), LVM_GETCOLUMNWIDTH, 1, 0), 140);
}

// Rows scrolled through by a table's vertical scroll bar.
int32_t scroll_rows(HWND list) {
    SCROLLINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE;
    if (!GetScrollInfo(list, SB_VERT, &info)) return 0;
    return info.nMax - info.nMin + 1;
}

// Drawing switched back on for the guide, counted by its window procedure.
WNDPROC guide_proc;
int32_t guide_redraws;

LRESULT CALLBACK counting_guide_proc(HWND list, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_SETREDRAW && wparam) guide_redraws += 1;
    return CallWindowProcW(guide_proc, list, message, wparam, lparam);
}

// The tables are filled with their drawing held, and must take up drawing
// (their scroll bars included) once full: once, and after the fill, so that
// a channel change does not wait for the drawing.
TEST_F(ChannelTables, TablesAreDrawnAgainOnceFilled) {
    HWND guide = GetDlgItem(program_panel, IDC_EPG_LIST);
    ShowWindow(program_panel, SW_SHOW);
    SendMessageW(guide, LVM_DELETEALLITEMS, 0, 0);
    pump(50);
    EXPECT_LE(scroll_rows(guide), 1);
    guide_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(guide, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(counting_guide_proc)));
    guide_redraws = 0;
    // The guide shown stays the one of the same channel.
    int32_t row = epg_channel >= 0 ? epg_channel : 0;
    fill_epg_list(row);
    epg_channel = row;
    EXPECT_EQ(guide_redraws, 0) << "drawn within the fill";
    EXPECT_GT(SendMessageW(guide, LVM_GETITEMCOUNT, 0, 0), 20) << "the rows are there to read before drawing";
    pump(600);
    SetWindowLongPtrW(guide, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(guide_proc));
    EXPECT_EQ(guide_redraws, 1);
    int32_t rows = static_cast<int32_t>(SendMessageW(guide, LVM_GETITEMCOUNT, 0, 0));
    EXPECT_GT(rows, 20);
    EXPECT_EQ(scroll_rows(guide), rows) << "the guide's scroll bar covers its rows";
    EXPECT_TRUE(GetWindowLongW(guide, GWL_STYLE) & WS_VISIBLE);
}

}  // namespace
