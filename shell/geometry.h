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
// above the centre (each half truncated toward zero on its own).
point32 centre_on(const rect32& w, const rect32& d);
