// Reading a picture back from the X server, for the benchmarks: a 16x16 grid
// of pixels over a rectangle of a window, read one pixel row at a time so a
// read stays small enough to repeat every few milliseconds.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <vector>

struct area {
    unsigned width = 640, height = 360;
    int x = 0, y = 0;
};

// Reads "WxH+X+Y", the X11 geometry of a rectangle; false if it is not one.
inline bool parse_area(const char* text, area* a) {
    return sscanf(text, "%ux%u+%d+%d", &a->width, &a->height, &a->x, &a->y) == 4 && a->width > 0 && a->height > 0;
}

inline std::vector<unsigned long> read_grid(Display* display, Drawable from, const area& a) {
    std::vector<unsigned long> grid;
    for (unsigned gy = 0; gy < 16; ++gy) {
        int row = a.y + static_cast<int>((a.height * gy + a.height / 2) / 16);
        XImage* image = XGetImage(display, from, a.x, row, a.width, 1, AllPlanes, ZPixmap);
        if (image == nullptr) return std::vector<unsigned long>();
        for (unsigned gx = 0; gx < 16; ++gx) grid.push_back(XGetPixel(image, (a.width * gx + a.width / 2) / 16, 0) & 0xffffff);
        XDestroyImage(image);
    }
    return grid;
}

// True when a pixel differs from the other grid in one of its colours by
// more than a compression artefact would.
inline bool grid_changed(const std::vector<unsigned long>& now, const std::vector<unsigned long>& before) {
    if (now.size() != before.size()) return !now.empty();
    for (size_t i = 0; i < now.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8) {
            long a = static_cast<long>((now[i] >> shift) & 0xff), b = static_cast<long>((before[i] >> shift) & 0xff);
            if (a - b > 48 || b - a > 48) return true;
        }
    return false;
}

// True when the grid holds a picture rather than a black window.
inline bool grid_lit(const std::vector<unsigned long>& grid) {
    int lit = 0;
    for (unsigned long p : grid) lit += ((p >> 16) & 0xff) > 64 || ((p >> 8) & 0xff) > 64 || (p & 0xff) > 64;
    return lit >= 8;
}
