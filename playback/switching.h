// Channel switching: the one road by which a channel starts playing, the
// navigation around it and the parental lock.
#pragma once

#include "base/win32.h"

#include <cstdint>

extern int32_t current_channel;
extern int32_t playing_channel;
extern char channel_lock[32];

void switch_channel();
void select_first_channel();
void select_previous_channel();
void select_next_channel();
void select_last_channel();
void play_current_channel();
void stop_playback();
// The channel table's activation of a row.
void activate_channel(int32_t row);
// Asks for the lock code in the parental dialog: 1 when the typed code is
// the channel's, 0 otherwise.
int32_t ask_lock_code();
