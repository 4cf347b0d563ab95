#include "shell/geometry.h"

point32 centre_on(const rect32& w, const rect32& d) {
    int32_t width = w.right - w.left;
    int32_t height = w.bottom - w.top;
    point32 p;
    p.x = (d.right - d.left) / 2 - width / 2;
    p.y = (d.bottom - d.top) / 2 - height / 2 - 15;
    return p;
}
