#include "standin/demo_data.h"
#include "standin/faults.h"
#include "standin/guide.h"
#include "standin/protocol.h"
#include "tests/standin/fields.h"
#include "standin/service.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace standin;

namespace {

const std::string head = "GET http://127.0.0.1:8080/socket_server/server.php?input=";

TEST(StandinRequests, EveryRequestOfTheCatalogueIsRecognised) {
    request r = parse_request_line(head + "version\r\n");
    EXPECT_EQ(r.kind, request_kind::version);

    r = parse_request_line(head + "user\x01ivan\x01pass\x01" "a&b c\x01" "account\x01info\r\n");
    EXPECT_EQ(r.kind, request_kind::account_info);
    EXPECT_EQ(r.user, "ivan");
    EXPECT_EQ(r.pass, "a&b c");

    r = parse_request_line(head + "user\x01\x01pass\x01\x01shares\x01info\r\n");
    EXPECT_EQ(r.kind, request_kind::shares_info);
    EXPECT_EQ(r.user, "");

    r = parse_request_line(head + "user\x01u\x01pass\x01p\x01keepsession\x01" "abc\x01seederid\x01" "7\r\n");
    EXPECT_EQ(r.kind, request_kind::keepsession);
    EXPECT_EQ(r.session_id, "abc");
    EXPECT_EQ(r.seeder_id, "7");

    r = parse_request_line(head + "user\x01u\x01pass\x01p\x01" "channelslist\x01info\r\n");
    EXPECT_EQ(r.kind, request_kind::channelslist);

    r = parse_request_line(head + "user\x01u\x01pass\x01p\x01" "epg\x01" "101\r\n");
    EXPECT_EQ(r.kind, request_kind::epg);
    EXPECT_EQ(r.channel_id, "101");

    r = parse_request_line("GET /live?ch=103&sid=ff00&channelid=103 HTTP/1.1\r\n");
    EXPECT_EQ(r.kind, request_kind::stream);
    EXPECT_EQ(r.stream_channel, "103");
    EXPECT_EQ(r.session_id, "ff00");
    EXPECT_EQ(r.channel_id, "103");

    // An HLS channel: its master playlist carries the session, its files do not.
    r = parse_request_line("GET /hls/master.m3u8?ch=110&sid=ff00&channelid=110 HTTP/1.1\r\n");
    EXPECT_EQ(r.kind, request_kind::stream);
    EXPECT_EQ(r.hls_file + " " + r.stream_channel + " " + r.session_id, "master.m3u8 110 ff00");
    r = parse_request_line("GET /hls/110/seg00012.ts HTTP/1.1\r\n");
    EXPECT_EQ(r.kind, request_kind::stream);
    EXPECT_EQ(r.hls_file + " " + r.stream_channel + " " + r.session_id, "seg00012.ts 110 ");
}

TEST(StandinRequests, BadLinesAreRefused) {
    EXPECT_EQ(parse_request_line(head + "version").kind, request_kind::bad);  // cut off
    EXPECT_EQ(parse_request_line("").kind, request_kind::bad);
    EXPECT_EQ(parse_request_line("HELLO\r\n").kind, request_kind::bad);
    EXPECT_EQ(parse_request_line(head + "versions\r\n").kind, request_kind::bad);
    EXPECT_EQ(parse_request_line(head + "user\x01u\x01pass\x01p\x01" "account\r\n").kind, request_kind::bad);
    // A separator inside a value adds a field: the request no longer parses.
    EXPECT_EQ(parse_request_line(head + "user\x01u\x01x\x01pass\x01p\x01" "account\x01info\r\n").kind,
              request_kind::bad);
    EXPECT_EQ(parse_request_line("GET /other HTTP/1.1\r\n").kind, request_kind::bad);
    EXPECT_EQ(parse_request_line(head + std::string(5000, 'a') + "\r\n").kind, request_kind::bad);
    // An HLS channel's files are named plainly: nothing outside its folder.
    for (const char* path : {"/hls/110/../../etc/passwd", "/hls/110/", "/hls/110", "/hls/110/a/b.ts",
                             "/hls/110/..", "/hls/110/A.TS"})
        EXPECT_EQ(parse_request_line(std::string("GET ") + path + " HTTP/1.1\r\n").kind, request_kind::bad) << path;
}

TEST(StandinLog, NonPrintableBytesAreEscaped) {
    EXPECT_EQ(escape_for_log("a\x01" "b\r\n"), "a\\x01b\\x0d\\x0a");
    EXPECT_EQ(escape_for_log("\\"), "\\x5c");
    EXPECT_EQ(escape_for_log("\xd0\x98"), "\\xd0\\x98");
    EXPECT_EQ(escape_for_log(std::string("\0", 1)), "\\x00");
}

TEST(StandinMoney, CentsReadAndShown) {
    int64_t c = 0;
    EXPECT_TRUE(parse_cents("10.00", &c));
    EXPECT_EQ(c, 1000);
    EXPECT_TRUE(parse_cents("3", &c));
    EXPECT_EQ(c, 300);
    EXPECT_TRUE(parse_cents("0.5", &c));
    EXPECT_EQ(c, 50);
    for (const char* bad : {"", ".5", "1.", "1.234", "1,00", "-1", "abc"}) EXPECT_FALSE(parse_cents(bad, &c)) << bad;
    EXPECT_EQ(format_cents(1250), "12.50");
    EXPECT_EQ(format_cents(5), "0.05");
    EXPECT_EQ(format_cents(0), "0.00");
}

TEST(StandinFaults, SettingsAreReadPerRequestKind) {
    fault_table t;
    std::string error;
    EXPECT_TRUE(apply_fault_settings("epg=drip\n# comment=ignored\nversion=wrong_version, stream=stall:3", &t, &error))
        << error;
    EXPECT_EQ(t.of[static_cast<size_t>(request_kind::epg)], fault::drip);
    EXPECT_EQ(t.of[static_cast<size_t>(request_kind::version)], fault::wrong_version);
    EXPECT_EQ(t.of[static_cast<size_t>(request_kind::stream)], fault::stall);
    EXPECT_EQ(t.stall_seconds, 3);
    EXPECT_TRUE(apply_fault_setting("all=silent", &t, &error));
    EXPECT_EQ(t.of[static_cast<size_t>(request_kind::keepsession)], fault::silent);
    EXPECT_EQ(t.of[static_cast<size_t>(request_kind::stream)], fault::stall);  // not a stream fault
    EXPECT_TRUE(apply_fault_setting("all=none", &t, &error));
    for (fault f : t.of) EXPECT_EQ(f, fault::none);

    EXPECT_FALSE(apply_fault_setting("epg=explode", &t, &error));
    EXPECT_FALSE(apply_fault_setting("nothing=close", &t, &error));
    EXPECT_FALSE(apply_fault_setting("epg=wrong_version", &t, &error));
    EXPECT_FALSE(apply_fault_setting("epg=stall", &t, &error));
    EXPECT_FALSE(apply_fault_setting("epg", &t, &error));
}

TEST(StandinFaults, DripIntervalAndRedirectTarget) {
    fault_table t;
    std::string error;
    EXPECT_EQ(t.drip_bytes, 7);
    EXPECT_TRUE(apply_fault_setting("epg=drip:4.5", &t, &error)) << error;
    EXPECT_DOUBLE_EQ(t.drip_seconds, 4.5);
    EXPECT_EQ(t.drip_bytes, 2);
    EXPECT_TRUE(apply_fault_setting("keepsession=drip:0.01/3", &t, &error)) << error;
    EXPECT_DOUBLE_EQ(t.drip_seconds, 0.01);
    EXPECT_EQ(t.drip_bytes, 3);
    EXPECT_FALSE(apply_fault_setting("epg=drip:soon", &t, &error));
    EXPECT_FALSE(apply_fault_setting("epg=drip:1/0", &t, &error));
    EXPECT_FALSE(apply_fault_setting("epg=drip:-1", &t, &error));

    EXPECT_EQ(t.redirect_to, "self");
    EXPECT_TRUE(apply_fault_setting("stream=redirect:file:///etc/hostname", &t, &error)) << error;
    EXPECT_EQ(t.of[static_cast<size_t>(request_kind::stream)], fault::redirect);
    EXPECT_EQ(t.redirect_to, "file:///etc/hostname");
    EXPECT_FALSE(apply_fault_setting("epg=redirect", &t, &error));

    EXPECT_TRUE(apply_fault_setting("hls=redirect:file:///tmp/x.ts", &t, &error)) << error;
    EXPECT_TRUE(apply_fault_setting("hls=absolute", &t, &error)) << error;
    EXPECT_EQ(t.hls_segment_redirect, "file:///tmp/x.ts");
    EXPECT_TRUE(t.hls_absolute);
    EXPECT_FALSE(apply_fault_setting("hls=redirect", &t, &error));
    EXPECT_FALSE(apply_fault_setting("hls=drip", &t, &error));
    EXPECT_TRUE(apply_fault_setting("hls=refuse", &t, &error)) << error;
    EXPECT_TRUE(t.hls_refuse_once);
    EXPECT_TRUE(apply_fault_setting("all=none", &t, &error)) << error;
    EXPECT_EQ(t.hls_segment_redirect, "");
    EXPECT_FALSE(t.hls_absolute);
    EXPECT_FALSE(t.hls_refuse_once);
}

TEST(StandinFaults, ADropsTimeAndWays) {
    fault_table t;
    std::string error;
    EXPECT_TRUE(apply_fault_setting("stream=drop", &t, &error)) << error;
    EXPECT_EQ(t.of[static_cast<size_t>(request_kind::stream)], fault::drop);
    EXPECT_DOUBLE_EQ(t.drop_seconds, 5);
    EXPECT_TRUE(apply_fault_setting("stream=drop:2.5/once+reset", &t, &error)) << error;
    EXPECT_DOUBLE_EQ(t.drop_seconds, 2.5);
    EXPECT_TRUE(t.drop_once && t.drop_reset && !t.drop_refuse);
    EXPECT_TRUE(apply_fault_setting("stream=drop:30/refuse", &t, &error)) << error;
    EXPECT_TRUE(!t.drop_once && !t.drop_reset && t.drop_refuse);
    for (const char* bad : {"stream=drop:0", "stream=drop:soon", "stream=drop:3/twice", "stream=drop:3/once+",
                            "epg=drop:3"})
        EXPECT_FALSE(apply_fault_setting(bad, &t, &error)) << bad;
}

TEST(StandinDemoData, TheShippedFileLoadsWithWhatTheDemoNeeds) {
    demo_data d;
    std::string error;
    ASSERT_TRUE(load_demo_file(DEMO_DATA, &d, &error)) << error;
    EXPECT_GE(d.accounts.size(), 2u);
    EXPECT_GE(d.channels.size(), 12u);
    size_t with_two_shares = 0, locked = 0;
    for (const account& a : d.accounts) with_two_shares += a.shares.size() >= 2;
    for (const channel& c : d.channels) locked += c.lock != "0" && atoi(c.lock.c_str()) != 0;
    EXPECT_GE(with_two_shares, 1u);
    EXPECT_GE(locked, 2u);
}

TEST(StandinDemoData, MistakesAreNamed) {
    demo_data d;
    std::string error;
    EXPECT_FALSE(load_demo_text("accounts: [", &d, &error));
    EXPECT_FALSE(error.empty());
    const std::string ok_channels = "channels: [{id: '1', name: 'А', price: '1'}]\n";
    EXPECT_TRUE(load_demo_text("accounts: [{user: u, password: p, uid: '1', first_name: А, last_name: Б}]\n" +
                                   ok_channels, &d, &error)) << error;
    EXPECT_FALSE(load_demo_text("accounts: [{user: u, password: p, uid: '1', first_name: А, last_name: Б, "
                                "credit: lots}]\n" + ok_channels, &d, &error));
    EXPECT_NE(error.find("credit"), std::string::npos);
    EXPECT_FALSE(load_demo_text("accounts: [{user: u, password: p, uid: '1', first_name: '', last_name: Б}]\n" +
                                    ok_channels, &d, &error));
    EXPECT_FALSE(load_demo_text("accounts: [{user: u, password: p, uid: '1', first_name: А, last_name: Б, "
                                "shares: ['2']}]\n" + ok_channels, &d, &error));
    EXPECT_NE(error.find("unknown uid"), std::string::npos);
    EXPECT_FALSE(load_demo_text("accounts: [{user: u, password: p, uid: '1', first_name: А, last_name: Б}]\n"
                                "channels: [{id: '1', name: 'А', price: '1', lock: 'x1'}]\n", &d, &error));
    EXPECT_FALSE(load_demo_text("accounts: [{user: u, password: p, uid: '1', first_name: А, last_name: Б}]\n"
                                "channels: [{id: '1', name: 'А', price: '1', hls: true, broadcast: true}]\n", &d,
                                &error));
    EXPECT_NE(error.find("hls or broadcast"), std::string::npos);
}

class StandinGuide : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        c.id = "101";
        c.genre = "news";
    }
    channel c;
};

TEST_F(StandinGuide, ProgrammesFollowEachOtherAndLast20To90Minutes) {
    int64_t now = 1796616000;  // 2026-12-07 06:00 UTC
    std::vector<programme> g = guide_between(c, now - 3 * 3600, now + 86400);
    ASSERT_GT(g.size(), 10u);
    EXPECT_LE(g.front().start, now - 3 * 3600);
    EXPECT_GE(g.back().end, now + 86400);
    for (size_t i = 0; i < g.size(); ++i) {
        int64_t minutes = (g[i].end - g[i].start) / 60;
        EXPECT_GE(minutes, 20);
        EXPECT_LE(minutes, 90);
        if (i) {
            EXPECT_EQ(g[i].start, g[i - 1].end);
        }
        EXPECT_FALSE(g[i].title.empty());
    }
    // The same programme at the same time on every request.
    std::vector<programme> again = guide_between(c, now - 3600, now + 3600);
    for (const programme& p : again) {
        bool found = false;
        for (const programme& q : g) found = found || (q.start == p.start && q.title == p.title);
        EXPECT_TRUE(found);
    }
}

TEST_F(StandinGuide, TheResponseStartsWithTheProgrammeOnAirNow) {
    int64_t now = 1796616000 + 17 * 60;
    std::vector<std::string> f = fields_of(epg_response(c, now, 31999));
    ASSERT_EQ(f.size() % 4, 0u);
    ASSERT_GE(f.size(), 8u);
    programme on_air{};
    for (const programme& p : guide_between(c, now, now + 1))
        if (p.start <= now && now < p.end) on_air = p;
    EXPECT_EQ(f[0], clock_text(on_air.start));
    EXPECT_EQ(f[1], clock_text(on_air.end));
    EXPECT_EQ(f[2], on_air.title);
    for (size_t i = 0; i < f.size(); i += 4) {
        EXPECT_EQ(f[i].size(), 5u);
        EXPECT_EQ(f[i][2], ':');
    }
    EXPECT_LE(epg_response(c, now, 600).size(), 600u);
}

class StandinService : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(load_demo_file(DEMO_DATA, &data, &error)) << error;
    }
    request login(const std::string& user, const std::string& pass) {
        request r;
        r.kind = request_kind::account_info;
        r.user = user;
        r.pass = pass;
        return r;
    }
    std::string value_after(const std::vector<std::string>& f, const std::string& key) {
        for (size_t i = 0; i + 1 < f.size(); ++i)
            if (f[i] == key) return f[i + 1];
        return "";
    }
    demo_data data;
};

TEST_F(StandinService, LoginOpensASessionAndWrongPasswordsGetFalse) {
    service s(data, "127.0.0.1:9");
    std::vector<std::string> f = fields_of(s.respond(login("ivan", "1234"), 0));
    ASSERT_EQ(f.size(), 12u);
    EXPECT_EQ(f[0], "uid");
    EXPECT_EQ(value_after(f, "uid"), "123");
    EXPECT_EQ(value_after(f, "fn"), "Иван");
    EXPECT_EQ(value_after(f, "ln"), "Петров");
    EXPECT_EQ(value_after(f, "cr"), "10.00");
    EXPECT_EQ(value_after(f, "shr"), "2");
    std::string sid = value_after(f, "sessionid");
    EXPECT_EQ(sid.size(), 32u);
    EXPECT_EQ(sid.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(fields_of(s.respond(login("ivan", "1234"), 0))[7], sid);  // a fresh id every login

    EXPECT_NE(s.respond(login("ivan", "wrong"), 0).find("false"), std::string::npos);
    EXPECT_NE(s.respond(login("", ""), 0).find("false"), std::string::npos);
}

TEST_F(StandinService, SharesAreListedWithTheirKeys) {
    service s(data, "127.0.0.1:9");
    request r = login("ivan", "1234");
    r.kind = request_kind::shares_info;
    std::vector<std::string> f = fields_of(s.respond(r, 0));
    ASSERT_EQ(f.size(), 20u);
    EXPECT_EQ(std::vector<std::string>(f.begin(), f.begin() + 10),
              (std::vector<std::string>{"sid", "7", "fn", "Ана", "ln", "Иванова", "em", "ana@example.bg", "cr", "3.00"}));
    EXPECT_EQ(f[10], "sid");
    EXPECT_EQ(f[11], "9");
}

TEST_F(StandinService, KeepsessionChargesTheChosenAccountUntilItRunsOut) {
    service s(data, "127.0.0.1:9");
    std::string sid = fields_of(s.respond(login("ivan", "1234"), 0))[7];
    request k = login("ivan", "1234");
    k.kind = request_kind::keepsession;
    k.session_id = sid;
    k.seeder_id = "123";
    EXPECT_EQ(fields_of(s.respond(k, 0)), (std::vector<std::string>{"session", "ok", "credit", "9.99"}));
    k.seeder_id = "7";  // shared with ivan
    EXPECT_EQ(value_after(fields_of(s.respond(k, 0)), "credit"), "2.99");
    k.seeder_id = "9";  // shared, but without credit
    EXPECT_EQ(value_after(fields_of(s.respond(k, 0)), "session"), "false");
    k.seeder_id = "55";  // not shared with ivan
    EXPECT_EQ(value_after(fields_of(s.respond(k, 0)), "session"), "false");
    k.seeder_id = "123";
    k.session_id = "unknown";
    EXPECT_EQ(value_after(fields_of(s.respond(k, 0)), "session"), "false");

    std::string msid = fields_of(s.respond(login("maria", "maria"), 0))[7];
    request m = login("maria", "maria");
    m.kind = request_kind::keepsession;
    m.session_id = msid;
    m.seeder_id = "55";
    for (int i = 0; i < 5; ++i) EXPECT_EQ(value_after(fields_of(s.respond(m, 0)), "session"), "ok");
    std::vector<std::string> out = fields_of(s.respond(m, 0));
    EXPECT_EQ(value_after(out, "session"), "false");
    EXPECT_EQ(value_after(out, "credit"), "0.00");
}

TEST_F(StandinService, ChannelRecordsHaveFiveFieldsAndStreamsNeedASession) {
    service s(data, "127.0.0.1:9");
    request r = login("ivan", "1234");
    r.kind = request_kind::channelslist;
    std::vector<std::string> f = fields_of(s.respond(r, 0));
    ASSERT_EQ(f.size(), data.channels.size() * 5);
    EXPECT_EQ(f[0], "101");
    EXPECT_EQ(f[1], "Новини 24");
    EXPECT_EQ(f[2], "127.0.0.1:9/live?ch=101");
    EXPECT_EQ(f[4], "0");
    r.pass = "wrong";
    EXPECT_EQ(s.respond(r, 0), "");

    request stream;
    stream.kind = request_kind::stream;
    stream.stream_channel = "101";
    stream.session_id = "nope";
    EXPECT_EQ(s.stream_channel(stream), nullptr);
    stream.session_id = fields_of(s.respond(login("ana", "ana"), 0))[7];
    ASSERT_NE(s.stream_channel(stream), nullptr);
    EXPECT_EQ(s.stream_channel(stream)->name, "Новини 24");
    stream.stream_channel = "999";
    EXPECT_EQ(s.stream_channel(stream), nullptr);
}

}  // namespace

static int64_t fake_seconds = 0;
static int64_t fake_clock() { return fake_seconds; }

// A session not used for the idle time is forgotten; a keepsession, a
// stream or a channel list of its user keeps it.
TEST_F(StandinService, SessionsEndWhenNotUsedForTheIdleTime) {
    service s(data, "127.0.0.1:9", 60);
    s.set_clock(fake_clock);
    fake_seconds = 1000;
    std::string sid = value_after(fields_of(s.respond(login("ivan", "1234"), 0)), "sessionid");
    std::string idle = value_after(fields_of(s.respond(login("ivan", "1234"), 0)), "sessionid");
    request keep;
    keep.kind = request_kind::keepsession;
    keep.user = "ivan";
    keep.pass = "1234";
    keep.session_id = sid;
    keep.seeder_id = "123";
    request stream;
    stream.kind = request_kind::stream;
    stream.session_id = sid;
    stream.stream_channel = "101";
    request channels = login("ivan", "1234");
    channels.kind = request_kind::channelslist;

    fake_seconds += 50;
    EXPECT_NE(s.respond(keep, 0).find("ok"), std::string::npos);
    fake_seconds += 50;
    EXPECT_NE(s.stream_channel(stream), nullptr);
    fake_seconds += 50;
    s.respond(channels, 0);  // keeps both of ivan's sessions
    fake_seconds += 50;
    EXPECT_NE(s.respond(keep, 0).find("ok"), std::string::npos);
    EXPECT_EQ(s.session_count(), 2u);
    fake_seconds += 61;
    s.forget_idle_sessions();
    EXPECT_EQ(s.session_count(), 0u);
    EXPECT_NE(s.respond(keep, 0).find("false"), std::string::npos);
    keep.session_id = idle;
    EXPECT_NE(s.respond(keep, 0).find("false"), std::string::npos);
    EXPECT_EQ(s.stream_channel(stream), nullptr);
}
