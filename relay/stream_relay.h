// The stream relay. The player library follows an HTTP redirect to whatever
// its Location names (file://, smb://, ...) and opens it with the module of
// that scheme: a stream host could make it read a local file, or on Windows
// connect to a file share with the user's credentials. No option of the
// library stops it, so the player reads every stream through this relay on
// the loopback interface instead. The relay fetches the stream itself over
// http (and https through WinHTTP), follows redirects only between those,
// and hands the player the answer's body alone: no redirect ever reaches
// the player.
//
// It passes the player's own request on (its header lines, the address's
// bytes unchanged) and rewrites the addresses in HLS playlists into relay
// addresses, so that segments, keys and variants come through it too.
#pragma once

#include <cstddef>
#include <cstdint>

// Ends every request under way and retires the addresses of earlier
// streams (they answer 404 from now on); then gives the address the player
// is given for this stream URL ("http://127.0.0.1:<port>/<id>"). Starts the
// relay when it does not run. False, with out empty, when the relay cannot
// run; the stream then does not start.
bool relay_address_for(const char* stream_url, char* out, size_t out_size);

// Ends every request under way at once, whatever the host is doing (the
// player stopped): each closes its connection to the host as soon as its
// thread sees the word, and this waits for that (a second at most), so
// that a restart or the next stream never has two connections to the host.
// The current stream's address stays valid for a restart.
void end_relayed_requests();

// While held, the relay connects to a stream's host but sends it no request
// (a channel start holds it until its own exchanges' requests are sent, so
// that the stream's handshake runs beside theirs and its request still
// comes after them); a stop or a channel change ends the wait, and no
// request waits longer than an exchange may take.
void relay_hold_requests(bool hold);

// How many live streams whose host connection broke the relay has given
// back to the player (asked for again and passed on), since the program
// started.
uint32_t relay_resumes();

// For the tests: makes the relay fail to start while set (as when the
// machine has no loopback port left), and stops a running one.
void relay_refuse_start(bool refuse);

// Whether the relay's WinHTTP session (its https road) was given TLS 1.2 or
// newer and told never to log on with the user's credentials.
bool relay_https_settings_applied();

// For the tests: plain http addresses take the https road (WinHTTP, without
// TLS) while set, so that the stand-in can serve that road too.
void relay_http_through_winhttp(bool on);

// For the tests: every name lookup of the http road takes this long first,
// as with a slow name server (0: as the system answers).
void relay_slow_name_lookups(uint32_t ms);
