// The player: the one libvlc instance and media player, drawing into the
// video window, with the stall watchdog and the sound and picture settings.
// Nothing else in the program touches libvlc: every other part calls these.
#pragma once

#include "base/win32.h"

#include <atomic>
#include <cstdint>

extern int32_t playback_wanted;
// Watchdog ticks since the last time-changed event. The library's thread
// stores 0; the GUI thread increments and compares.
extern std::atomic<int32_t> stall_ticks;

// Creates the player drawing into the video window (volume 50).
void create_player(HWND video);
// Plays a stream (through the stream relay), replacing what played.
void start_stream(const char* url);
void stop_player();
// One tick of the stall watchdog: restarts a stream that makes no progress.
void watchdog_tick();

int32_t player_volume();
void set_player_volume(int32_t volume);
// The volume after one step of +1 or -1, applied to the player.
void step_player_volume(int32_t step);
void toggle_mute();
// 1 when muted, 0 when not, -1 while there is no sound output to ask.
int32_t player_mute_state();
bool player_is_playing();
// The library's media player, for a listener of its own beside the
// program's: the tests count the picture's progress by the library's events.
struct libvlc_media_player_t;
libvlc_media_player_t* player_handle();
void set_aspect_ratio(const char* ratio);

// Binds the player to the video window's native window.
void bind_player(HWND video);
// Binds it again when the window system gave the video window a new native
// window (a style change may do that under Wine).
void rebind_player_if_replaced(HWND video);
