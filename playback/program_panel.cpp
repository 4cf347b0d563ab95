#include "playback/program_panel.h"

#include "base/panel_family.h"
#include "playback/channel_tables.h"
#include "playback/switching.h"
#include "resources/resource.h"

void show_program_panel() { show_panel(program_panel, &program_panel_ticks); }

LRESULT draw_channel_cell(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        // The row's colours hold whatever the selection: the list's own
        // highlight of a selected row is switched off.
        draw->nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED | CDIS_FOCUS);
        draw->clrText = RGB(255, 255, 255);
        draw->clrTextBk = static_cast<int32_t>(draw->nmcd.dwItemSpec) == current_channel ? RGB(0, 0, 255) : RGB(0, 0, 0);
        return CDRF_NEWFONT;
    default:
        return CDRF_DODEFAULT;
    }
}

namespace {

INT_PTR on_notify(HWND panel, NMHDR* header) {
    if (header->code == NM_CUSTOMDRAW) {
        if (header->idFrom == IDC_CHANNEL_LIST) {
            LRESULT result = draw_channel_cell(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
            SetWindowLongPtrW(panel, DWLP_MSGRESULT, result);
        }
        return TRUE;
    }
    if (header->idFrom != IDC_CHANNEL_LIST) return FALSE;
    if (header->code == LVN_ITEMCHANGED) {
        int32_t row = reinterpret_cast<NMLISTVIEW*>(header)->iItem;
        if (row != epg_channel) {
            epg_channel = row;
            fill_epg_list(row);
        }
        return 0;
    }
    if (header->code == LVN_ITEMACTIVATE) {
        activate_channel(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
        return 0;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK program_panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        program_panel = panel;
        SetTimer(panel, panel_timer_id, 1000, nullptr);
        set_up_tables(panel);
        fit_on_monitor(panel, IDC_CHANNEL_LIST);
        return TRUE;
    case WM_CLOSE:
        hide_panel(panel);
        return TRUE;
    case WM_NOTIFY:
        return on_notify(panel, reinterpret_cast<NMHDR*>(lparam));
    case WM_TIMER:
        if (draw_filled_table(panel, wparam)) return TRUE;
        return captioned_panel_message(panel, message, wparam, &program_panel_ticks);
    default:
        return captioned_panel_message(panel, message, wparam, &program_panel_ticks);
    }
}
