#include "playback/player.h"

#include "playback/channel_rules.h"
#include "playback/stream_relay.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "shell/trace.h"

#include <commctrl.h>

#include <cstdlib>

#ifdef __WINE__
#include <malloc.h>
#endif

libvlc_instance_t* vlc_instance;
libvlc_media_player_t* media_player;
libvlc_event_manager_t* player_events;
libvlc_media_t* current_media;
int32_t volume;
int32_t playback_wanted;
std::atomic<int32_t> stall_ticks{0};

static_assert(std::atomic<int32_t>::is_always_lock_free, "the watchdog counter must be lock-free");

namespace {

// libvlc 3.0 reads its plug-in folder from the environment, not from an
// option; the C runtime's environment is the one it reads on both systems.
char plugin_path_setting[] = "VLC_PLUGIN_PATH=plugins";

// The options of libvlc 3.0 that deinterlace in blend mode, read no
// configuration file of libvlc's own and start no interface.
const char* const player_options[] = {
    "--deinterlace=1", "--deinterlace-mode=blend", "--intf=dummy", "--ignore-config",
};

}  // namespace

namespace {

// The native window the picture was last bound to.
uintptr_t bound_window;

// The window the player draws into: under Wine the X11 window that Wine
// made for the video window, on Windows the video window itself.
uintptr_t native_window_of(HWND video) {
#ifdef __WINE__
    return reinterpret_cast<uintptr_t>(GetPropA(video, "__wine_x11_whole_window"));
#else
    return reinterpret_cast<uintptr_t>(video);
#endif
}

void set_player_window(uintptr_t window) {
#ifdef __WINE__
    libvlc_media_player_set_xwindow(media_player, static_cast<uint32_t>(window));
#else
    libvlc_media_player_set_hwnd(media_player, reinterpret_cast<HWND>(window));
#endif
}

// Set at every start while tracing: the first time-changed event after it
// marks the picture moving.
std::atomic<bool> first_time_pending{false};

// The player's progress through a start, for the benchmarks' timestamps.
void on_traced_event(const libvlc_event_t* event, void*) {
    if (event->type == libvlc_MediaPlayerPlaying) trace_event("playing");
    if (event->type == libvlc_MediaPlayerVout && event->u.media_player_vout.new_count > 0) trace_event("vout");
}

}  // namespace

void bind_player(HWND video) {
    bound_window = native_window_of(video);
    set_player_window(bound_window);
}

void rebind_player_if_replaced(HWND video) {
    if (media_player == nullptr || native_window_of(video) == bound_window) return;
    bind_player(video);
    // A picture already playing goes on in the new window.
    if (libvlc_media_player_is_playing(media_player)) {
        libvlc_media_player_stop(media_player);
        libvlc_media_player_play(media_player);
    }
}

void create_player(HWND video) {
#ifdef __WINE__
    // Under Wine the player's threads allocate from glibc, which gives every
    // new thread an arena of its own and returns little of it: a channel
    // change starts new threads, and zapping grew the process by some
    // hundred megabytes before it levelled off. Two arenas keep it flat.
    mallopt(M_ARENA_MAX, 2);
#endif
    putenv(plugin_path_setting);
    vlc_instance = libvlc_new(sizeof player_options / sizeof player_options[0], player_options);
    if (vlc_instance != nullptr) media_player = libvlc_media_player_new(vlc_instance);
    if (media_player != nullptr) {
        bind_player(video);
        libvlc_video_set_mouse_input(media_player, 1);
        libvlc_video_set_key_input(media_player, 1);
        player_events = libvlc_media_player_event_manager(media_player);
        libvlc_event_attach(player_events, libvlc_MediaPlayerTimeChanged, on_time_changed, nullptr);
        if (trace_on()) {
            libvlc_event_attach(player_events, libvlc_MediaPlayerPlaying, on_traced_event, nullptr);
            libvlc_event_attach(player_events, libvlc_MediaPlayerVout, on_traced_event, nullptr);
        }
    }
    volume = 50;
}

void start_stream(const char* url) {
    if (media_player == nullptr) return;
    libvlc_media_player_stop(media_player);
    // The player reads the stream through the relay, never from the host
    // itself: see stream_relay.h. Without the relay nothing starts, and the
    // watchdog tries again as for any stream that does not start.
    char relayed[64];
    if (!relay_address_for(url, relayed, sizeof relayed)) return;
    libvlc_media_t* previous = current_media;
    current_media = libvlc_media_new_location(vlc_instance, relayed);
    libvlc_media_player_set_media(media_player, current_media);
    // The player holds its own reference to the media it plays.
    if (previous != nullptr) libvlc_media_release(previous);
    // The old stream's events have all been delivered: stop waits for it.
    first_time_pending.store(true, std::memory_order_relaxed);
    libvlc_media_player_play(media_player);
}

void on_time_changed(const libvlc_event_t*, void*) {
    stall_ticks.store(0, std::memory_order_relaxed);
    if (first_time_pending.load(std::memory_order_relaxed) && first_time_pending.exchange(false)) trace_event("time");
}

void watchdog_tick() {
    int32_t ticks = stall_ticks.fetch_add(1, std::memory_order_relaxed) + 1;
    if (watchdog_restarts(ticks, playback_wanted) && media_player != nullptr) {
        libvlc_media_player_stop(media_player);
        libvlc_media_player_play(media_player);
        stall_ticks.store(0, std::memory_order_relaxed);
    }
}

void step_volume(int32_t step) {
    volume = stepped_volume(volume, step);
    SendDlgItemMessageW(control_bar, IDC_VOLUME_SLIDER, TBM_SETPOS, TRUE, volume);
    if (media_player != nullptr) libvlc_audio_set_volume(media_player, volume);
}

void set_volume_from_slider() {
    int32_t position = static_cast<int32_t>(SendDlgItemMessageW(control_bar, IDC_VOLUME_SLIDER, TBM_GETPOS, 0, 0));
    if (position == volume) return;
    CheckMenuItem(popup_menu, IDM_MUTE, MF_BYCOMMAND | MF_UNCHECKED);
    volume = position;
    if (media_player != nullptr) libvlc_audio_set_volume(media_player, volume);
}

void toggle_mute() {
    if (media_player == nullptr) return;
    int32_t muted = libvlc_audio_get_mute(media_player);
    libvlc_audio_set_mute(media_player, (muted & 1) ^ 1);
}

void set_aspect_ratio(const char* ratio) {
    if (media_player != nullptr) libvlc_video_set_aspect_ratio(media_player, ratio);
    bool wide = ratio[0] == '1';
    CheckMenuItem(popup_menu, IDM_ASPECT_16_9, MF_BYCOMMAND | (wide ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(popup_menu, IDM_ASPECT_4_3, MF_BYCOMMAND | (wide ? MF_UNCHECKED : MF_CHECKED));
}
