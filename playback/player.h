// The player: the one libvlc instance and media player, drawing into the
// video window, with the stall watchdog and the sound and picture settings.
#pragma once

#include "shell/win32.h"

#include <vlc/vlc.h>

#include <atomic>
#include <cstdint>

extern libvlc_instance_t* vlc_instance;
extern libvlc_media_player_t* media_player;
extern libvlc_event_manager_t* player_events;
extern libvlc_media_t* current_media;
extern int32_t volume;
extern int32_t playback_wanted;
// Watchdog ticks since the last time-changed event. The library's thread
// stores 0; the GUI thread increments and compares.
extern std::atomic<int32_t> stall_ticks;

void create_player(HWND video);
void start_stream(const char* url);
void on_time_changed(const libvlc_event_t* event, void* data);
void watchdog_tick();
void step_volume(int32_t step);
void set_volume_from_slider();
void toggle_mute();
void set_aspect_ratio(const char* ratio);
// Binds the player to the video window's native window.
void bind_player(HWND video);
// Binds it again when the window system gave the video window a new native
// window (a style change may do that under Wine).
void rebind_player_if_replaced(HWND video);
