#include "playback/program_panel.h"

#include "shell/app.h"

INT_PTR CALLBACK program_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        program_panel = panel;
        SetTimer(panel, 1, 1000, nullptr);
        return TRUE;
    case WM_TIMER:
        program_panel_ticks += 1;
        if (program_panel_ticks > 10) ShowWindow(panel, SW_HIDE);
        return 0;
    case WM_CLOSE:
        hide_panel(panel);
        return TRUE;
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
