// Where the player draws: the one place that differs between the Winelib
// build (an X11 window) and the Windows program (the window itself).
#pragma once

#include "base/win32.h"

#include <vlc/vlc.h>

#include <cstdint>

// The window the player draws into for the video window.
uintptr_t native_window_of(HWND video);

// Hands that window to the media player.
void set_player_window(libvlc_media_player_t* player, uintptr_t window);

// Settings of the process's memory that playing needs (none on Windows).
void prepare_player_memory();
