// Start-up of the program and its message loop.
#pragma once

#include "base/win32.h"

#include <cstdint>

// Asks the service for its protocol version. When the answer is not "0.03"
// (including every failed exchange, which shows its own message first) it
// shows the version message and returns false: the program must then end.
bool check_service_version();

// The popup menu, the black brush and the window class "icon" that the
// login dialog needs.
void prepare_first_class();

// Runs the login dialog; true after an accepted login.
bool run_login();

// Registers the further classes, creates the video window, the player, the
// fonts, the six panels and the toolbars, and shows the window and overlays.
void build_windows();

// Reads the account data into the user panel and fills the channel table,
// then records the window's placement and marks "Винаги отгоре".
void finish_startup();

// What the message loop does after dispatching one message: the popup
// menu's commands and the keys pressed while the video window has the focus.
void handle_after_dispatch(const MSG& message);

// One turn of the message loop: translate, dispatch, then the commands above.
void process_message(const MSG& message);

// The message loop; returns the quit message's code.
int32_t run_message_loop();
