// The paid session's keep-alive: every minute and before every change to
// another channel.
#pragma once

// Tells the service which account is watching, shows the credit it answers
// and stops the player with a message when it refuses the session.
void keep_session();
