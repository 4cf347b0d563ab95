#include "base/scale.h"

int32_t scale_for_dpi(int32_t pixels, uint32_t dpi) {
    if (dpi == 0 || dpi == standard_dpi) return pixels;
    int64_t product = static_cast<int64_t>(pixels) * dpi;
    int64_t half = standard_dpi / 2;
    int64_t scaled = product >= 0 ? (product + half) / standard_dpi : (product - half) / standard_dpi;
    if (scaled > INT32_MAX) return INT32_MAX;
    if (scaled < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(scaled);
}
