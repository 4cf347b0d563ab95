#include "shell/video_window.h"

#include "account/keepalive.h"
#include "shell/app.h"
#include "shell/geometry.h"
#include "playback/channel_tables.h"
#include "playback/info_panel.h"
#include "playback/player.h"
#include "shell/panels.h"

#include <cstring>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

WINDOWPLACEMENT video_placement;
RECT normal_rect;
uint16_t last_mouse_x;
uint16_t last_mouse_y;

namespace {

rect32 to_rect32(const RECT& r) {
    rect32 out = {static_cast<int32_t>(r.left), static_cast<int32_t>(r.top), static_cast<int32_t>(r.right),
                  static_cast<int32_t>(r.bottom)};
    return out;
}

void auto_hide_step() {
    idle_ticks += 1;
    if (idle_ticks > 5) {
        SetCursor(nullptr);
        ShowWindow(control_bar, SW_HIDE);
        ShowWindow(exit_button, SW_HIDE);
        ShowWindow(info_panel, SW_HIDE);
    }
}

void watchdog_step(HWND window) {
    watchdog_tick();
    EnumChildWindows(window, disable_child_window, 0);
}

void activity_check(LPARAM lparam) {
    uint16_t x = static_cast<uint16_t>(lparam & 0xFFFF);
    uint16_t y = static_cast<uint16_t>((lparam >> 16) & 0xFFFF);
    if (y == last_mouse_y && x == last_mouse_x) return;
    idle_ticks = 0;
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    if (!IsWindowVisible(exit_button) || !IsWindowVisible(control_bar) || !IsWindowVisible(info_panel)) {
        // Shown on top without taking the activation: the keys stay with
        // the window that has them (a moved mouse is not a click).
        ShowWindow(exit_button, SW_SHOWNA);
        ShowWindow(control_bar, SW_SHOWNA);
        ShowWindow(info_panel, SW_SHOWNA);
        // The program panel back above them, where it was the topmost.
        if (IsWindowVisible(program_panel)) raise_panel(program_panel);
    }
    last_mouse_x = x;
    last_mouse_y = y;
}

void drag(HWND window) {
    WINDOWPLACEMENT placement;
    read_placement(window, &placement);
    if (placement.showCmd != SW_SHOWMAXIMIZED) SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void open_context_menu(HWND window) {
    idle_ticks = 0;
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    POINT at;
    GetCursorPos(&at);
    TrackPopupMenu(popup_menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
}

// Moved to a monitor of another scale: the window takes the size Windows
// proposes for it there, and the overlays, their pictures and the info
// panel's fonts follow.
void fit_to_new_dpi(HWND window, uint32_t dpi, const RECT* proposed) {
    fit_overlays_to_dpi(dpi);
    fit_info_fonts(info_panel, dpi);
    if (!IsZoomed(window))
        SetWindowPos(window, nullptr, proposed->left, proposed->top, proposed->right - proposed->left,
                     proposed->bottom - proposed->top, SWP_NOZORDER | SWP_NOACTIVATE);
    layout_panels();
}

// A monitor was taken away or the screens changed: a window left on no
// monitor is brought back, centred on the nearest one.
void keep_on_a_monitor(HWND window) {
    if (!IsZoomed(window) && MonitorFromWindow(window, MONITOR_DEFAULTTONULL) == nullptr) center_on_desktop(window);
}

}  // namespace

void read_placement(HWND window, WINDOWPLACEMENT* placement) {
    memset(placement, 0, sizeof *placement);
    placement->length = sizeof *placement;
    GetWindowPlacement(window, placement);
}

BOOL CALLBACK disable_child_window(HWND child, LPARAM) {
    EnableWindow(child, FALSE);
    return TRUE;
}

void layout_panels() {
    idle_ticks = 0;
    // Layout requests while the window is being created find no panels yet.
    if (video_window == nullptr || control_bar == nullptr || info_panel == nullptr || exit_button == nullptr)
        return;
    RECT v;
    RECT b;
    GetWindowRect(video_window, &v);
    GetWindowRect(control_bar, &b);
    panel_layout l = overlay_places(to_rect32(v), to_rect32(b), window_dpi(video_window));
    MoveWindow(exit_button, l.exit_button.left, l.exit_button.top, l.exit_button.right, l.exit_button.bottom, TRUE);
    MoveWindow(info_panel, l.info_panel.left, l.info_panel.top, l.info_panel.right, l.info_panel.bottom, TRUE);
    MoveWindow(control_bar, l.control_bar.left, l.control_bar.top, l.control_bar.right, l.control_bar.bottom, TRUE);
}

void center_on_desktop(HWND window) {
    RECT w;
    RECT d;
    GetWindowRect(window, &w);
    // The work area of the monitor the window is on: the desktop window is
    // the primary monitor alone on Windows (all of them under Wine), and a
    // taskbar takes its part of the monitor.
    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) d = monitor.rcWork;
    else GetWindowRect(GetDesktopWindow(), &d);
    point32 at = centred_origin(to_rect32(w), to_rect32(d), window_dpi(window));
    MoveWindow(window, at.x, at.y, w.right - w.left, w.bottom - w.top, TRUE);
}

void restore_windowed(HWND window) {
    SetWindowLongW(window, GWL_STYLE, WS_POPUP | WS_THICKFRAME);
    // The record's normal rectangle is in workspace coordinates, which are
    // not the screen's where a taskbar sits at the top or the left: it goes
    // back through the record itself, which also keeps it on a monitor that
    // is still there.
    WINDOWPLACEMENT placement;
    read_placement(window, &placement);
    placement.flags = 0;
    placement.showCmd = SW_SHOWNORMAL;
    placement.rcNormalPosition = normal_rect;
    SetWindowPlacement(window, &placement);
    rebind_player_if_replaced(window);
}

void toggle_fullscreen(HWND window) {
    normal_rect = video_placement.rcNormalPosition;
    read_placement(window, &video_placement);
    if (video_placement.showCmd == SW_SHOWMAXIMIZED) {
        restore_windowed(window);
    } else {
        SetWindowLongW(window, GWL_STYLE, WS_DLGFRAME);
        ShowWindow(window, SW_SHOWMAXIMIZED);
        rebind_player_if_replaced(window);
    }
}

LRESULT CALLBACK video_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        SetTimer(window, auto_hide_timer, 1000, nullptr);
        SetTimer(window, watchdog_timer, 2000, nullptr);
        SetTimer(window, keepalive_timer, 60000, nullptr);
        return 0;
    case WM_MOVE:
        layout_panels();
        return 0;
    case WM_GETMINMAXINFO: {
        MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lparam);
        point32 smallest = video_minimum_size(window_dpi(window));
        limits->ptMinTrackSize.x = smallest.x;
        limits->ptMinTrackSize.y = smallest.y;
        layout_panels();
        return 0;
    }
    case WM_CONTEXTMENU:
        open_context_menu(window);
        return 0;
    case WM_DPICHANGED:
        fit_to_new_dpi(window, LOWORD(wparam), reinterpret_cast<const RECT*>(lparam));
        return 0;
    case WM_DISPLAYCHANGE:
        keep_on_a_monitor(window);
        return 0;
    case WM_TIMER:
        if (wparam == auto_hide_timer) auto_hide_step();
        else if (wparam == watchdog_timer) watchdog_step(window);
        else if (wparam == keepalive_timer) keep_session();
        return 0;
    case WM_COMMAND:
        return 0;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return paint_on_black(wparam, RGB(255, 0, 0));
    case WM_MOUSEMOVE:
        activity_check(lparam);
        return 0;
    case WM_LBUTTONDOWN:
        drag(window);
        return 0;
    case WM_LBUTTONDBLCLK:
        toggle_fullscreen(window);
        return 0;
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
