#include "playback/relay_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(RelayRules, ThePlayerIsGivenALoopbackAddressAndAsksForItsId) {
    char url[64];
    ASSERT_TRUE(format_relay_url(40123, 0x0123456789abcdefull, url, sizeof url));
    EXPECT_STREQ(url, "http://127.0.0.1:40123/0123456789abcdef");
    ASSERT_TRUE(format_relay_url(40123, 7, url, sizeof url));
    EXPECT_STREQ(url, "http://127.0.0.1:40123/0000000000000007");
    EXPECT_FALSE(format_relay_url(40123, 7, url, 30));
    EXPECT_STREQ(url, "");

    uint64_t id = 0;
    std::string head = "GET /fedcba9876543210 HTTP/1.1\r\nHost: 127.0.0.1:40123\r\nRange: bytes=0-\r\n\r\n";
    ASSERT_TRUE(parse_relay_request(head.data(), head.size(), &id));
    EXPECT_EQ(id, 0xfedcba9876543210ull);
}

TEST(RelayRules, AnyOtherRequestIsNotAStream) {
    const char* heads[] = {
        "GET /0000000000000007",                    // no whole request line
        "GET /0000000000000007 HTTP/1.1",           // still no line end
        "POST /0000000000000007 HTTP/1.1\r\n\r\n",  // another method
        "GET / HTTP/1.1\r\n\r\n",                   // no id
        "GET /7 HTTP/1.1\r\n\r\n",                  // too short to be one
        "GET /000000000000000x HTTP/1.1\r\n\r\n",   // not hexadecimal
        "GET /0000000000000000A HTTP/1.1\r\n\r\n",  // too long
        "GET /000000000000000A HTTP/1.1\r\n\r\n",   // written otherwise than given
        "",
    };
    for (const char* head : heads) {
        uint64_t id = 0;
        EXPECT_FALSE(parse_relay_request(head, strlen(head), &id)) << head;
    }
}

TEST(RelayRules, TheAnswerHeadCarriesOnlyAClean200Or502) {
    char head[256];
    ASSERT_GT(format_relay_head(200, "video/MP2T", head, sizeof head), 0);
    EXPECT_STREQ(head, "HTTP/1.0 200 OK\r\nContent-Type: video/MP2T\r\nCache-Control: no-cache\r\n"
                       "Connection: close\r\n\r\n");
    // A host's content type cannot add header lines of its own.
    ASSERT_GT(format_relay_head(200, "video/MP2T\r\nLocation: file:///etc/passwd", head, sizeof head), 0);
    EXPECT_EQ(std::string(head).find("\r\nLocation"), std::string::npos);
    ASSERT_GT(format_relay_head(302, "", head, sizeof head), 0);
    EXPECT_STREQ(head, "HTTP/1.0 502 Bad Gateway\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(format_relay_head(200, "video/MP2T", head, 20), -1);
    EXPECT_STREQ(head, "");
}
