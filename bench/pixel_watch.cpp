// Watches a rectangle of the screen for the benchmarks: reads a grid of its
// pixels back from the X server every 2 ms and prints "<microseconds> <lit>"
// whenever the grid changed since the last read, lit being 1 when it holds a
// picture rather than black. The microseconds are of the monotonic clock that
// the client's trace uses. Runs until it is ended by a signal.
//
//   pixel_watch WxH+X+Y
#include "bench/pixels.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <thread>

namespace {

volatile sig_atomic_t stop_requested = 0;
void on_signal(int) { stop_requested = 1; }

int64_t now_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    area a;
    if (argc != 2 || !parse_area(argv[1], &a)) {
        fprintf(stderr, "usage: pixel_watch WxH+X+Y\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        fprintf(stderr, "pixel_watch: no X display\n");
        return 1;
    }
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    Window root = DefaultRootWindow(display);
    std::vector<unsigned long> last = read_grid(display, root, a);
    printf("%lld %d\n", static_cast<long long>(now_us()), grid_lit(last) ? 1 : 0);
    while (!stop_requested) {
        std::vector<unsigned long> grid = read_grid(display, root, a);
        if (grid_changed(grid, last)) {
            printf("%lld %d\n", static_cast<long long>(now_us()), grid_lit(grid) ? 1 : 0);
            fflush(stdout);
            last = grid;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    XCloseDisplay(display);
    return 0;
}
