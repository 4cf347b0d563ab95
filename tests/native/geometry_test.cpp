#include "base/geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(Geometry, CentreAndLayout) {
    rect32 desktop = {0, 0, 1280, 800};
    point32 p = centred_origin({10, 10, 360, 210}, desktop);
    EXPECT_EQ(p.x, 640 - 175);
    EXPECT_EQ(p.y, 400 - 100 - 15);
    p = centred_origin({0, 0, 351, 201}, desktop);  // halves truncate on their own
    EXPECT_EQ(p.x, 640 - 175);
    EXPECT_EQ(p.y, 400 - 100 - 15);

    rect32 video = {100, 50, 500, 350};
    panel_layout l = overlay_places(video, {0, 0, 520, 200});
    EXPECT_EQ(l.exit_button.left, 465);  // 29 pixels beyond the right edge with its 64
    EXPECT_EQ(l.exit_button.top, 55);
    EXPECT_EQ(l.info_panel.left, 110);
    EXPECT_EQ(l.info_panel.top, 60);
    EXPECT_EQ(l.control_bar.left, 100 + 200 - 260);  // from its size before the move
    EXPECT_EQ(l.control_bar.top, 350 - 200);
    EXPECT_EQ(l.control_bar.right, 330);
    EXPECT_EQ(l.control_bar.bottom, 146);
    l = overlay_places(video, {0, 0, 330, 146});
    EXPECT_EQ(l.control_bar.left, 100 + 200 - 165);
    EXPECT_EQ(l.control_bar.top, 350 - 146);
}

}  // namespace
