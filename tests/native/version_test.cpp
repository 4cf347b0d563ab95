#include "service/version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

bool check(const std::string& response) {
    char buf[32000];
    memset(buf, 0, sizeof buf);
    memcpy(buf, response.data(), response.size());
    return version_response_ok(buf);
}

TEST(VersionCheck, OnlyExactly003Passes) {
    EXPECT_TRUE(check("0.03"));
    EXPECT_FALSE(check("0.03\n"));
    EXPECT_FALSE(check("0.031"));
    EXPECT_FALSE(check("0.3"));
    EXPECT_FALSE(check(""));
    EXPECT_FALSE(check("0.04"));
    EXPECT_FALSE(check(std::string("0.03\x01", 5)));
    // Whatever follows the terminating zero is not looked at.
    EXPECT_TRUE(check(std::string("0.03\0junk", 9)));
}

TEST(VersionCheck, MessageNamesTheDownloadSite) {
    char out[256];
    format_version_message(out, sizeof out, "http://tv.example.bg/get");
    EXPECT_STREQ(out, "Невалидна версия или липса на интернет!\nhttp://tv.example.bg/get\n");
    char tiny[10];
    format_version_message(tiny, sizeof tiny, "x");
    EXPECT_EQ(tiny[9], '\0');
}

}  // namespace
