#include "shell/geometry.h"

#include <gtest/gtest.h>

namespace {

// 15 pixels above the middle of the desktop; only the window's size counts,
// and each half is truncated on its own, so 351 x 201 goes where 350 x 200 does.
TEST(Geometry, TheWindowIsCentredFifteenPixelsAboveTheDesktopsMiddle) {
    const rect32 desktop = {0, 0, 1280, 800};
    const rect32 windows[] = {{0, 0, 350, 200}, {10, 10, 361, 211}, {-500, -300, -150, -100}};
    for (const rect32& w : windows) {
        point32 p = centred_origin(w, desktop);
        EXPECT_EQ(p.x, 465) << w.left;
        EXPECT_EQ(p.y, 285) << w.left;
    }
    point32 p = centred_origin({0, 0, 400, 300}, {0, 0, 1920, 1080});  // after "Винаги отгоре"
    EXPECT_EQ(p.x, 760);
    EXPECT_EQ(p.y, 375);
}

// The overlays' places for windows of odd sizes and negative origins: the
// exit button reaches 29 pixels beyond the right edge; the info panel sits
// 10 pixels in from the top left corner; the control bar (once it has its
// own 330 x 146) is centred on the window with its bottom on the window's.
TEST(Geometry, TheOverlaysSitOnTheVideoWindow) {
    const rect32 windows[] = {{100, 50, 500, 350}, {-1280, -20, -929, 181}, {0, 0, 1920, 1080}, {7, 3, 358, 204}};
    for (const rect32& v : windows) {
        panel_layout l = overlay_places(v, {0, 0, 330, 146});
        EXPECT_EQ(l.exit_button.left + l.exit_button.right, v.right + 29) << v.left;
        EXPECT_EQ(l.exit_button.top, v.top + 5);
        EXPECT_EQ(l.exit_button.right, 64);
        EXPECT_EQ(l.exit_button.bottom, 64);
        EXPECT_EQ(l.info_panel.left, v.left + 10);
        EXPECT_EQ(l.info_panel.top, v.top + 10);
        EXPECT_EQ(l.info_panel.right, 300);
        EXPECT_EQ(l.info_panel.bottom, 120);
        EXPECT_EQ(l.control_bar.right, 330);
        EXPECT_EQ(l.control_bar.bottom, 146);
        EXPECT_EQ(l.control_bar.top + 146, v.bottom);
        // Its middle and the window's differ by the truncation only.
        int32_t bar_middle2 = 2 * l.control_bar.left + 330;
        int32_t window_middle2 = v.left + v.right;
        EXPECT_LE(bar_middle2 - window_middle2, 1) << v.left;
        EXPECT_GE(bar_middle2 - window_middle2, -1) << v.left;
    }
    // The first layout places the bar from its size before the move: the
    // template's, not yet its own.
    panel_layout first = overlay_places({100, 50, 500, 350}, {0, 0, 520, 200});
    EXPECT_EQ(first.control_bar.left, 40);
    EXPECT_EQ(first.control_bar.top, 150);
}

}  // namespace
