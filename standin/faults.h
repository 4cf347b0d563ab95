// Fault modes of the stand-in, chosen per request type, so that tests and
// demos can see how the client copes with a misbehaving service.
#pragma once

#include "standin/protocol.h"

#include <cstdint>
#include <string>

namespace standin {

enum class fault {
    none,
    silent,         // accept, read, answer nothing, keep the connection open
    close,          // close at once without answering
    one_byte,       // answer the first byte only, keep the connection open
    trailing_zero,  // answer, then a zero byte, keep the connection open
    huge,           // answer more than 32000 bytes
    drip,           // answer in pieces of drip_bytes, drip_seconds apart
    stall_half,     // answer half, then keep the connection open, silent
    wrong_version,  // version only: answer "0.02"
    stall,          // stream only: stop sending after stall_seconds
    redirect,       // stream only: answer 302 Found with Location redirect_to
    burst,          // stream only: burst_megabytes of stream as fast as the reader takes them
    body,           // stream only: the canned body body_name instead of the stream
    drop,           // stream only: the stream's connection closed after drop_seconds
};

constexpr size_t fault_kinds = 7;  // version .. stream, in request_kind order

struct fault_table {
    fault of[fault_kinds] = {};
    int32_t stall_seconds = 5;   // stream stall: seconds of picture first
    // How long a connection is kept open after silent, one_byte,
    // trailing_zero and stall_half (--hold).
    int32_t hold_seconds = 60;
    // A plain "drip" sends 7 bytes every 2 ms; drip:SECONDS[/BYTES] sets the
    // pause and the piece. An interval alone gives pieces of 2 bytes, the
    // least that keeps the client reading.
    double drip_seconds = 0.002;
    int32_t drip_bytes = 7;
    // redirect:LOCATION, the Location sent. "self" stands for the same
    // stream at the stand-in itself, marked so that it is not moved again;
    // "other" for the same at the stand-in's second port (another host, to
    // the client).
    std::string redirect_to = "self";
    // burst:MEGABYTES, a body of that length sent at once (no pause for
    // the reader but the socket's own).
    int32_t burst_megabytes = 50;
    // body:NAME, a body the relay must judge: "dash" (an MPD), "smooth" (a
    // Smooth Streaming manifest in UTF-16), "gzip" (a gzipped playlist
    // served as application/octet-stream), "split" (a playlist with a
    // byte order mark, its first bytes sent apart from the rest).
    std::string body_name = "dash";
    // drop:SECONDS[/WAYS]: every stream connection is closed SECONDS after
    // its answer began, as a broken line or a restarted server does; WAYS
    // joined by '+': "once", the first connection only; "reset", closed
    // with a reset; "refuse", every request for the dropped channel in the
    // 5 s after a drop closed unanswered.
    double drop_seconds = 5;
    bool drop_once = false;
    bool drop_reset = false;
    bool drop_refuse = false;
    // HLS channels (kind "hls"): every segment moved to this Location when
    // set; segments named by absolute addresses on the second port.
    std::string hls_segment_redirect;
    bool hls_absolute = false;
    bool hls_refuse_once = false;  // each segment's first request closed unanswered
};

const char* fault_name(fault f);

// Reads one setting "kind=fault" (e.g. "epg=drip", "epg=drip:4.5",
// "stream=stall:3", "stream=redirect:file:///etc/hostname", "all=none");
// false for an unknown kind or fault or a malformed argument.
bool apply_fault_setting(const std::string& setting, fault_table* table, std::string* error);

// Reads settings separated by new lines, blanks or commas; '#' starts a comment.
bool apply_fault_settings(const std::string& text, fault_table* table, std::string* error);

}  // namespace standin
