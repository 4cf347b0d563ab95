// The shell's process-wide state: the instance, the black brush, the video
// window (the owner of every panel and message) and the count of idle
// seconds that hides the overlays. The panels' own handles live with the
// subsystem that owns each; what the panels share is base/panel_family.
#pragma once

#include "base/panel_family.h"
#include "base/win32.h"

#include <cstdint>

extern HINSTANCE app_instance;
extern HBRUSH black_brush;
extern HWND video_window;

// 1-second ticks since the mouse last moved or an overlay was used: the
// overlays hide after 5.
extern int32_t idle_ticks;

// What the panel family calls the user's activity: the idle count starts over.
void reset_idle_ticks();

// The messages the overlays (control bar, exit button) answer alike: red
// text on black, and a press that drags the video window.
INT_PTR overlay_message(UINT message, WPARAM wparam);
