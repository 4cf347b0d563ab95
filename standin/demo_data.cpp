#include "standin/demo_data.h"

#include "standin/protocol.h"

#include <yaml-cpp/yaml.h>

#include <set>

namespace standin {

namespace {

// Every value the service sends must be a non-empty field without the
// separator byte: the client drops empty fields and would misalign the rest.
bool field_ok(const std::string& value) {
    return !value.empty() && value.find(sep) == std::string::npos && value.find('\0') == std::string::npos;
}

std::string text_of(const YAML::Node& node, const char* key, const std::string& fallback = "") {
    const YAML::Node v = node[key];
    if (!v || v.IsNull()) return fallback;
    return v.as<std::string>();
}

bool check(bool ok, const std::string& what, std::string* error) {
    if (!ok && error->empty()) *error = what;
    return ok;
}

bool read_account(const YAML::Node& n, size_t index, account* a, std::string* error) {
    std::string where = "account " + std::to_string(index + 1);
    a->user = text_of(n, "user");
    a->password = text_of(n, "password");
    a->uid = text_of(n, "uid");
    a->first_name = text_of(n, "first_name");
    a->last_name = text_of(n, "last_name");
    a->email = text_of(n, "email", a->user + "@example.bg");
    std::string credit = text_of(n, "credit", "0.00");
    bool ok = check(field_ok(a->user), where + ": user is missing", error) &&
              check(a->user.size() <= 31, where + ": user is longer than 31 bytes", error) &&
              check(a->password.size() <= 31 && a->password.find(sep) == std::string::npos,
                    where + ": password is longer than 31 bytes", error) &&
              check(field_ok(a->uid) && a->uid.find(' ') == std::string::npos,
                    where + ": uid must be one word", error) &&
              check(field_ok(a->first_name), where + ": first_name is missing", error) &&
              check(field_ok(a->last_name), where + ": last_name is missing", error) &&
              check(field_ok(a->email), where + ": email is empty", error) &&
              check(parse_cents(credit, &a->credit_cents), where + ": credit must look like 12.50", error);
    if (!ok) return false;
    if (const YAML::Node shares = n["shares"]) {
        for (const YAML::Node& s : shares) a->shares.push_back(s.as<std::string>());
    }
    return true;
}

bool read_channel(const YAML::Node& n, size_t index, channel* c, std::string* error) {
    std::string where = "channel " + std::to_string(index + 1);
    c->id = text_of(n, "id");
    c->name = text_of(n, "name");
    c->price = text_of(n, "price");
    c->lock = text_of(n, "lock", "0");
    c->genre = text_of(n, "genre", "general");
    c->pattern = text_of(n, "pattern", "testsrc2");
    c->tone_hz = n["tone"] ? n["tone"].as<int32_t>() : 440;
    c->hls = n["hls"] && n["hls"].as<bool>();
    c->broadcast = n["broadcast"] && n["broadcast"].as<bool>();
    bool lock_digits = !c->lock.empty() && c->lock.size() <= 31;
    for (char ch : c->lock) lock_digits = lock_digits && ch >= '0' && ch <= '9';
    bool pattern_ok = !c->pattern.empty();
    for (char ch : c->pattern) pattern_ok = pattern_ok && ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9'));
    return check(field_ok(c->id) && c->id.size() <= 31 && c->id.find_first_of(" &?#") == std::string::npos,
                 where + ": id must be a short word", error) &&
           check(field_ok(c->name), where + ": name is missing", error) &&
           check(field_ok(c->price), where + ": price is missing", error) &&
           check(lock_digits, where + ": lock must be digits (0 for none)", error) &&
           check(pattern_ok, where + ": pattern must be an ffmpeg source name such as testsrc2", error) &&
           check(c->tone_hz >= 20 && c->tone_hz <= 20000, where + ": tone must be 20 to 20000 Hz", error) &&
           check(!(c->hls && c->broadcast), where + ": a channel is hls or broadcast, not both", error);
}

bool read_all(const YAML::Node& root, demo_data* out, std::string* error) {
    *out = demo_data();
    if (root["charge"]) {
        if (!check(parse_cents(root["charge"].as<std::string>(), &out->charge_cents),
                   "charge must look like 0.01", error))
            return false;
    }
    const YAML::Node accounts = root["accounts"];
    const YAML::Node channels = root["channels"];
    if (!check(accounts && accounts.IsSequence() && accounts.size() > 0, "no accounts", error)) return false;
    if (!check(channels && channels.IsSequence() && channels.size() > 0, "no channels", error)) return false;
    for (size_t i = 0; i < accounts.size(); ++i) {
        account a;
        if (!read_account(accounts[i], i, &a, error)) return false;
        out->accounts.push_back(a);
    }
    for (size_t i = 0; i < channels.size(); ++i) {
        channel c;
        if (!read_channel(channels[i], i, &c, error)) return false;
        out->channels.push_back(c);
    }
    std::set<std::string> users, uids, ids;
    for (const account& a : out->accounts) {
        if (!check(users.insert(a.user).second, "user " + a.user + " is there twice", error)) return false;
        if (!check(uids.insert(a.uid).second, "uid " + a.uid + " is there twice", error)) return false;
    }
    for (const account& a : out->accounts)
        for (const std::string& s : a.shares)
            if (!check(uids.count(s) == 1, "account " + a.user + " shares unknown uid " + s, error)) return false;
    for (const channel& c : out->channels)
        if (!check(ids.insert(c.id).second, "channel id " + c.id + " is there twice", error)) return false;
    return true;
}

}  // namespace

bool load_demo_text(const std::string& text, demo_data* out, std::string* error) {
    error->clear();
    try {
        return read_all(YAML::Load(text), out, error);
    } catch (const YAML::Exception& e) {
        *error = e.what();
        return false;
    }
}

bool load_demo_file(const std::string& path, demo_data* out, std::string* error) {
    error->clear();
    try {
        bool ok = read_all(YAML::LoadFile(path), out, error);
        if (!ok) *error = path + ": " + *error;
        return ok;
    } catch (const YAML::Exception& e) {
        *error = path + ": " + e.what();
        return false;
    }
}

}  // namespace standin
