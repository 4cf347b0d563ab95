// The paid session's keep-alive: every minute and before every change to
// another channel.
#pragma once

#include "service/exchange.h"

// Tells the service which account is watching, shows the credit it answers
// and, when it refuses the session, takes the refusal action and says so.
void keep_session();

// keep_session in its steps, for a channel start (see exchange_under_way):
// begun and sent while the guide's exchange is under way, finished after
// the new stream started. A refusal then only says so: the start has
// already stopped what played before, and the new channel is not stopped.
struct session_check {
    exchange_under_way exchange;
    char line[request_line_size];
};
void begin_keep_session(session_check* check);
void send_keep_session(session_check* check);
void finish_keep_session(session_check* check);

// What a refused session does before its message: the program's top hands
// in the player's stop at start-up (the account knows nothing of playback).
void set_session_refused_action(void (*action)());
