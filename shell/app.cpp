#include "shell/app.h"

HINSTANCE app_instance;
HMENU popup_menu;
HBRUSH black_brush;
HFONT big_font;
HFONT small_font;

HWND video_window;
HWND control_bar;
HWND user_panel;
HWND help_panel;
HWND exit_button;
HWND info_panel;
HWND program_panel;

int32_t idle_ticks;
int32_t help_panel_ticks;
int32_t program_panel_ticks;
int32_t user_panel_ticks;

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

void press_on_overlay() {
    idle_ticks = 0;
    drag_window(video_window);
}
