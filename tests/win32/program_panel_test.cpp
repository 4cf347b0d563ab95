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

TEST_F(ProgramPanel, TheBlueRowFollowsTheCurrentChannel) {
    NMLVCUSTOMDRAW draw;
    memset(&draw, 0, sizeof draw);
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    EXPECT_EQ(draw_channel_cell(&draw), static_cast<LRESULT>(CDRF_NOTIFYITEMDRAW));
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
    draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(current_channel);
    EXPECT_EQ(draw_channel_cell(&draw), static_cast<LRESULT>(CDRF_NEWFONT));
    EXPECT_EQ(draw.clrText, RGB(255, 255, 255));
    EXPECT_EQ(draw.clrTextBk, RGB(0, 0, 255));
    draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(current_channel + 1);
    draw_channel_cell(&draw);
    EXPECT_EQ(draw.clrTextBk, RGB(0, 0, 0));
    draw.nmcd.dwDrawStage = CDDS_POSTPAINT;
    EXPECT_EQ(draw_channel_cell(&draw), static_cast<LRESULT>(CDRF_DODEFAULT));
}

}  // namespace
