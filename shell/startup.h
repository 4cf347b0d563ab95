// Start-up of the program.
#pragma once

// Asks the service for its protocol version. When the answer is not "0.03"
// (including every failed exchange, which shows its own message first) it
// shows the version message and returns false: the program must then end.
bool check_service_version();
