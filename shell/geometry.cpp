#include "shell/geometry.h"

#include "base/scale.h"

point32 centred_origin(const rect32& w, const rect32& d, uint32_t dpi) {
    int32_t width = w.right - w.left;
    int32_t height = w.bottom - w.top;
    point32 p;
    p.x = d.left + (d.right - d.left) / 2 - width / 2;
    p.y = d.top + (d.bottom - d.top) / 2 - height / 2 - scale_for_dpi(15, dpi);
    return p;
}

panel_layout overlay_places(const rect32& v, const rect32& b, uint32_t dpi) {
    auto px = [dpi](int32_t pixels) { return scale_for_dpi(pixels, dpi); };
    panel_layout l;
    l.exit_button = {v.right - px(35), v.top + px(5), px(64), px(64)};
    l.info_panel = {v.left + px(10), v.top + px(10), px(300), px(120)};
    l.control_bar = {v.left + (v.right - v.left) / 2 - (b.right - b.left) / 2, v.bottom - (b.bottom - b.top), px(330),
                     px(146)};
    return l;
}

point32 video_minimum_size(uint32_t dpi) { return {scale_for_dpi(350, dpi), scale_for_dpi(200, dpi)}; }

point32 video_first_size(uint32_t dpi) { return {scale_for_dpi(320, dpi), scale_for_dpi(200, dpi)}; }

point32 video_on_top_size(uint32_t dpi) { return {scale_for_dpi(400, dpi), scale_for_dpi(300, dpi)}; }
