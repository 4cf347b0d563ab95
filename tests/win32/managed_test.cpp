// The program in a Wine prefix that leaves its windows to the window manager,
// as a user's own prefix does (Wine's default; the prefixes of the tests and
// of the Debian package draw the frames themselves). The lane of this suite
// gives Wine that setting (TVCLIENT_MANAGED). The player draws into the X11
// window Wine made for the video window: a toggle that made Wine replace it
// would start the stream again, with a new request to its host.
#include "tests/win32/prelude.h"

namespace {

class Managed : public Watching {
protected:
    void SetUp() override {
        Watching::SetUp();
        char value[8] = "";
        DWORD size = sizeof value;
        RegGetValueA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", "Managed", RRF_RT_REG_SZ, nullptr, value, &size);
        ASSERT_STREQ(value, "Y") << "the lane's prefix does not leave its windows to the window manager";
    }
};

uintptr_t x11_window() {
    return reinterpret_cast<uintptr_t>(GetPropA(video_window, "__wine_x11_whole_window"));
}

// Fullscreen and back with F and Esc and with the double-click's toggle:
// the picture plays on in the same X11 window, and the host is asked for
// nothing new.
TEST_F(Managed, FullscreenRoundTripsKeepThePictureAndAskTheHostForNothing) {
    ASSERT_TRUE(time_advances(15000));
    uintptr_t before = x11_window();
    ASSERT_NE(before, 0u);
    size_t mark = standin_log().size();
    ASSERT_TRUE(click_window(video_window));
    for (int32_t i = 0; i < 3; ++i) {
        type_key('F');
        ASSERT_TRUE(IsZoomed(video_window)) << i;
        pump(400);
        EXPECT_EQ(x11_window(), before) << "fullscreen " << i + 1;
        type_key(VK_ESCAPE);
        ASSERT_FALSE(IsZoomed(video_window)) << i;
        toggle_fullscreen(video_window);
        pump(400);
        toggle_fullscreen(video_window);
        pump(400);
        EXPECT_EQ(x11_window(), before) << "round trip " << i + 1;
    }
    EXPECT_EQ(count_log(mark, "GET /live"), 0u);
    EXPECT_TRUE(time_advances(5000)) << "the picture goes on after the toggles";
}

}  // namespace
