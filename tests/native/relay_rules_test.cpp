#include "playback/relay_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(RelayRules, ThePlayerIsGivenALoopbackAddressAndAsksForItsId) {
    char url[64];
    ASSERT_TRUE(format_relay_url(40123, 7, url, sizeof url));
    EXPECT_STREQ(url, "http://127.0.0.1:40123/7");
    EXPECT_FALSE(format_relay_url(40123, 4000000000u, url, 20));
    EXPECT_STREQ(url, "");

    uint32_t id = 0;
    std::string head = "GET /4000000000 HTTP/1.1\r\nHost: 127.0.0.1:40123\r\nRange: bytes=0-\r\n\r\n";
    ASSERT_TRUE(parse_relay_request(head.data(), head.size(), &id));
    EXPECT_EQ(id, 4000000000u);
}

TEST(RelayRules, AnyOtherRequestIsNotAStream) {
    const char* heads[] = {
        "GET /7",                        // no whole request line
        "GET /7 HTTP/1.1",               // still no line end
        "POST /7 HTTP/1.1\r\n\r\n",      // another method
        "GET / HTTP/1.1\r\n\r\n",        // no id
        "GET /7x HTTP/1.1\r\n\r\n",      // not a number
        "GET /4294967296 HTTP/1.1\r\n\r\n",  // beyond 32 bits
        "GET /99999999999 HTTP/1.1\r\n\r\n",
        "",
    };
    for (const char* head : heads) {
        uint32_t id = 0;
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
