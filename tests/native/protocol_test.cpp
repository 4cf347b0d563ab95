#include "service/protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char host[] = "127.0.0.1:8080";
const std::string prefix = "GET http://127.0.0.1:8080/socket_server/server.php?input=";

std::string line_of(int32_t n, const char* buf) {
    EXPECT_GE(n, 0);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

TEST(RequestLine, EveryRequestOfTheCatalogueByteForByte) {
    char buf[request_line_size];
    EXPECT_EQ(line_of(format_version_request(buf, sizeof buf, host), buf),
              prefix + "version\r\n");
    EXPECT_EQ(line_of(format_account_info_request(buf, sizeof buf, host, "ivan", "secret"), buf),
              prefix + "user\x01ivan\x01pass\x01secret\x01" "account\x01info\r\n");
    EXPECT_EQ(line_of(format_shares_info_request(buf, sizeof buf, host, "ivan", "secret"), buf),
              prefix + "user\x01ivan\x01pass\x01secret\x01shares\x01info\r\n");
    EXPECT_EQ(line_of(format_keepsession_request(buf, sizeof buf, host, "ivan", "secret",
                                                 "a1b2c3", "123"), buf),
              prefix + "user\x01ivan\x01pass\x01secret\x01keepsession\x01" "a1b2c3\x01seederid\x01" "123\r\n");
    EXPECT_EQ(line_of(format_channelslist_request(buf, sizeof buf, host, "ivan", "secret"), buf),
              prefix + "user\x01ivan\x01pass\x01secret\x01" "channelslist\x01info\r\n");
    EXPECT_EQ(line_of(format_epg_request(buf, sizeof buf, host, "ivan", "secret", "42"), buf),
              prefix + "user\x01ivan\x01pass\x01secret\x01" "epg\x01" "42\r\n");
}

TEST(RequestLine, ValuesAreSentUnchangedWithoutEscaping) {
    char buf[request_line_size];
    // "&", "#", a blank and Windows-1251 bytes go out exactly as typed.
    const char pass[] = "a&b c#\xe0\xe1";
    EXPECT_EQ(line_of(format_account_info_request(buf, sizeof buf, host, "user name", pass), buf),
              prefix + "user\x01user name\x01pass\x01" "a&b c#\xe0\xe1\x01" "account\x01info\r\n");
    // An empty value leaves two separators in a row.
    EXPECT_EQ(line_of(format_account_info_request(buf, sizeof buf, host, "", ""), buf),
              prefix + "user\x01\x01pass\x01\x01" "account\x01info\r\n");
    EXPECT_EQ(line_of(format_keepsession_request(buf, sizeof buf, host, "u", "p", "", ""), buf),
              prefix + "user\x01u\x01pass\x01p\x01keepsession\x01\x01seederid\x01\r\n");
}

TEST(RequestLine, ALineThatDoesNotFitIsNeverHalfBuilt) {
    char small[40];
    memset(small, 'x', sizeof small);
    EXPECT_EQ(format_version_request(small, sizeof small, host), -1);
    for (char c : small) EXPECT_EQ(c, '\0');

    char buf[request_line_size];
    std::string long_session(request_line_size, 's');
    EXPECT_EQ(format_keepsession_request(buf, sizeof buf, host, "u", "p", long_session.c_str(), "1"), -1);
    EXPECT_EQ(buf[0], '\0');

    // Exactly fitting: the length plus the terminator.
    std::string expected = prefix + "version\r\n";
    std::vector<char> exact(expected.size() + 1);
    EXPECT_EQ(format_version_request(exact.data(), exact.size(), host), static_cast<int32_t>(expected.size()));
    EXPECT_EQ(std::string(exact.data()), expected);
    EXPECT_EQ(format_version_request(exact.data(), exact.size() - 1, host), -1);
}

TEST(ServiceAddress, HostAndPort) {
    service_address a;
    ASSERT_TRUE(parse_service_address("127.0.0.1:8080", &a));
    EXPECT_STREQ(a.host_text, "127.0.0.1:8080");
    EXPECT_STREQ(a.host_name, "127.0.0.1");
    EXPECT_EQ(a.port, 8080);

    ASSERT_TRUE(parse_service_address("tv.example.bg", &a));
    EXPECT_STREQ(a.host_name, "tv.example.bg");
    EXPECT_EQ(a.port, 80);

    ASSERT_TRUE(parse_service_address("h:65535", &a));
    EXPECT_EQ(a.port, 65535);

    for (const char* bad : {"", ":80", "host:", "host:0", "host:65536", "host:8o", "host:123456",
                            "a b:80", "host/x"}) {
        EXPECT_FALSE(parse_service_address(bad, &a)) << bad;
        EXPECT_EQ(a.host_name[0], '\0');
        EXPECT_EQ(a.port, 0);
    }
    std::string overlong(300, 'h');
    EXPECT_FALSE(parse_service_address(overlong.c_str(), &a));
}

// Feeds a sequence of receives through the rule; returns how many were taken
// before reception ended (or -1 when it would go on after the last one).
int32_t run_receives(receive_state* st, const std::vector<std::string>& receives) {
    receive_begin(st);
    for (size_t i = 0; i < receives.size(); ++i) {
        if (!receive_take(st, receives[i].data(), static_cast<int32_t>(receives[i].size())))
            return static_cast<int32_t>(i + 1);
    }
    return -1;
}

class ReceiveRule : public ::testing::Test {
protected:
    receive_state st;
};

TEST_F(ReceiveRule, ClosedConnectionAndErrorsEndReceptionAndAppendNothing) {
    EXPECT_EQ(run_receives(&st, {"0.03", ""}), 2);
    EXPECT_EQ(st.total, 4u);
    receive_begin(&st);
    EXPECT_TRUE(receive_take(&st, "abc", 3));
    EXPECT_FALSE(receive_take(&st, "zzz", -1));
    EXPECT_EQ(st.total, 3u);
    EXPECT_EQ(std::string(st.area), "abc");
}

TEST_F(ReceiveRule, ASingleByteReceiveEndsReception) {
    EXPECT_EQ(run_receives(&st, {"x", "more"}), 1);
    EXPECT_EQ(st.total, 1u);
    EXPECT_EQ(run_receives(&st, {"abcd", "ef", "g", "never"}), 3);
    EXPECT_EQ(std::string(st.area), "abcdefg");
}

TEST_F(ReceiveRule, ZeroByteInEitherOfTheLastTwoPositionsEndsReception) {
    EXPECT_EQ(run_receives(&st, {std::string("0.03\0", 5), "more"}), 1);
    EXPECT_EQ(run_receives(&st, {std::string("ab\0c", 4), "more"}), 1);  // last but one
    EXPECT_EQ(st.total, 4u);
    // In the middle of a chunk it does not; what follows is still collected.
    std::string middle(1000, 'a');
    middle[500] = '\0';
    EXPECT_EQ(run_receives(&st, {middle, "tail", ""}), 3);
    EXPECT_EQ(st.total, 1004u);
    EXPECT_EQ(std::string(st.area + 501, 503), std::string(499, 'a') + "tail");
}

TEST_F(ReceiveRule, ManySmallPiecesKeepReceptionGoing) {
    std::vector<std::string> pieces(5000, "ab");
    pieces.push_back("");
    // 16001 pieces pass 32000 bytes: the rule stops once the total exceeds it.
    EXPECT_EQ(run_receives(&st, pieces), 5001);
    EXPECT_EQ(st.total, 10000u);
    std::vector<std::string> many(16001, "xy");
    EXPECT_EQ(run_receives(&st, many), 16001);
    EXPECT_EQ(st.total, 32002u);
}

TEST_F(ReceiveRule, ResponsesOver32000BytesAreCutForTheCaller) {
    std::vector<std::string> chunks;
    for (int i = 0; i < 40; ++i) chunks.push_back(std::string(1000, static_cast<char>('A' + i % 26)));
    // 32 chunks reach exactly 32000 and go on; the 33rd passes it and ends.
    EXPECT_EQ(run_receives(&st, chunks), 33);
    EXPECT_EQ(st.total, 33000u);

    std::vector<char> whole(32000 + 16, '\x7f');
    receive_copy_out(&st, whole.data(), 32000);
    EXPECT_EQ(memchr(whole.data(), 0, 32000), nullptr);  // no terminator inside
    EXPECT_EQ(whole[31999], 'F');                          // chunk 31 is 'A' + 31 % 26
    EXPECT_EQ(whole[32000], '\x7f');                       // nothing written beyond

    std::vector<char> keep(1024 + 8, '\x7f');
    receive_copy_out(&st, keep.data(), 1024);
    EXPECT_EQ(keep[1023], 'B');
    EXPECT_EQ(keep[1024], '\x7f');
}

TEST_F(ReceiveRule, TheCallerGetsTheBytesThenZeros) {
    run_receives(&st, {"0.03", ""});
    std::vector<char> buf(32000, '\x55');
    receive_copy_out(&st, buf.data(), 32000);
    EXPECT_EQ(std::string(buf.data()), "0.03");
    for (size_t i = 4; i < buf.size(); ++i) ASSERT_EQ(buf[i], '\0') << i;
}

TEST_F(ReceiveRule, AnOversizedReceiveIsBoundedToOneChunk) {
    receive_begin(&st);
    std::string big(5000, 'q');
    receive_take(&st, big.data(), static_cast<int32_t>(big.size()));
    EXPECT_EQ(st.total, receive_chunk_size);
}

}  // namespace

// Every wait is 5 s, but never past the 15 s that a whole exchange may last:
// a service dripping two bytes every 4.5 s is cut off at 15 s.
TEST(ExchangeBound, WaitsShrinkToWhatIsLeftOfFifteenSeconds) {
    EXPECT_EQ(next_wait_ms(0), 5000u);
    EXPECT_EQ(next_wait_ms(10000), 5000u);
    EXPECT_EQ(next_wait_ms(13500), 1500u);
    EXPECT_EQ(next_wait_ms(14999), 1u);
    EXPECT_EQ(next_wait_ms(15000), 0u);
    EXPECT_EQ(next_wait_ms(UINT64_MAX), 0u);
}
