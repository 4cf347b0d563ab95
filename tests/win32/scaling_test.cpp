// The overlays at the desktop's scale. Every lane of the suite runs these;
// the scaling lanes give Wine a desktop at 120 (on a 1366 x 768 screen), 144
// and 192 DPI through the prefix's LogPixels (TVCLIENT_DPI), where the
// program's own sizes must grow in proportion; at 96 they are as they always
// were.
#include "tests/win32/prelude.h"

#include "base/utf.h"

#include <commctrl.h>

#include <cstdlib>
#include <vector>

namespace {

uint32_t lane_dpi() {
    const char* dpi = getenv("TVCLIENT_DPI");
    return dpi != nullptr && *dpi != '\0' ? static_cast<uint32_t>(atoi(dpi)) : 96;
}

// A size of the program at 96 DPI, at the lane's scale, rounded as Windows
// rounds.
LONG at_scale(LONG pixels) { return MulDiv(pixels, static_cast<int>(lane_dpi()), 96); }

RECT rect_of(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

std::string narrow(const WCHAR* text) {
    char out[128];
    utf16_to_utf8(reinterpret_cast<const char16_t*>(text), out, sizeof out);
    return out;
}

bool inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

class Scaling : public Watching {
protected:
    void SetUp() override {
        Watching::SetUp();
        ASSERT_EQ(window_dpi(video_window), lane_dpi()) << "the lane gives Wine another scale";
        // The window at its smallest, where start-up puts it, centred again.
        MINMAXINFO limits;
        memset(&limits, 0, sizeof limits);
        SendMessageW(video_window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        MoveWindow(video_window, 0, 0, limits.ptMinTrackSize.x, limits.ptMinTrackSize.y, TRUE);
        MoveWindow(video_window, 0, 0, limits.ptMinTrackSize.x, limits.ptMinTrackSize.y, TRUE);
        center_on_desktop(video_window);
        pump(100);
    }
};

HWND toolbar_of(HWND overlay) {
    return FindWindowExW(GetDlgItem(overlay, IDC_TOOLBAR_HOST), nullptr, L"ToolbarWindow32", nullptr);
}

// The screen rectangles of a toolbar's buttons.
std::vector<RECT> buttons_of(HWND overlay) {
    std::vector<RECT> out;
    HWND toolbar = toolbar_of(overlay);
    int32_t n = static_cast<int32_t>(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int32_t i = 0; i < n; ++i) {
        RECT r;
        SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&r), 2);
        out.push_back(r);
    }
    return out;
}

// The exit button, the info panel, the control bar and the video window's
// smallest size, the info panel's fonts and the toolbars' pictures: their
// 96-DPI sizes times the scale.
TEST_F(Scaling, TheOverlaysGrowWithTheDesktopsScale) {
    RECT exit = rect_of(exit_button);
    RECT info = rect_of(info_panel);
    RECT bar = rect_of(control_bar);
    RECT video = rect_of(video_window);
    EXPECT_EQ(exit.right - exit.left, at_scale(64));
    EXPECT_EQ(exit.bottom - exit.top, at_scale(64));
    EXPECT_EQ(exit.left, video.right - at_scale(35));
    EXPECT_EQ(info.right - info.left, at_scale(300));
    EXPECT_EQ(info.bottom - info.top, at_scale(120));
    EXPECT_EQ(info.top, video.top + at_scale(10));
    EXPECT_EQ(bar.right - bar.left, at_scale(330));
    EXPECT_EQ(bar.bottom - bar.top, at_scale(146));
    EXPECT_EQ(video.right - video.left, at_scale(350));
    EXPECT_EQ(video.bottom - video.top, at_scale(200));

    LOGFONTW name_font;
    LOGFONTW line_font;
    HFONT name = reinterpret_cast<HFONT>(SendDlgItemMessageW(info_panel, IDC_INFO_NAME, WM_GETFONT, 0, 0));
    HFONT line = reinterpret_cast<HFONT>(SendDlgItemMessageW(info_panel, IDC_INFO_NOW, WM_GETFONT, 0, 0));
    ASSERT_EQ(GetObjectW(name, sizeof name_font, &name_font), static_cast<int>(sizeof name_font));
    ASSERT_EQ(GetObjectW(line, sizeof line_font, &line_font), static_cast<int>(sizeof line_font));
    EXPECT_EQ(name_font.lfHeight, at_scale(28));
    EXPECT_EQ(line_font.lfHeight, at_scale(14));

    for (HWND overlay : {control_bar, exit_button}) {
        int cx = 0;
        int cy = 0;
        HIMAGELIST pictures = reinterpret_cast<HIMAGELIST>(SendMessageW(toolbar_of(overlay), TB_GETIMAGELIST, 0, 0));
        ASSERT_TRUE(ImageList_GetIconSize(pictures, &cx, &cy));
        EXPECT_EQ(cx, at_scale(25));
        EXPECT_EQ(cy, at_scale(25));
    }
}

// In their places on the smallest window: every toolbar button and the
// volume slider lie inside their overlay, each of the info panel's lines
// (a line of its font) inside the panel, and no overlay's content covers
// another's.
TEST_F(Scaling, NoOverlayIsCutOffOrCoversAnother) {
    RECT bar = rect_of(control_bar);
    RECT exit = rect_of(exit_button);
    RECT info = rect_of(info_panel);
    struct piece {
        RECT r;
        int32_t overlay;
        const char* what;
    };
    std::vector<piece> pieces;
    for (const RECT& b : buttons_of(control_bar)) pieces.push_back({b, 0, "a control bar button"});
    for (const RECT& b : buttons_of(exit_button)) pieces.push_back({b, 1, "the exit button"});
    RECT slider = rect_of(GetDlgItem(control_bar, IDC_VOLUME_SLIDER));
    slider.right = slider.right < bar.right ? slider.right : bar.right;  // its track runs on under the edge
    pieces.push_back({slider, 0, "the volume slider"});
    for (int32_t id : {IDC_INFO_NAME, IDC_INFO_NOW, IDC_INFO_NEXT}) {
        HWND line = GetDlgItem(info_panel, id);
        LOGFONTW font;
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(line, WM_GETFONT, 0, 0)), sizeof font, &font);
        RECT r = rect_of(line);
        r.right = info.right;  // the text is cut by the panel's edge, as it always was
        r.bottom = r.top + (font.lfHeight < 0 ? -font.lfHeight : font.lfHeight);
        pieces.push_back({r, 2, "an info line"});
    }
    const RECT overlays[] = {bar, exit, info};
    ASSERT_EQ(buttons_of(control_bar).size(), 10u);
    for (const piece& p : pieces) EXPECT_TRUE(inside(p.r, overlays[p.overlay])) << p.what << " is cut off";
    for (const piece& a : pieces)
        for (const piece& b : pieces) {
            RECT both;
            if (a.overlay < b.overlay) {
                EXPECT_FALSE(IntersectRect(&both, &a.r, &b.r)) << a.what << " / " << b.what;
            }
        }
}

// The program panel lies inside the work area, with its lists inside it,
// even at 125 % on a 1366 x 768 screen (the scaling lane at 120 DPI).
TEST_F(Scaling, TheProgramPanelFitsTheScreen) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT panel = rect_of(program_panel);
    EXPECT_TRUE(inside(panel, work)) << panel.left << "," << panel.top << " " << panel.right << "," << panel.bottom;
    for (int32_t id : {IDC_EPG_LIST, IDC_CHANNEL_LIST}) {
        RECT list = rect_of(GetDlgItem(program_panel, id));
        EXPECT_TRUE(inside(list, panel)) << id << " " << list.left << "," << list.top << " " << list.right << "," << list.bottom << " in " << panel.left << "," << panel.top << " " << panel.right << "," << panel.bottom;
        EXPECT_GT(list.bottom - list.top, at_scale(60)) << id;
    }
}

// Moved to a monitor of another scale (Windows sends the new scale and the
// rectangle it proposes there): the window takes that rectangle, and the
// info panel's fonts and the toolbars' pictures are made for the new scale.
TEST_F(Scaling, AMoveToAMonitorOfAnotherScaleRedrawsTheOverlaysForIt) {
    auto change_to = [](uint32_t dpi, RECT proposed) {
        SendMessageW(video_window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&proposed));
    };
    RECT before = rect_of(video_window);
    uint32_t other = lane_dpi() == 192 ? 96 : 192;
    // (Under Wine the window's own scale stays the lane's: the proposal is
    // above the smallest size at either scale.)
    RECT proposed = {200, 100, 1000, 550};
    change_to(other, proposed);
    RECT after = rect_of(video_window);
    LOGFONTW font;
    GetObjectW(reinterpret_cast<HFONT>(SendDlgItemMessageW(info_panel, IDC_INFO_NAME, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    int cx = 0;
    int cy = 0;
    ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageW(toolbar_of(exit_button), TB_GETIMAGELIST, 0, 0)),
                          &cx, &cy);
    change_to(lane_dpi(), before);
    EXPECT_EQ(after.left, proposed.left);
    EXPECT_EQ(after.top, proposed.top);
    EXPECT_EQ(after.right, proposed.right);
    EXPECT_EQ(after.bottom, proposed.bottom);
    EXPECT_EQ(font.lfHeight, MulDiv(28, static_cast<int>(other), 96));
    EXPECT_EQ(cx, MulDiv(25, static_cast<int>(other), 96));
    // And back.
    GetObjectW(reinterpret_cast<HFONT>(SendDlgItemMessageW(info_panel, IDC_INFO_NAME, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    EXPECT_EQ(font.lfHeight, at_scale(28));
}

// The program tells Windows that it draws at each monitor's scale itself
// (and at the desktop's on Windows before 10's per-monitor scales).
TEST(ScalingManifest, TheProgramDeclaresItselfAwareOfEachMonitorsScale) {
    WCHAR value[64];
    SIZE_T written = 0;
    ASSERT_TRUE(QueryActCtxSettingsW(0, nullptr, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                                     L"dpiAwareness", value, countof(value), &written));
    EXPECT_EQ(narrow(value), "PerMonitorV2, System");
    ASSERT_TRUE(QueryActCtxSettingsW(0, nullptr, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                                     L"dpiAware", value, countof(value), &written));
    EXPECT_EQ(narrow(value), "true");
}

}  // namespace
