#include "shell/startup.h"

#include "account/keepalive.h"
#include "account/login.h"
#include "account/user_panel.h"
#include "shell/app.h"
#include "shell/geometry.h"
#include "base/trace.h"
#include "base/ui_text.h"
#include "playback/channel_tables.h"
#include "playback/info_panel.h"
#include "playback/player.h"
#include "playback/program_panel.h"
#include "playback/switching.h"
#include "resources/resource.h"
#include "service/exchange.h"
#include "service/version.h"
#include "shell/keys.h"
#include "shell/panels.h"
#include "shell/video_window.h"

#include <commctrl.h>

#include <cstring>

#ifndef TVCLIENT_DOWNLOAD_SITE
#define TVCLIENT_DOWNLOAD_SITE "http://127.0.0.1:8080/download"
#endif

namespace {

char version_response[response_size];
WNDCLASSEXW class_template;
bool classes_registered = false;

void register_class(const wchar_t* name, WNDPROC procedure) {
    class_template.lpszClassName = name;
    if (procedure != nullptr) class_template.lpfnWndProc = procedure;
    RegisterClassExW(&class_template);
}

HWND create_panel(int32_t template_id, DLGPROC procedure) {
    return CreateDialogParamW(app_instance, MAKEINTRESOURCEW(template_id), video_window, procedure, 0);
}

void toggle_always_on_top() {
    UINT state = GetMenuState(popup_menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND);
    bool on_top = (state & MF_CHECKED) != 0;
    CheckMenuItem(popup_menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND | (on_top ? MF_UNCHECKED : MF_CHECKED));
    point32 size = video_on_top_size(window_dpi(video_window));
    SetWindowPos(video_window, on_top ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, size.x, size.y, SWP_FRAMECHANGED);
    center_on_desktop(video_window);
}

// The picture's aspect ratio, with its menu item marked and the other not.
void choose_aspect_ratio(const char* ratio, UINT chosen, UINT other) {
    set_aspect_ratio(ratio);
    CheckMenuItem(popup_menu, chosen, MF_BYCOMMAND | MF_CHECKED);
    CheckMenuItem(popup_menu, other, MF_BYCOMMAND | MF_UNCHECKED);
}

void menu_command(WPARAM command) {
    switch (command) {
    case IDM_ALWAYS_ON_TOP:
        toggle_always_on_top();
        break;
    case IDM_MUTE: {
        UINT state = GetMenuState(popup_menu, IDM_MUTE, MF_BYCOMMAND);
        CheckMenuItem(popup_menu, IDM_MUTE, MF_BYCOMMAND | (state == MF_CHECKED ? MF_UNCHECKED : MF_CHECKED));
        toggle_mute();
        break;
    }
    case IDM_ASPECT_16_9:
        choose_aspect_ratio("16:9", IDM_ASPECT_16_9, IDM_ASPECT_4_3);
        break;
    case IDM_ASPECT_4_3:
        choose_aspect_ratio("4:3", IDM_ASPECT_4_3, IDM_ASPECT_16_9);
        break;
    case IDM_PROGRAMS:
        show_program_panel();
        break;
    case IDM_EXIT:
        ExitProcess(0);
    default:
        break;
    }
}

void escape_key() {
    ShowWindow(help_panel, SW_HIDE);
    ShowWindow(program_panel, SW_HIDE);
    ShowWindow(control_bar, SW_HIDE);
    ShowWindow(user_panel, SW_HIDE);
    SetFocus(video_window);
    WINDOWPLACEMENT placement;
    read_placement(video_window, &placement);
    if (placement.showCmd == SW_SHOWMAXIMIZED) {
        restore_windowed(video_window);
        return;
    }
    if (show_message(video_window, "Изход от системата?", "Внимание!!!", MB_YESNO) == IDYES)
        SendMessageW(video_window, WM_CLOSE, 0, 0);
}

void run_key_action(key_action action) {
    switch (action) {
    case key_action::help_panel:
        show_help_panel();
        break;
    case key_action::escape:
        escape_key();
        break;
    case key_action::last_channel:
        select_last_channel();
        break;
    case key_action::first_channel:
        select_first_channel();
        break;
    case key_action::previous_channel:
        select_previous_channel();
        break;
    case key_action::next_channel:
        select_next_channel();
        break;
    case key_action::volume_up:
        step_volume(1);
        break;
    case key_action::volume_down:
        step_volume(-1);
        break;
    case key_action::program_panel:
        show_program_panel();
        break;
    case key_action::user_panel:
        show_user_panel();
        break;
    case key_action::stop:
        stop_playback();
        break;
    case key_action::mute:
        toggle_mute();
        break;
    case key_action::fullscreen:
        toggle_fullscreen(video_window);
        break;
    }
}

}  // namespace

bool check_service_version() {
    char line[request_line_size];
    memset(version_response, 0, sizeof version_response);
    if (format_version_request(line, sizeof line, service_host()) > 0)
        service_request(line, version_response, sizeof version_response);
    if (version_response_ok(version_response)) return true;

    char message[512];
    format_version_message(message, sizeof message, TVCLIENT_DOWNLOAD_SITE);
    show_message(nullptr, message, "внимание!!!", MB_OK);
    return false;
}

void prepare_first_class() {
    app_instance = GetModuleHandleW(nullptr);
    HMENU menu = LoadMenuW(app_instance, MAKEINTRESOURCEW(IDR_POPUP_MENU));
    popup_menu = GetSubMenu(menu, 0);
    black_brush = CreateSolidBrush(RGB(0, 0, 0));
    set_panel_background(black_brush);

    // Every class of the program starts from the standard dialog class: the
    // dialog window procedure and its extra bytes stay.
    memset(&class_template, 0, sizeof class_template);
    class_template.cbSize = sizeof class_template;
    GetClassInfoExW(nullptr, L"#32770", &class_template);
    class_template.cbSize = sizeof class_template;
    class_template.hInstance = app_instance;
    class_template.hIcon = LoadIconW(app_instance, MAKEINTRESOURCEW(IDI_PROGRAM));
    class_template.hIconSm = static_cast<HICON>(
        LoadImageW(app_instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    class_template.hbrBackground = black_brush;
    class_template.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    class_template.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    class_template.cbClsExtra = 0;
    if (!classes_registered) register_class(L"icon", nullptr);
}

bool run_login() {
    INT_PTR result = DialogBoxParamW(app_instance, MAKEINTRESOURCEW(IDD_LOGIN), nullptr, login_dialog_proc, 0);
    // No window could be made (the window system refused it): nothing to show it with.
    if (result == -1) trace_event("login.dialog not made");
    return result == IDOK;
}

void build_windows() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    if (!classes_registered) {
        register_class(L"SubCommand", control_bar_command_proc);
        register_class(L"SubCommand1", exit_button_command_proc);
        register_class(L"Play", video_window_proc);
        classes_registered = true;
    }
    // Made on the primary monitor, at its scale.
    point32 size = video_first_size(window_dpi(nullptr));
    video_window = CreateWindowExW(WS_EX_TOPMOST, L"play", L"play", WS_POPUP | WS_THICKFRAME, 0, 0, size.x, size.y,
                                   nullptr, nullptr, app_instance, nullptr);
    set_panel_owner(video_window, reset_idle_ticks);
    trace_event("player.begin");
    create_player(video_window);
    set_session_refused_action(stop_player);
    trace_event("player");
    playing_channel = -1;
    epg_channel = -1;

    control_bar = create_panel(IDD_CONTROL_BAR, control_bar_proc);
    user_panel = create_panel(IDD_USER_PANEL, user_panel_proc);
    help_panel = create_panel(IDD_HELP_PANEL, help_panel_proc);
    exit_button = create_panel(IDD_EXIT_BUTTON, exit_button_proc);
    info_panel = create_panel(IDD_INFO_PANEL, info_panel_proc);
    program_panel = create_panel(IDD_PROGRAM_PANEL, program_panel_proc);

    create_control_bar_toolbar(GetDlgItem(control_bar, IDC_TOOLBAR_HOST));
    create_exit_button_toolbar(GetDlgItem(exit_button, IDC_TOOLBAR_HOST));
    make_translucent(control_bar, 160);
    make_translucent(info_panel, 160);
    make_translucent(exit_button, 160);
    center_on_desktop(video_window);

    ShowWindow(video_window, SW_SHOW);
    ShowWindow(control_bar, SW_SHOW);
    ShowWindow(info_panel, SW_SHOW);
    ShowWindow(exit_button, SW_SHOW);
    ShowWindow(program_panel, SW_SHOW);
    trace_event("windows");
}

void finish_startup() {
    parse_login_response();
    trace_event("account");
    fill_channel_list(channel_list());
    read_placement(video_window, &video_placement);
    CheckMenuItem(popup_menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND | MF_CHECKED);
}

void handle_after_dispatch(const MSG& message) {
    if (message.message == WM_COMMAND) menu_command(message.wParam);
    if (message.message != WM_KEYDOWN || GetFocus() != video_window) return;
    const key_binding* binding = key_binding_for(static_cast<uint32_t>(message.wParam));
    if (binding != nullptr) run_key_action(binding->action);
}

void process_message(const MSG& message) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
    handle_after_dispatch(message);
}

int32_t run_message_loop() {
    MSG message;
    memset(&message, 0, sizeof message);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) process_message(message);
    return static_cast<int32_t>(message.wParam);
}
