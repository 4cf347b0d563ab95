#include "shell/geometry.h"

point32 centred_origin(const rect32& w, const rect32& d) {
    int32_t width = w.right - w.left;
    int32_t height = w.bottom - w.top;
    point32 p;
    p.x = (d.right - d.left) / 2 - width / 2;
    p.y = (d.bottom - d.top) / 2 - height / 2 - 15;
    return p;
}

panel_layout overlay_places(const rect32& v, const rect32& b) {
    panel_layout l;
    l.exit_button = {v.right - 35, v.top + 5, 64, 64};
    l.info_panel = {v.left + 10, v.top + 10, 300, 120};
    l.control_bar = {v.left + (v.right - v.left) / 2 - (b.right - b.left) / 2, v.bottom - (b.bottom - b.top), 330, 146};
    return l;
}
