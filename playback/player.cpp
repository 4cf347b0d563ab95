#include "playback/player.h"

#include "base/countof.h"
#include "base/trace.h"
#include "playback/channel_rules.h"
#include "playback/player_library.h"
#include "playback/player_window.h"
#include "relay/stream_relay.h"

#include <vlc/vlc.h>

#include <cstdio>
#include <cstdlib>

int32_t playback_wanted;
std::atomic<int32_t> stall_ticks{0};

static_assert(std::atomic<int32_t>::is_always_lock_free, "the watchdog counter must be lock-free");

namespace {

libvlc_instance_t* vlc_instance;
libvlc_media_player_t* media_player;
libvlc_event_manager_t* player_events;
libvlc_media_t* current_media;
int32_t volume;

// libvlc 3.0 reads its plug-in folder from the environment, not from an
// option; the C runtime's environment is the one it reads on both systems.
// The folder is "plugins" beside the program, never one of that name where
// the program was started (whoever can write there could run code as the
// subscriber). Without a path to give, the setting is left out: libvlc
// then reads the plug-ins beside itself.
char plugin_path_setting[MAX_PATH * 3 + 32];

void set_plugin_path() {
    WCHAR folder[MAX_PATH + 8];
    int32_t n = program_folder(folder, MAX_PATH);
    if (n == 0) return;
    lstrcpynW(folder + n, L"plugins", 8);
    char path[MAX_PATH * 3];
#ifdef __WINE__
    // The player library is the system's own: it takes a Unix path.
    typedef char*(CDECL * unix_name_of)(const WCHAR*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    unix_name_of unix_name = kernel != nullptr ? reinterpret_cast<unix_name_of>(reinterpret_cast<void (*)()>(
        GetProcAddress(kernel, "wine_get_unix_file_name"))) : nullptr;
    char* unix_path = unix_name != nullptr ? unix_name(folder) : nullptr;
    if (unix_path == nullptr) return;
    lstrcpynA(path, unix_path, sizeof path);
    HeapFree(GetProcessHeap(), 0, unix_path);
#else
    // The C runtime's environment is in the ANSI code page: a folder it
    // cannot spell is given by its short name.
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder, -1, path, sizeof path, nullptr, &lossy) == 0) return;
    if (lossy) {
        folder[n] = 0;
        WCHAR short_folder[MAX_PATH];
        DWORD m = GetShortPathNameW(folder, short_folder, MAX_PATH);
        if (m == 0 || m >= MAX_PATH - 8) return;
        lstrcpynW(short_folder + m, L"plugins", 8);
        lossy = FALSE;
        if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, short_folder, -1, path, sizeof path, nullptr, &lossy) ==
                0 ||
            lossy)
            return;
    }
#endif
    snprintf(plugin_path_setting, sizeof plugin_path_setting, "VLC_PLUGIN_PATH=%s", path);
    putenv(plugin_path_setting);
}

// The options of libvlc 3.0 that deinterlace in blend mode, read no
// configuration file of libvlc's own and start no interface.
const char* const player_options[] = {
    "--deinterlace=1", "--deinterlace-mode=blend", "--intf=dummy", "--ignore-config",
};

// The native window the picture was last bound to.
uintptr_t bound_window;

// Set at every start while tracing: the first time-changed event after it
// marks the picture moving.
std::atomic<bool> first_time_pending{false};

// The player's progress through a start, for the benchmarks' timestamps.
void on_traced_event(const libvlc_event_t* event, void*) {
    if (event->type == libvlc_MediaPlayerPlaying) trace_event("playing");
    if (event->type == libvlc_MediaPlayerVout && event->u.media_player_vout.new_count > 0) trace_event("vout");
}

// While tracing: the relay's count of streams given back after a break
// when the playing time last moved on, and that time (the player's
// thread alone touches them).
uint32_t resumes_seen;
int64_t last_playing_time;

// A time-changed event: the picture moves. While tracing, the first one
// whose time moves on after the relay gave a broken stream back marks the
// picture going on again.
void on_time_changed(const libvlc_event_t* event, void*) {
    stall_ticks.store(0, std::memory_order_relaxed);
    if (first_time_pending.load(std::memory_order_relaxed) && first_time_pending.exchange(false)) trace_event("time");
    if (!trace_on()) return;
    int64_t now = event->u.media_player_time_changed.new_time;
    uint32_t resumes = relay_resumes();
    if (resumes != resumes_seen && now > last_playing_time) {
        resumes_seen = resumes;
        trace_event("time.moved");
    }
    last_playing_time = now;
}

// The stream URL last started: when the relay could not give it an
// address, the watchdog's restart asks again.
char wanted_url[256];

// Gives the player the relay's address for the wanted stream and plays it.
// Without the relay nothing plays, not even the stream before: the
// watchdog tries again as for any stream that does not start.
void open_wanted_stream() {
    char relayed[64];
    bool addressed = relay_address_for(wanted_url, relayed, sizeof relayed);
    libvlc_media_t* previous = current_media;
    current_media = addressed ? libvlc_media_new_location(vlc_instance, relayed) : nullptr;
    libvlc_media_player_set_media(media_player, current_media);
    // The player holds its own reference to the media it plays.
    if (previous != nullptr) libvlc_media_release(previous);
    if (current_media == nullptr) return;
    // The old stream's events have all been delivered: stop waits for it.
    first_time_pending.store(true, std::memory_order_relaxed);
    libvlc_media_player_play(media_player);
}

void restart_player() {
    stop_player();
    if (current_media == nullptr) open_wanted_stream();
    else libvlc_media_player_play(media_player);
}

}  // namespace

void bind_player(HWND video) {
    bound_window = native_window_of(video);
    set_player_window(media_player, bound_window);
}

void rebind_player_if_replaced(HWND video) {
    if (media_player == nullptr || native_window_of(video) == bound_window) return;
    trace_event("player.window replaced");
    bind_player(video);
    // A picture already playing goes on in the new window.
    if (player_is_playing()) restart_player();
}

void create_player(HWND video) {
    prepare_player_memory();
    set_plugin_path();
    vlc_instance = libvlc_new(countof(player_options), player_options);
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
    // itself: see stream_relay.h.
    lstrcpynA(wanted_url, url, sizeof wanted_url);
    open_wanted_stream();
}

void stop_player() {
    if (media_player != nullptr) libvlc_media_player_stop(media_player);
    // The relay's request to the stream host ends with the player's.
    end_relayed_requests();
}

void watchdog_tick() {
    int32_t ticks = stall_ticks.fetch_add(1, std::memory_order_relaxed) + 1;
    if (watchdog_restarts(ticks, playback_wanted) && media_player != nullptr) {
        trace_event("watchdog.restart");
        restart_player();
        stall_ticks.store(0, std::memory_order_relaxed);
    }
}

int32_t player_volume() { return volume; }

void set_player_volume(int32_t new_volume) {
    volume = new_volume;
    if (media_player != nullptr) libvlc_audio_set_volume(media_player, volume);
}

void step_player_volume(int32_t step) { set_player_volume(stepped_volume(volume, step)); }

void toggle_mute() {
    if (media_player == nullptr) return;
    int32_t muted = libvlc_audio_get_mute(media_player);
    libvlc_audio_set_mute(media_player, (muted & 1) ^ 1);
}

int32_t player_mute_state() { return media_player != nullptr ? libvlc_audio_get_mute(media_player) : -1; }

libvlc_media_player_t* player_handle() { return media_player; }

bool player_is_playing() { return media_player != nullptr && libvlc_media_player_is_playing(media_player) != 0; }

void set_aspect_ratio(const char* ratio) {
    if (media_player != nullptr) libvlc_video_set_aspect_ratio(media_player, ratio);
}
