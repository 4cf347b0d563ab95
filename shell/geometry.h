// Window geometry without Windows headers: centring and the overlays' layout.
#pragma once

#include <cstdint>

struct rect32 {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct point32 {
    int32_t x;
    int32_t y;
};

// Where a window of rectangle w goes to be centred on desktop d, 15 pixels
// (at 96 DPI; in proportion at the monitor's dpi) above the centre, each half
// truncated toward zero on its own. The result is in d's coordinates: its
// origin is added.
point32 centred_origin(const rect32& w, const rect32& d, uint32_t dpi = 96);

// The overlays' places around the video window v; the control bar is placed
// from its size b before the move. Every size and offset is given at 96 DPI
// and scaled to the monitor's dpi.
struct panel_layout {
    rect32 exit_button;  // left, top, and the size in right/bottom as width/height
    rect32 info_panel;
    rect32 control_bar;
};
panel_layout overlay_places(const rect32& v, const rect32& b, uint32_t dpi = 96);

// The video window's smallest size for the user's sizing, and its sizes at
// creation and after "Винаги отгоре", at the monitor's dpi.
point32 video_minimum_size(uint32_t dpi);
point32 video_first_size(uint32_t dpi);
point32 video_on_top_size(uint32_t dpi);
