#include "base/app.h"

HINSTANCE app_instance;
HBRUSH black_brush;
HWND video_window;

int32_t idle_ticks;

INT_PTR paint_on_black(WPARAM hdc, COLORREF text) {
    SetTextColor(reinterpret_cast<HDC>(hdc), text);
    SetBkMode(reinterpret_cast<HDC>(hdc), TRANSPARENT);
    return reinterpret_cast<INT_PTR>(black_brush);
}

void drag_window(HWND window) {
    SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void hide_panel(HWND panel) {
    ShowWindow(panel, SW_HIDE);
    SetFocus(video_window);
}

void count_panel_tick(HWND panel, int32_t* ticks) {
    *ticks += 1;
    if (*ticks > 10) ShowWindow(panel, SW_HIDE);
}

void show_panel(HWND panel, int32_t* ticks) {
    *ticks = 0;
    ShowWindow(panel, SW_SHOW);
}

void press_on_overlay() {
    idle_ticks = 0;
    drag_window(video_window);
}

INT_PTR captioned_panel_message(HWND panel, UINT message, WPARAM wparam, int32_t* ticks) {
    switch (message) {
    case WM_TIMER:
        count_panel_tick(panel, ticks);
        return 0;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return paint_on_black(wparam, RGB(255, 0, 0));
    case WM_LBUTTONDOWN:
        drag_window(panel);
        return 0;
    default:
        return FALSE;
    }
}

INT_PTR overlay_message(UINT message, WPARAM wparam) {
    switch (message) {
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return paint_on_black(wparam, RGB(255, 0, 0));
    case WM_LBUTTONDOWN:
        press_on_overlay();
        return 0;
    default:
        return FALSE;
    }
}
