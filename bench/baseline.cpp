// The baseline of the benchmarks: what a user of a plain player gets. A
// minimal program of our own around libvlc with its default options, drawing
// into an X11 window of the size of the client's video window.
//
//   vlc_baseline zap  --window WxH+X+Y --changes N [--settle-ms MS] URL...
//       Changes through the URLs N times, waiting after each change for the
//       first picture and for the picture to move (the first time-changed
//       event; with --quick only for the first picture), then MS more. Prints one line per change:
//       "change INDEX URL_INDEX OPEN_US VOUT_US TIME_US" (from the change;
//       -1 when the event did not come within 10 s), and "rss CHANGES KIB"
//       after 10 changes, every hundredth and after the last (with
//       --rss-only, only these).
//       With --watch-pixels, a seventh column gives when the window's pixels,
//       read back from the X server every 2 ms, first showed a picture that
//       differed from what it showed once the change was asked for: the
//       check that the first-picture event is the new picture.
//   vlc_baseline play --window WxH+X+Y URL
//       Plays one URL until it is ended by a signal; prints "vout" once the
//       first picture is there.
#include "bench/pixels.h"

#include <vlc/vlc.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

int64_t now_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// What the player has reached since the last change.
struct progress {
    std::mutex lock;
    std::condition_variable changed;
    int64_t playing = -1;
    int64_t vout = -1;
    int64_t time = -1;
} seen;

void on_event(const libvlc_event_t* event, void*) {
    int64_t at = now_us();
    std::lock_guard<std::mutex> hold(seen.lock);
    if (event->type == libvlc_MediaPlayerPlaying && seen.playing < 0) seen.playing = at;
    if (event->type == libvlc_MediaPlayerVout && event->u.media_player_vout.new_count > 0 && seen.vout < 0)
        seen.vout = at;
    if (event->type == libvlc_MediaPlayerTimeChanged && seen.time < 0) seen.time = at;
    seen.changed.notify_all();
}

// Waits until the given field of `seen` is set or the time is up.
bool wait_for(int64_t progress::*field, int64_t until_us) {
    std::unique_lock<std::mutex> hold(seen.lock);
    while (seen.*field < 0) {
        int64_t left = until_us - now_us();
        if (left <= 0) return false;
        seen.changed.wait_for(hold, std::chrono::microseconds(left));
    }
    return true;
}

long resident_kib() {
    FILE* f = fopen("/proc/self/status", "r");
    if (f == nullptr) return -1;
    char line[256];
    long kib = -1;
    while (fgets(line, sizeof line, f) != nullptr)
        if (strncmp(line, "VmRSS:", 6) == 0) kib = atol(line + 6);
    fclose(f);
    return kib;
}

volatile sig_atomic_t stop_requested = 0;
void on_signal(int) { stop_requested = 1; }

int usage() {
    fprintf(stderr,
            "usage: vlc_baseline zap --window WxH+X+Y --changes N [--settle-ms MS] [--quick] [--rss-only]\n"
            "                        [--watch-pixels] URL...\n"
            "       vlc_baseline play --window WxH+X+Y URL\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string mode = argv[1];
    area where;
    int32_t changes = 0;
    int32_t settle_ms = 300;
    bool watch_pixels = false;
    bool quick = false;
    bool rss_only = false;
    std::vector<std::string> urls;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--window" && i + 1 < argc) {
            if (!parse_area(argv[++i], &where)) return usage();
        } else if (a == "--changes" && i + 1 < argc) {
            changes = atoi(argv[++i]);
        } else if (a == "--rss-only") {
            rss_only = true;
        } else if (a == "--quick") {
            quick = true;
        } else if (a == "--watch-pixels") {
            watch_pixels = true;
        } else if (a == "--settle-ms" && i + 1 < argc) {
            settle_ms = atoi(argv[++i]);
        } else {
            urls.push_back(a);
        }
    }
    if (urls.empty() || (mode != "zap" && mode != "play") || (mode == "zap" && changes <= 0)) return usage();

    XInitThreads();
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        fprintf(stderr, "vlc_baseline: no X display\n");
        return 1;
    }
    int screen = DefaultScreen(display);
    XSetWindowAttributes attributes;
    memset(&attributes, 0, sizeof attributes);
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.override_redirect = True;
    Window window = XCreateWindow(display, RootWindow(display, screen), where.x, where.y, where.width,
                                  where.height, 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWBackPixel | CWOverrideRedirect, &attributes);
    XStoreName(display, window, "vlc_baseline");
    area whole = where;
    whole.x = whole.y = 0;
    XMapRaised(display, window);
    XSync(display, False);

    libvlc_instance_t* vlc = libvlc_new(0, nullptr);
    if (vlc == nullptr) {
        fprintf(stderr, "vlc_baseline: libvlc_new failed\n");
        return 1;
    }
    libvlc_media_player_t* player = libvlc_media_player_new(vlc);
    libvlc_media_player_set_xwindow(player, static_cast<uint32_t>(window));
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(player);
    for (libvlc_event_e e : {libvlc_MediaPlayerPlaying, libvlc_MediaPlayerVout, libvlc_MediaPlayerTimeChanged})
        libvlc_event_attach(events, e, on_event, nullptr);

    // A channel change as any player makes it: stop, set the new media, play.
    auto change_to = [&](const std::string& url) {
        int64_t start = now_us();
        libvlc_media_player_stop(player);
        {
            std::lock_guard<std::mutex> hold(seen.lock);
            seen.playing = seen.vout = seen.time = -1;
        }
        libvlc_media_t* media = libvlc_media_new_location(vlc, url.c_str());
        libvlc_media_player_set_media(player, media);
        libvlc_media_release(media);
        libvlc_media_player_play(player);
        return start;
    };
    auto since = [](int64_t at, int64_t start) { return at < 0 ? -1 : at - start; };

    int status = 0;
    if (mode == "zap") {
        for (int32_t i = 0; i < changes; ++i) {
            size_t which = static_cast<size_t>(i) % urls.size();
            int64_t start = change_to(urls[which]);
            int64_t until = start + 10 * 1000 * 1000;
            // The old channel's last picture (or black) as it stands once the
            // change has been asked for; the new one differs from it.
            int64_t pixels = -1;
            std::vector<unsigned long> before;
            if (watch_pixels) before = read_grid(display, window, whole);
            while (watch_pixels && pixels < 0 && now_us() < until) {
                std::vector<unsigned long> grid = read_grid(display, window, whole);
                if (grid_changed(grid, before) && grid_lit(grid)) pixels = now_us();
                else std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            wait_for(&progress::vout, until);
            if (!quick) wait_for(&progress::time, until);
            if (!rss_only) {
                std::lock_guard<std::mutex> hold(seen.lock);
                printf("change %d %zu %lld %lld %lld", i, which, static_cast<long long>(since(seen.playing, start)),
                       static_cast<long long>(since(seen.vout, start)),
                       static_cast<long long>(since(seen.time, start)));
                if (watch_pixels) printf(" %lld", static_cast<long long>(since(pixels, start)));
                printf("\n");
                fflush(stdout);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms));
            if (i + 1 == 10 || (i + 1) % 100 == 0 || i + 1 == changes) {
                printf("rss %d %ld\n", i + 1, resident_kib());
                fflush(stdout);
            }
        }
    } else {
        signal(SIGTERM, on_signal);
        signal(SIGINT, on_signal);
        int64_t start = change_to(urls[0]);
        if (wait_for(&progress::vout, start + 10 * 1000 * 1000)) {
            printf("vout\n");
            fflush(stdout);
        } else {
            status = 1;
        }
        while (!stop_requested) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    libvlc_media_player_stop(player);
    libvlc_media_player_release(player);
    libvlc_release(vlc);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return status;
}
