// Timestamps of the program's steps, for the benchmarks. Nothing is written
// unless the environment variable TVCLIENT_TRACE names a file; then every
// event appends one line "<microseconds> <name>" to it, the microseconds
// from the system's monotonic clock. Safe from any thread, including the
// player's own.
#pragma once

#include <cstdint>

// True when events are being written.
bool trace_on();

// Appends one event line when tracing is on.
void trace_event(const char* name);

// Writes the events to the given file from now on (nullptr stops); what
// TVCLIENT_TRACE does at the first event. Returns false if it cannot be opened.
bool trace_to(const char* path);

// Microseconds of the monotonic clock that the events use.
int64_t trace_clock_us();
