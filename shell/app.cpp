#include "shell/app.h"

HINSTANCE app_instance;
HBRUSH black_brush;
HWND video_window;

int32_t idle_ticks;

void reset_idle_ticks() { idle_ticks = 0; }

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
