// The stream relay. The player library follows an HTTP redirect to whatever
// its Location names (file://, smb://, ...) and opens it with the module of
// that scheme: a stream host could make it read a local file, or on Windows
// connect to a file share with the user's credentials. No option of the
// library stops it, so the player reads every stream through this relay on
// the loopback interface instead. The relay fetches the stream with WinHTTP,
// which speaks only http and https, follows redirects only between those,
// and hands the player the body alone: no redirect ever reaches the player.
#pragma once

#include <cstddef>
#include <cstdint>

// The address the player is given for a stream URL
// ("http://127.0.0.1:<port>/<id>"). False, with out empty, when the relay
// cannot run; the stream then does not start.
bool relay_address_for(const char* stream_url, char* out, size_t out_size);
