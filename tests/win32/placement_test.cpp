// The video window's place on a desktop whose work area is not the whole
// screen, as on Windows with a taskbar at the top. The lane of this suite
// gives Wine such a desktop: a 40-pixel band at the top of its 1280 x 800
// screen (TVCLIENT_WORK_AREA, the root window's _NET_WORKAREA).
#include "tests/win32/prelude.h"

#include "shell/geometry.h"

namespace {

class Placement : public Watching {
protected:
    void SetUp() override {
        Watching::SetUp();
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        ASSERT_EQ(work.top, 40) << "the lane gives Wine no work area below a band";
    }
    RECT work = {0, 0, 0, 0};
};

RECT window_rect() {
    RECT r;
    GetWindowRect(video_window, &r);
    return r;
}

// "Винаги отгоре" centres the window on its monitor's work area, not on the
// whole screen.
TEST_F(Placement, AlwaysOnTopCentresTheWindowInTheWorkArea) {
    MoveWindow(video_window, 7, 300, 500, 300, TRUE);
    for (int32_t i = 0; i < 2; ++i) {
        choose_menu_item(IDM_ALWAYS_ON_TOP);
        RECT r = window_rect();
        rect32 w = {static_cast<int32_t>(r.left), static_cast<int32_t>(r.top), static_cast<int32_t>(r.right),
                    static_cast<int32_t>(r.bottom)};
        rect32 area = {static_cast<int32_t>(work.left), static_cast<int32_t>(work.top),
                       static_cast<int32_t>(work.right), static_cast<int32_t>(work.bottom)};
        point32 at = centred_origin(w, area);
        EXPECT_EQ(r.left, at.x) << i;
        EXPECT_EQ(r.top, at.y) << i;
    }
}

// Fullscreen and back, twenty times, with F and with Esc: the window comes
// back where it was, to the pixel.
TEST_F(Placement, FullscreenRoundTripsLeaveTheWindowWhereItWas) {
    MoveWindow(video_window, 100, 120, 640, 360, TRUE);
    pump(100);
    RECT before = window_rect();
    ASSERT_TRUE(click_window(video_window));
    for (int32_t i = 0; i < 20; ++i) {
        if (i % 2 == 0) {
            toggle_fullscreen(video_window);
            ASSERT_TRUE(IsZoomed(video_window)) << i;
            toggle_fullscreen(video_window);
        } else {
            type_key('F');
            ASSERT_TRUE(IsZoomed(video_window)) << i;
            type_key(VK_ESCAPE);
        }
        ASSERT_FALSE(IsZoomed(video_window)) << i;
        RECT after = window_rect();
        ASSERT_EQ(after.left, before.left) << "round trip " << i + 1;
        ASSERT_EQ(after.top, before.top) << "round trip " << i + 1;
        ASSERT_EQ(after.right, before.right) << "round trip " << i + 1;
        ASSERT_EQ(after.bottom, before.bottom) << "round trip " << i + 1;
    }
}

// Fullscreen covers the whole monitor the window is on, the taskbar's band
// too, as a television picture should.
TEST_F(Placement, FullscreenCoversTheWholeMonitor) {
    MoveWindow(video_window, 100, 120, 640, 360, TRUE);
    toggle_fullscreen(video_window);
    ASSERT_TRUE(IsZoomed(video_window));
    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(video_window, MONITOR_DEFAULTTONEAREST), &monitor));
    RECT client;
    GetClientRect(video_window, &client);
    MapWindowPoints(video_window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    toggle_fullscreen(video_window);
    EXPECT_EQ(client.left, monitor.rcMonitor.left);
    EXPECT_EQ(client.top, monitor.rcMonitor.top);
    EXPECT_EQ(client.right, monitor.rcMonitor.right);
    EXPECT_EQ(client.bottom, monitor.rcMonitor.bottom);
}

}  // namespace
