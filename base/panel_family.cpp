#include "base/panel_family.h"

#include "base/scale.h"

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

uint32_t window_dpi(HWND window) {
    // Looked up rather than imported: Windows 7 and 8 have no such function,
    // and the program must still start there.
    typedef UINT(WINAPI * dpi_for_window)(HWND);
    static dpi_for_window for_window = reinterpret_cast<dpi_for_window>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    uint32_t dpi = 0;
    if (for_window != nullptr && window != nullptr) dpi = for_window(window);
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = static_cast<uint32_t>(GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
    }
    return dpi == 0 ? standard_dpi : dpi;
}

void fit_on_monitor(HWND panel, int32_t shrinking_child) {
    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(panel, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    RECT r;
    GetWindowRect(panel, &r);
    LONG width = r.right - r.left;
    LONG height = r.bottom - r.top;
    if (height > work.bottom - work.top) height = work.bottom - work.top;
    LONG x = r.left;
    LONG y = r.top;
    if (x + width > work.right) x = work.right - width;
    if (x < work.left) x = work.left;
    if (y + height > work.bottom) y = work.bottom - height;
    if (y < work.top) y = work.top;
    if (x != r.left || y != r.top || height != r.bottom - r.top) MoveWindow(panel, x, y, width, height, TRUE);

    // The list that ran past the panel's (or the screen's) bottom ends where
    // the panel's margin begins, as the template has it at a smaller scale.
    HWND child = GetDlgItem(panel, shrinking_child);
    RECT c;
    if (child == nullptr || !GetWindowRect(child, &c)) return;
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&c), 2);
    RECT client;
    GetClientRect(panel, &client);
    RECT margin = {0, 0, 0, 10};
    MapDialogRect(panel, &margin);
    LONG last = client.bottom - margin.bottom;
    if (c.bottom > last && last > c.top)
        MoveWindow(child, c.left, c.top, c.right - c.left, last - c.top, TRUE);
}

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
