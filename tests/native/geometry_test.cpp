#include "shell/geometry.h"

#include "base/scale.h"

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

// On a monitor that is not the primary one, or on a work area below a
// taskbar, the window is centred on that area, not on the primary monitor's
// origin: to the right of the primary, to its left (negative coordinates),
// and below a 40-pixel band.
TEST(Geometry, TheWindowIsCentredOnItsOwnMonitorsWorkArea) {
    const struct {
        rect32 area;
        int32_t x;
        int32_t y;
    } cases[] = {
        {{1920, 0, 3840, 1040}, 1920 + 960 - 175, 520 - 100 - 15},
        {{-1280, -200, 0, 600}, -1280 + 640 - 175, -200 + 400 - 100 - 15},
        {{0, 40, 1280, 800}, 640 - 175, 40 + 380 - 100 - 15},
    };
    for (const auto& c : cases) {
        point32 p = centred_origin({5, 5, 355, 205}, c.area);
        EXPECT_EQ(p.x, c.x) << c.area.left;
        EXPECT_EQ(p.y, c.y) << c.area.left;
    }
    // At 150 % the 15 pixels are 23 (22.5, rounded as Windows rounds).
    EXPECT_EQ(centred_origin({0, 0, 525, 300}, {0, 0, 1920, 1080}, 144).y, 540 - 150 - 23);
}

// Sizes given at 96 DPI, at a monitor's scale: rounded to the nearest pixel,
// halves away from zero (as MulDiv), unchanged at 96 and where the scale is
// unknown (0), and never wrapping round.
TEST(Geometry, PixelSizesFollowTheMonitorsScale) {
    const struct {
        int32_t pixels;
        uint32_t dpi;
        int32_t scaled;
    } cases[] = {
        {64, 96, 64}, {64, 0, 64}, {64, 120, 80}, {64, 144, 96}, {64, 192, 128}, {35, 144, 53},
        {25, 144, 38}, {5, 120, 6}, {15, 144, 23}, {-35, 144, -53}, {0, 192, 0}, {350, 168, 613},
        {2000000000, 192, INT32_MAX}, {-2000000000, 192, INT32_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(scale_for_dpi(c.pixels, c.dpi), c.scaled) << c.pixels << " at " << c.dpi;
}

// At 150 % every size and offset of the overlays is one and a half times
// its 96-DPI value; the control bar is still centred from its size before
// the move.
TEST(Geometry, TheOverlaysGrowWithTheScale) {
    const rect32 v = {100, 50, 625, 350};
    panel_layout l = overlay_places(v, {0, 0, 495, 219}, 144);
    EXPECT_EQ(l.exit_button.left, 625 - 53);
    EXPECT_EQ(l.exit_button.top, 50 + 8);
    EXPECT_EQ(l.exit_button.right, 96);
    EXPECT_EQ(l.info_panel.left, 115);
    EXPECT_EQ(l.info_panel.right, 450);
    EXPECT_EQ(l.info_panel.bottom, 180);
    EXPECT_EQ(l.control_bar.left, 100 + 262 - 247);
    EXPECT_EQ(l.control_bar.top, 350 - 219);
    EXPECT_EQ(l.control_bar.right, 495);
    EXPECT_EQ(l.control_bar.bottom, 219);
    EXPECT_EQ(video_minimum_size(144).x, 525);
    EXPECT_EQ(video_minimum_size(144).y, 300);
    EXPECT_EQ(video_on_top_size(192).x, 800);
    EXPECT_EQ(video_first_size(120).x, 400);
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
