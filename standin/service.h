// What the stand-in answers: accounts, sessions and credit, the channel list
// and the guide. Thread-safe; every connection thread calls respond().
#pragma once

#include "standin/demo_data.h"
#include "standin/protocol.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace standin {

class service {
public:
    // public_host: what stream addresses name, e.g. "127.0.0.1:8080".
    // A session not used (by a keepsession, a channel list of its user or a
    // stream) for idle_seconds is forgotten.
    service(demo_data data, std::string public_host, int64_t idle_seconds = 30 * 60);

    // The response to one protocol request (not a stream), as it should be
    // sent when no fault is set.
    std::string respond(const request& r, int64_t now);

    // For a stream request: the channel to play, or nullptr when the session
    // is unknown or the channel does not exist.
    const channel* stream_channel(const request& r);

    std::string stream_address(const channel& c) const;
    // Forgets the sessions idle for too long (the service calls it now and
    // then; a lookup never finds one anyway).
    void forget_idle_sessions();
    size_t session_count();
    // The clock of the sessions' idle time, in seconds (tests set their own).
    void set_clock(int64_t (*seconds_now)()) { clock_ = seconds_now; }
    const demo_data& data() const { return data_; }
    std::string credit_of(const std::string& uid);

private:
    const account* account_by_login(const std::string& user, const std::string& pass) const;
    account* account_by_uid(const std::string& uid);
    std::string new_session_id();
    std::string login_response(const account& a);
    std::string shares_response(const account& a);
    std::string keepsession_response(const request& r);
    std::string channels_response();

    demo_data data_;
    std::string public_host_;
    std::mutex lock_;
    struct session {
        std::string uid;  // of the account logged in
        int64_t last_used;
    };
    // The session, used now; nullptr when unknown or idle for too long.
    session* use_session(const std::string& id);
    static int64_t steady_seconds();

    int64_t idle_seconds_;
    int64_t (*clock_)() = steady_seconds;
    std::map<std::string, session> sessions_;
};

}  // namespace standin
