#include "base/panel_family.h"

namespace {
HBRUSH panel_background;
HWND owner_window;
void (*user_activity)();
}  // namespace

void set_panel_background(HBRUSH background) { panel_background = background; }

void set_panel_owner(HWND owner, void (*activity)()) {
    owner_window = owner;
    user_activity = activity;
}

HWND panel_owner() { return owner_window; }

void note_user_activity() {
    if (user_activity != nullptr) user_activity();
}

INT_PTR paint_on_black(WPARAM hdc, COLORREF text) {
    SetTextColor(reinterpret_cast<HDC>(hdc), text);
    SetBkMode(reinterpret_cast<HDC>(hdc), TRANSPARENT);
    return reinterpret_cast<INT_PTR>(panel_background);
}

void drag_window(HWND window) {
    SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void hide_panel(HWND panel) {
    ShowWindow(panel, SW_HIDE);
    SetFocus(owner_window);
}

void count_panel_tick(HWND panel, int32_t* ticks) {
    *ticks += 1;
    if (*ticks > 10) ShowWindow(panel, SW_HIDE);
}

void show_panel(HWND panel, int32_t* ticks) {
    *ticks = 0;
    ShowWindow(panel, SW_SHOW);
}

void raise_panel(HWND panel) {
    SetWindowPos(panel, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void press_on_overlay() {
    note_user_activity();
    drag_window(owner_window);
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
