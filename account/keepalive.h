// The paid session's keep-alive: every minute and before every change to
// another channel.
#pragma once

// Tells the service which account is watching, shows the credit it answers
// and, when it refuses the session, takes the refusal action and says so.
void keep_session();

// What a refused session does before its message: the program's top hands
// in the player's stop at start-up (the account knows nothing of playback).
void set_session_refused_action(void (*action)());
