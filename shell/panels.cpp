#include "shell/panels.h"

#include "account/user_panel.h"
#include "shell/app.h"
#include "base/countof.h"
#include "base/scale.h"
#include "playback/player.h"
#include "playback/program_panel.h"
#include "playback/switching.h"
#include "resources/resource.h"

#include <commctrl.h>

#include <cstring>

HMENU popup_menu;
HWND control_bar;
HWND help_panel;
HWND exit_button;
int32_t help_panel_ticks;

void show_help_panel() { show_panel(help_panel, &help_panel_ticks); }

void set_volume_slider(int32_t position) {
    SendDlgItemMessageW(control_bar, IDC_VOLUME_SLIDER, TBM_SETPOS, TRUE, position);
}

void step_volume(int32_t step) {
    step_player_volume(step);
    set_volume_slider(player_volume());
}

void make_translucent(HWND window, int32_t alpha) {
    LONG style = GetWindowLongW(window, GWL_EXSTYLE);
    SetWindowLongW(window, GWL_EXSTYLE, style | WS_EX_LAYERED);
    SetLayeredWindowAttributes(window, 0, static_cast<BYTE>(alpha & 0xFF), LWA_ALPHA);
}

namespace {

// The keyboard back to the video window. Under Wine a window that takes
// the activation is stacked above the windows it owns (Windows keeps them
// above it): the panels that were over the picture go back over it, in
// their order, without taking the activation.
void give_keys_to_picture() {
    HWND above[16];
    int32_t n = 0;
    for (HWND w = GetTopWindow(nullptr); w != nullptr && w != video_window && n < countof(above);
         w = GetWindow(w, GW_HWNDNEXT))
        if (IsWindowVisible(w) && GetWindow(w, GW_OWNER) == video_window) above[n++] = w;
    SetFocus(video_window);
    for (int32_t i = n - 1; i >= 0; --i) raise_panel(above[i]);
}

// Each overlay's toolbar: its picture strip and its buttons' commands.
struct toolbar_kind {
    int32_t bitmap;
    int32_t first_id;
    int32_t count;
};
const toolbar_kind control_bar_buttons = {IDB_TOOLBAR, IDT_FIRST_CHANNEL, 10};
const toolbar_kind exit_buttons = {IDB_EXIT, IDT_EXIT, 1};

// The toolbar's pictures, 25 pixels square at 96 DPI, drawn at the size of
// the toolbar's monitor (stretched from the strip: the one set of pictures).
void fit_toolbar_pictures(HWND toolbar, const toolbar_kind& kind, uint32_t dpi) {
    int32_t side = scale_for_dpi(25, dpi);
    HIMAGELIST images = ImageList_Create(side, side, ILC_COLOR24 | ILC_MASK, kind.count, 1);
    HBITMAP strip = static_cast<HBITMAP>(LoadImageW(app_instance, MAKEINTRESOURCEW(kind.bitmap), IMAGE_BITMAP,
                                                    side * kind.count, side, LR_DEFAULTCOLOR));
    ImageList_Add(images, strip, nullptr);
    DeleteObject(strip);
    HIMAGELIST old = reinterpret_cast<HIMAGELIST>(
        SendMessageW(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images)));
    if (old != nullptr) ImageList_Destroy(old);
    // The buttons grow with their pictures.
    SendMessageW(toolbar, TB_SETBITMAPSIZE, 0, MAKELONG(side, side));
}

HWND create_toolbar(HWND host, const toolbar_kind& kind) {
    HWND toolbar = CreateWindowExW(0, L"ToolbarWindow32", L"TB", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, host,
                                   nullptr, app_instance, nullptr);
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    fit_toolbar_pictures(toolbar, kind, window_dpi(host));
    SendMessageW(toolbar, TB_SETSTYLE, 0, TBSTYLE_FLAT);
    TBBUTTON buttons[10];
    memset(buttons, 0, sizeof buttons);
    for (int32_t k = 0; k < kind.count && k < countof(buttons); ++k) {
        buttons[k].iBitmap = k;
        buttons[k].idCommand = kind.first_id + k;
        buttons[k].fsState = TBSTATE_ENABLED;
        buttons[k].fsStyle = TBSTYLE_BUTTON;
    }
    SendMessageA(toolbar, TB_ADDBUTTONSA, static_cast<WPARAM>(kind.count), reinterpret_cast<LPARAM>(buttons));
    SetClassLongPtrW(toolbar, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(black_brush));
    SetClassLongPtrW(host, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(black_brush));
    return toolbar;
}

}  // namespace

HWND create_control_bar_toolbar(HWND host) {
    return create_toolbar(host, control_bar_buttons);
}

HWND create_exit_button_toolbar(HWND host) {
    return create_toolbar(host, exit_buttons);
}

void fit_overlays_to_dpi(uint32_t dpi) {
    const struct {
        HWND overlay;
        const toolbar_kind& kind;
    } overlays[] = {{control_bar, control_bar_buttons}, {exit_button, exit_buttons}};
    for (const auto& o : overlays) {
        HWND toolbar = FindWindowExW(GetDlgItem(o.overlay, IDC_TOOLBAR_HOST), nullptr, L"ToolbarWindow32", nullptr);
        if (toolbar != nullptr) fit_toolbar_pictures(toolbar, o.kind, dpi);
    }
}

LRESULT CALLBACK control_bar_command_proc(HWND host, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_COMMAND) return DefWindowProcW(host, message, wparam, lparam);
    idle_ticks = 0;
    switch (wparam) {
    case IDT_FIRST_CHANNEL:
        select_first_channel();
        break;
    case IDT_PREVIOUS_CHANNEL:
        select_previous_channel();
        break;
    case IDT_PLAY:
        play_current_channel();
        break;
    case IDT_STOP:
        stop_playback();
        break;
    case IDT_NEXT_CHANNEL:
        select_next_channel();
        break;
    case IDT_LAST_CHANNEL:
        select_last_channel();
        break;
    case IDT_MUTE:
        toggle_mute();
        break;
    case IDT_PROGRAM_PANEL:
        show_program_panel();
        break;
    case IDT_HELP_PANEL:
        show_help_panel();
        break;
    case IDT_USER_PANEL:
        show_user_panel();
        SetFocus(user_panel);
        return 0;
    case IDT_EXIT:
        ExitProcess(0);
    default:
        break;
    }
    // A button clicked with the mouse took the keyboard to the bar: it goes
    // back to the picture, so that the keys go on working.
    give_keys_to_picture();
    return 0;
}

LRESULT CALLBACK exit_button_command_proc(HWND host, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_COMMAND) return DefWindowProcW(host, message, wparam, lparam);
    idle_ticks = 0;
    if (wparam == IDT_EXIT) ExitProcess(0);
    return 0;
}

namespace {

// The slider moved: a new position is the volume, and the sound is on.
void take_slider_position(HWND panel) {
    int32_t position = static_cast<int32_t>(SendDlgItemMessageW(panel, IDC_VOLUME_SLIDER, TBM_GETPOS, 0, 0));
    if (position == player_volume()) return;
    CheckMenuItem(popup_menu, IDM_MUTE, MF_BYCOMMAND | MF_UNCHECKED);
    set_player_volume(position);
}

}  // namespace

INT_PTR CALLBACK control_bar_proc(HWND panel, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageW(panel, IDC_VOLUME_SLIDER, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
        SendDlgItemMessageW(panel, IDC_VOLUME_SLIDER, TBM_SETPOS, TRUE, player_volume());
        set_player_volume(50);
        return TRUE;
    case WM_HSCROLL:
        take_slider_position(panel);
        return 0;
    default:
        return overlay_message(message, wparam);
    }
}

INT_PTR CALLBACK exit_button_proc(HWND panel, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CLOSE:
        hide_panel(panel);
        return FALSE;
    default:
        return overlay_message(message, wparam);
    }
}

INT_PTR CALLBACK help_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetTimer(panel, panel_timer_id, 1000, nullptr);
        return FALSE;
    case WM_CLOSE:
        hide_panel(panel);
        return TRUE;
    default:
        return captioned_panel_message(panel, message, wparam, &help_panel_ticks);
    }
}
