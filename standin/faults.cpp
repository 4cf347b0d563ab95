#include "standin/faults.h"

#include <cstdlib>

namespace standin {

namespace {

struct named_fault {
    const char* name;
    fault value;
};

const named_fault fault_names[] = {
    {"none", fault::none},         {"silent", fault::silent},
    {"close", fault::close},       {"one_byte", fault::one_byte},
    {"trailing_zero", fault::trailing_zero}, {"huge", fault::huge},
    {"drip", fault::drip},         {"stall_half", fault::stall_half},
    {"wrong_version", fault::wrong_version}, {"stall", fault::stall},
    {"redirect", fault::redirect}, {"burst", fault::burst},
    {"body", fault::body},         {"drop", fault::drop},
};

// "SECONDS" or "SECONDS/BYTES" of a drip.
bool read_drip(const std::string& arg, fault_table* table) {
    char* end = nullptr;
    double seconds = strtod(arg.c_str(), &end);
    if (end == arg.c_str() || !(seconds >= 0 && seconds <= 3600)) return false;
    int32_t bytes = 2;
    if (*end == '/') {
        const char* b = end + 1;
        long n = strtol(b, &end, 10);
        if (end == b || n < 1 || n > 65536) return false;
        bytes = static_cast<int32_t>(n);
    }
    if (*end != '\0') return false;
    table->drip_seconds = seconds;
    table->drip_bytes = bytes;
    return true;
}

const request_kind kinds[fault_kinds] = {
    request_kind::version, request_kind::account_info, request_kind::shares_info,
    request_kind::keepsession, request_kind::channelslist, request_kind::epg, request_kind::stream,
};

}  // namespace

const char* fault_name(fault f) {
    for (const named_fault& n : fault_names)
        if (n.value == f) return n.name;
    return "none";
}

bool apply_fault_setting(const std::string& setting, fault_table* table, std::string* error) {
    size_t eq = setting.find('=');
    if (eq == std::string::npos) {
        *error = "fault setting without '=': " + setting;
        return false;
    }
    std::string kind = setting.substr(0, eq);
    std::string value = setting.substr(eq + 1);
    std::string arg;
    size_t colon = value.find(':');
    if (colon != std::string::npos) {
        arg = value.substr(colon + 1);
        value = value.substr(0, colon);
    }
    if (kind == "hls") {
        // HLS channels' segments and playlists: "redirect:LOCATION" answers
        // every segment with a redirect there, "absolute" names the segments
        // by absolute addresses on the service's second port, "refuse" closes
        // each segment's first request unanswered, "none" ends them all.
        if (value == "redirect" && !arg.empty()) table->hls_segment_redirect = arg;
        else if (value == "absolute" && arg.empty()) table->hls_absolute = true;
        else if (value == "refuse" && arg.empty()) table->hls_refuse_once = true;
        else if (value == "none" && arg.empty())
            table->hls_segment_redirect.clear(), table->hls_absolute = false, table->hls_refuse_once = false;
        else {
            *error = "hls wants redirect:LOCATION, absolute, refuse or none: " + value;
            return false;
        }
        return true;
    }
    if (kind == "all" && value == "none") {
        table->hls_segment_redirect.clear();
        table->hls_absolute = false;
        table->hls_refuse_once = false;
    }
    const named_fault* found = nullptr;
    for (const named_fault& n : fault_names)
        if (value == n.name) found = &n;
    if (found == nullptr) {
        *error = "unknown fault: " + value;
        return false;
    }
    bool stream_only = found->value == fault::stall || found->value == fault::redirect ||
                       found->value == fault::burst || found->value == fault::body ||
                       found->value == fault::drop;
    bool version_only = found->value == fault::wrong_version;
    bool matched = false;
    for (size_t i = 0; i < fault_kinds; ++i) {
        if (kind != "all" && kind != kind_name(kinds[i])) continue;
        bool is_stream = kinds[i] == request_kind::stream;
        bool is_version = kinds[i] == request_kind::version;
        if (kind == "all" && found->value != fault::none && (is_stream != stream_only)) continue;
        if ((stream_only && !is_stream) || (version_only && !is_version)) {
            *error = std::string("fault ") + found->name + " does not apply to " + kind;
            return false;
        }
        table->of[i] = found->value;
        matched = true;
    }
    if (!matched) {
        *error = "unknown request kind: " + kind;
        return false;
    }
    if (found->value == fault::stall && !arg.empty()) table->stall_seconds = atoi(arg.c_str());
    if (found->value == fault::redirect && !arg.empty()) table->redirect_to = arg;
    if (found->value == fault::burst && !arg.empty()) {
        table->burst_megabytes = atoi(arg.c_str());
        if (table->burst_megabytes <= 0 || table->burst_megabytes > 1024) {
            *error = "burst wants MEGABYTES from 1 to 1024: " + arg;
            return false;
        }
    }
    if (found->value == fault::drop) {
        std::string how;
        size_t slash = arg.find('/');
        if (slash != std::string::npos) how = arg.substr(slash + 1);
        char* end = nullptr;
        std::string seconds = arg.substr(0, slash);
        table->drop_seconds = seconds.empty() ? 5 : strtod(seconds.c_str(), &end);
        bool number = seconds.empty() || (end != nullptr && *end == '\0');
        table->drop_once = table->drop_reset = table->drop_refuse = false;
        bool known = true;
        size_t at = 0;
        while (known && slash != std::string::npos && at <= how.size()) {
            size_t plus = how.find('+', at);
            if (plus == std::string::npos) plus = how.size();
            std::string word = how.substr(at, plus - at);
            if (word == "once") table->drop_once = true;
            else if (word == "reset") table->drop_reset = true;
            else if (word == "refuse") table->drop_refuse = true;
            else known = false;
            at = plus + 1;
        }
        if (!number || !known || !(table->drop_seconds > 0 && table->drop_seconds <= 3600)) {
            *error = "drop wants SECONDS[/once, reset or refuse, joined by +]: " + arg;
            return false;
        }
    }
    if (found->value == fault::body) {
        if (arg != "dash" && arg != "smooth" && arg != "gzip" && arg != "split") {
            *error = "body wants dash, smooth, gzip or split: " + arg;
            return false;
        }
        table->body_name = arg;
    }
    if (found->value == fault::drip && !arg.empty() && !read_drip(arg, table)) {
        *error = "drip wants SECONDS or SECONDS/BYTES: " + arg;
        return false;
    }
    return true;
}

bool apply_fault_settings(const std::string& text, fault_table* table, std::string* error) {
    std::string word;
    bool in_comment = false;
    for (size_t i = 0; i <= text.size(); ++i) {
        char c = i < text.size() ? text[i] : '\n';
        if (c == '#') in_comment = true;
        if (c == '\n' || c == ' ' || c == '\t' || c == ',' || c == '\r') {
            if (!word.empty() && !apply_fault_setting(word, table, error)) return false;
            word.clear();
            if (c == '\n') in_comment = false;
            continue;
        }
        if (!in_comment) word.push_back(c);
    }
    return true;
}

}  // namespace standin
