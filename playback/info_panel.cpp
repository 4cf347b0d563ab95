#include "playback/info_panel.h"

#include "base/panel_family.h"
#include "base/countof.h"
#include "base/scale.h"
#include "playback/channel_rules.h"
#include "resources/resource.h"

#include <cstdint>

HWND info_panel;

namespace {

HFONT big_font;
HFONT small_font;
uint32_t fonts_dpi;

HFONT make_font(int32_t height) {
    return CreateFontW(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, 0x20, L"Arial");
}

void set_line(int32_t id, const char16_t* text) {
    SetDlgItemTextW(info_panel, id, reinterpret_cast<const WCHAR*>(text));
}

}  // namespace

void fit_info_fonts(HWND panel, uint32_t dpi) {
    // The name's 28 pixels and the lines' 14 at 96 DPI, in proportion on a
    // monitor of another scale; made again only when the scale changes.
    HFONT old_big = nullptr;
    HFONT old_small = nullptr;
    if (big_font == nullptr || dpi != fonts_dpi) {
        old_big = big_font;
        old_small = small_font;
        big_font = make_font(scale_for_dpi(28, dpi));
        small_font = make_font(scale_for_dpi(14, dpi));
        fonts_dpi = dpi;
    }
    SendDlgItemMessageW(panel, IDC_INFO_NAME, WM_SETFONT, reinterpret_cast<WPARAM>(big_font), TRUE);
    SendDlgItemMessageW(panel, IDC_INFO_NOW, WM_SETFONT, reinterpret_cast<WPARAM>(small_font), TRUE);
    SendDlgItemMessageW(panel, IDC_INFO_NEXT, WM_SETFONT, reinterpret_cast<WPARAM>(small_font), TRUE);
    // The old ones only once no line uses them any more.
    if (old_big != nullptr) DeleteObject(old_big);
    if (old_small != nullptr) DeleteObject(old_small);
}

void show_channel_info(const char16_t* name, const char16_t* now_title, const char16_t* next_title) {
    char16_t line[1024];
    set_line(IDC_INFO_NAME, name);
    format_info_line(u"начало: ", now_title, line, countof(line));
    set_line(IDC_INFO_NOW, line);
    format_info_line(u"следва: ", next_title, line, countof(line));
    set_line(IDC_INFO_NEXT, line);
}

INT_PTR CALLBACK info_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        fit_info_fonts(panel, window_dpi(panel));
        return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
        int32_t id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
        bool yellow = message == WM_CTLCOLORSTATIC && (id == IDC_INFO_NOW || id == IDC_INFO_NEXT);
        return paint_on_black(wparam, yellow ? RGB(255, 255, 0) : RGB(255, 255, 255));
    }
    case WM_LBUTTONDOWN:
        press_on_overlay();
        return 0;
    case WM_CLOSE:
        hide_panel(panel);
        return FALSE;
    default:
        return FALSE;
    }
}
