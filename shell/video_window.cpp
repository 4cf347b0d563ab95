#include "shell/video_window.h"

#include "shell/app.h"
#include "shell/geometry.h"

WINDOWPLACEMENT video_placement;
RECT normal_rect;

namespace {

rect32 to_rect32(const RECT& r) {
    rect32 out = {static_cast<int32_t>(r.left), static_cast<int32_t>(r.top), static_cast<int32_t>(r.right),
                  static_cast<int32_t>(r.bottom)};
    return out;
}

}  // namespace

void center_on_desktop(HWND window) {
    RECT w;
    RECT d;
    GetWindowRect(window, &w);
    GetWindowRect(GetDesktopWindow(), &d);
    point32 at = centre_on(to_rect32(w), to_rect32(d));
    MoveWindow(window, at.x, at.y, w.right - w.left, w.bottom - w.top, TRUE);
}

void restore_windowed(HWND window) {
    SetWindowLongW(window, GWL_STYLE, WS_POPUP | WS_THICKFRAME);
    ShowWindow(window, SW_SHOWNORMAL);
    MoveWindow(window, normal_rect.left, normal_rect.top, normal_rect.right - normal_rect.left,
               normal_rect.bottom - normal_rect.top, TRUE);
}

LRESULT CALLBACK video_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_GETMINMAXINFO: {
        MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lparam);
        limits->ptMinTrackSize.x = 350;
        limits->ptMinTrackSize.y = 200;
        return 0;
    }
    case WM_COMMAND:
        return 0;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return paint_on_black(wparam, RGB(255, 0, 0));
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}
