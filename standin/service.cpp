#include "standin/service.h"

#include "standin/guide.h"

#include <chrono>
#include <cstdio>
#include <random>

namespace standin {

namespace {
// The client reads at most this much of a response.
const size_t client_response_limit = 32000;
}

service::service(demo_data data, std::string public_host, int64_t idle_seconds)
    : data_(std::move(data)), public_host_(std::move(public_host)), idle_seconds_(idle_seconds) {}

int64_t service::steady_seconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

service::session* service::use_session(const std::string& id) {
    auto found = sessions_.find(id);
    if (found == sessions_.end()) return nullptr;
    int64_t now = clock_();
    if (now - found->second.last_used > idle_seconds_) {
        sessions_.erase(found);
        return nullptr;
    }
    found->second.last_used = now;
    return &found->second;
}

void service::forget_idle_sessions() {
    std::lock_guard<std::mutex> hold(lock_);
    int64_t now = clock_();
    for (auto s = sessions_.begin(); s != sessions_.end();) {
        if (now - s->second.last_used > idle_seconds_) s = sessions_.erase(s);
        else ++s;
    }
}

size_t service::session_count() {
    std::lock_guard<std::mutex> hold(lock_);
    return sessions_.size();
}

const account* service::account_by_login(const std::string& user, const std::string& pass) const {
    for (const account& a : data_.accounts)
        if (a.user == user && a.password == pass) return &a;
    return nullptr;
}

account* service::account_by_uid(const std::string& uid) {
    for (account& a : data_.accounts)
        if (a.uid == uid) return &a;
    return nullptr;
}

std::string service::credit_of(const std::string& uid) {
    std::lock_guard<std::mutex> hold(lock_);
    account* a = account_by_uid(uid);
    return a ? format_cents(a->credit_cents) : "";
}

std::string service::new_session_id() {
    // Hex only: no letters that could make the client take it for a key.
    static std::random_device seed;
    static std::mt19937_64 gen(seed());
    char buf[40];
    snprintf(buf, sizeof buf, "%016llx%016llx", static_cast<unsigned long long>(gen()),
             static_cast<unsigned long long>(gen()));
    return buf;
}

std::string service::login_response(const account& a) {
    std::string sid = new_session_id();
    sessions_[sid] = session{a.uid, clock_()};
    return join_fields({"uid", a.uid, "fn", a.first_name, "ln", a.last_name, "sessionid", sid, "cr",
                        format_cents(a.credit_cents), "shr", std::to_string(a.shares.size())});
}

std::string service::shares_response(const account& a) {
    std::vector<std::string> fields;
    for (const std::string& uid : a.shares) {
        account* s = account_by_uid(uid);
        if (s == nullptr) continue;
        for (const std::string& f : {std::string("sid"), s->uid, std::string("fn"), s->first_name,
                                     std::string("ln"), s->last_name, std::string("em"), s->email,
                                     std::string("cr"), format_cents(s->credit_cents)})
            fields.push_back(f);
    }
    return join_fields(fields);
}

std::string service::keepsession_response(const request& r) {
    auto refused = [](const std::string& credit) {
        return credit.empty() ? join_fields({"session", "false"})
                              : join_fields({"session", "false", "credit", credit});
    };
    session* s = use_session(r.session_id);
    const account* who = account_by_login(r.user, r.pass);
    if (s == nullptr || who == nullptr || who->uid != s->uid) return refused("");
    // The charged account: the own one or one shared with it.
    bool allowed = r.seeder_id == who->uid;
    for (const std::string& uid : who->shares) allowed = allowed || r.seeder_id == uid;
    account* payer = allowed ? account_by_uid(r.seeder_id) : nullptr;
    if (payer == nullptr) return refused("");
    if (payer->credit_cents < data_.charge_cents) return refused(format_cents(payer->credit_cents));
    payer->credit_cents -= data_.charge_cents;
    return join_fields({"session", "ok", "credit", format_cents(payer->credit_cents)});
}

std::string service::stream_address(const channel& c) const {
    return public_host_ + (c.hls ? "/hls/master.m3u8?ch=" : "/live?ch=") + c.id;
}

std::string service::channels_response() {
    std::vector<std::string> fields;
    for (const channel& c : data_.channels) {
        fields.push_back(c.id);
        fields.push_back(c.name);
        fields.push_back(stream_address(c));
        fields.push_back(c.price);
        fields.push_back(c.lock);
    }
    return join_fields(fields);
}

std::string service::respond(const request& r, int64_t now) {
    std::lock_guard<std::mutex> hold(lock_);
    switch (r.kind) {
    case request_kind::version:
        return "0.03";
    case request_kind::account_info: {
        const account* a = account_by_login(r.user, r.pass);
        return a ? login_response(*a) : "false";
    }
    case request_kind::shares_info: {
        const account* a = account_by_login(r.user, r.pass);
        return a ? shares_response(*a) : "false";
    }
    case request_kind::keepsession:
        return keepsession_response(r);
    case request_kind::channelslist: {
        const account* a = account_by_login(r.user, r.pass);
        if (a == nullptr) return "";
        // A channel list keeps its user's sessions alive.
        int64_t now = clock_();
        for (auto& s : sessions_)
            if (s.second.uid == a->uid && now - s.second.last_used <= idle_seconds_) s.second.last_used = now;
        return channels_response();
    }
    case request_kind::epg:
        if (account_by_login(r.user, r.pass) == nullptr) return "";
        for (const channel& c : data_.channels)
            if (c.id == r.channel_id) return epg_response(c, now, client_response_limit - 1);
        return "";
    case request_kind::stream:
    case request_kind::bad:
        break;
    }
    return "";
}

const channel* service::stream_channel(const request& r) {
    std::lock_guard<std::mutex> hold(lock_);
    if (use_session(r.session_id) == nullptr) return nullptr;
    for (const channel& c : data_.channels)
        if (c.id == r.stream_channel) return &c;
    return nullptr;
}

}  // namespace standin
