// Sizes in pixels are given for a screen of 96 dots per inch (Windows' 100 %);
// a monitor at 125 to 200 % gets them in proportion, so that the overlays,
// their fonts and the window's limits keep their size to the eye.
#pragma once

#include <cstdint>

constexpr uint32_t standard_dpi = 96;

// pixels * dpi / 96, rounded to the nearest pixel (a half away from zero, as
// Windows' MulDiv rounds). 96 and any DPI the system cannot tell (0) give the
// pixels unchanged.
int32_t scale_for_dpi(int32_t pixels, uint32_t dpi);
