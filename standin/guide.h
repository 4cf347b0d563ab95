// The programme guide, made up around the clock: the same channel shows the
// same programme at the same time on every request.
#pragma once

#include "standin/demo_data.h"

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

struct programme {
    int64_t start;  // seconds since the epoch
    int64_t end;
    std::string title;
    std::string comment;
};

// Programmes of 20 to 90 minutes covering [from, to).
std::vector<programme> guide_between(const channel& ch, int64_t from, int64_t to);

// The epg response: entries of start, end, title and comment ("HH:MM" in
// local time), from the programme on air at now to a day ahead, kept under
// max_bytes.
std::string epg_response(const channel& ch, int64_t now, size_t max_bytes);

std::string clock_text(int64_t when);

}  // namespace standin
