#include "standin/protocol.h"

#include <cstdio>
#include <cstring>

namespace standin {

namespace {

const char protocol_prefix[] = "GET http://";
const char protocol_path[] = "/socket_server/server.php?input=";

std::vector<std::string> split_exact(const std::string& body) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t at = body.find(sep, start);
        if (at == std::string::npos) {
            fields.push_back(body.substr(start));
            return fields;
        }
        fields.push_back(body.substr(start, at - start));
        start = at + 1;
    }
}

request bad_request(const char* reason) {
    request r;
    r.kind = request_kind::bad;
    r.reason = reason;
    return r;
}

request parse_stream_line(const std::string& line) {
    // "GET /live?ch=3&sid=..&channelid=.. HTTP/1.1"
    std::string rest = line.substr(4);
    size_t space = rest.find(' ');
    std::string path = rest.substr(0, space);
    request r;
    if (path.compare(0, 17, "/hls/master.m3u8?") == 0) {
        r.hls_file = "master.m3u8";
    } else if (path.compare(0, 5, "/hls/") == 0) {
        // "/hls/<channel>/<file>": a variant playlist or a segment, no session.
        size_t slash = path.find('/', 5);
        std::string file = slash == std::string::npos ? std::string() : path.substr(slash + 1);
        bool plain = !file.empty() && file.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.") == std::string::npos &&
                     file.find("..") == std::string::npos;
        if (!plain) return bad_request("unknown path");
        r.kind = request_kind::stream;
        r.stream_channel = path.substr(5, slash - 5);
        r.hls_file = file;
        r.stream_path = path;
        return r;
    } else if (path.compare(0, 6, "/live?") != 0) {
        return bad_request("unknown path");
    }
    r.kind = request_kind::stream;
    r.stream_channel = query_value(path, "ch");
    r.session_id = query_value(path, "sid");
    r.channel_id = query_value(path, "channelid");
    r.stream_path = path;
    r.moved = query_value(path, "moved") == "1";
    return r;
}

}  // namespace

const char* kind_name(request_kind kind) {
    switch (kind) {
    case request_kind::version: return "version";
    case request_kind::account_info: return "account";
    case request_kind::shares_info: return "shares";
    case request_kind::keepsession: return "keepsession";
    case request_kind::channelslist: return "channelslist";
    case request_kind::epg: return "epg";
    case request_kind::stream: return "stream";
    case request_kind::bad: return "bad";
    }
    return "bad";
}

request parse_request_line(const std::string& raw) {
    if (raw.size() > max_request_line) return bad_request("too long");
    std::string line = raw;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
        line.resize(line.size() - 2);
    } else {
        return bad_request("cut off");
    }
    if (line.compare(0, 5, "GET /") == 0) return parse_stream_line(line);
    if (line.compare(0, sizeof protocol_prefix - 1, protocol_prefix) != 0) return bad_request("not a request");
    size_t path_at = line.find(protocol_path, sizeof protocol_prefix - 1);
    if (path_at == std::string::npos) return bad_request("unknown path");
    std::string host = line.substr(sizeof protocol_prefix - 1, path_at - (sizeof protocol_prefix - 1));
    if (host.empty() || host.find('/') != std::string::npos) return bad_request("bad host");
    std::string body = line.substr(path_at + sizeof protocol_path - 1);

    std::vector<std::string> f = split_exact(body);
    request r;
    if (f.size() == 1 && f[0] == "version") {
        r.kind = request_kind::version;
        return r;
    }
    if (f.size() < 6 || f[0] != "user" || f[2] != "pass") return bad_request("unknown request");
    r.user = f[1];
    r.pass = f[3];
    const std::string& word = f[4];
    if (f.size() == 6 && word == "account" && f[5] == "info") {
        r.kind = request_kind::account_info;
    } else if (f.size() == 6 && word == "shares" && f[5] == "info") {
        r.kind = request_kind::shares_info;
    } else if (f.size() == 6 && word == "channelslist" && f[5] == "info") {
        r.kind = request_kind::channelslist;
    } else if (f.size() == 6 && word == "epg") {
        r.kind = request_kind::epg;
        r.channel_id = f[5];
    } else if (f.size() == 8 && word == "keepsession" && f[6] == "seederid") {
        r.kind = request_kind::keepsession;
        r.session_id = f[5];
        r.seeder_id = f[7];
    } else {
        return bad_request("unknown request");
    }
    return r;
}

std::string join_fields(const std::vector<std::string>& fields) {
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) out.push_back(sep);
        out += fields[i];
    }
    return out;
}

std::string escape_for_log(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() + 16);
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

std::string format_cents(int64_t cents) {
    char buf[32];
    const char* sign = cents < 0 ? "-" : "";
    uint64_t v = cents < 0 ? static_cast<uint64_t>(-(cents + 1)) + 1 : static_cast<uint64_t>(cents);
    snprintf(buf, sizeof buf, "%s%llu.%02llu", sign, static_cast<unsigned long long>(v / 100),
             static_cast<unsigned long long>(v % 100));
    return buf;
}

bool parse_cents(const std::string& text, int64_t* cents) {
    size_t i = 0;
    int64_t whole = 0;
    if (text.empty()) return false;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (whole > 100000000000LL) return false;
        whole = whole * 10 + (text[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0) return false;
    int64_t frac = 0;
    if (i < text.size()) {
        if (text[i] != '.') return false;
        ++i;
        size_t frac_digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && frac_digits < 2) {
            frac = frac * 10 + (text[i] - '0');
            ++i;
            ++frac_digits;
        }
        if (frac_digits == 0 || i != text.size()) return false;
        if (frac_digits == 1) frac *= 10;
    }
    *cents = whole * 100 + frac;
    return true;
}

std::string query_value(const std::string& path, const std::string& name) {
    size_t q = path.find('?');
    if (q == std::string::npos) return "";
    size_t at = q + 1;
    while (at <= path.size()) {
        size_t end = path.find('&', at);
        if (end == std::string::npos) end = path.size();
        std::string pair = path.substr(at, end - at);
        if (pair.compare(0, name.size() + 1, name + "=") == 0) return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return "";
}

}  // namespace standin
