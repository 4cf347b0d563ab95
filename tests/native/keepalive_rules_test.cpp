#include "account/keepalive_rules.h"
#include "tests/join.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct keep_log {
    std::vector<std::string> credits;
    int32_t refusals = 0;
};

keep_log keep(const std::string& response) {
    keep_log log;
    keepsession_actions actions = {
        [](const char* c, size_t n, void* ctx) { static_cast<keep_log*>(ctx)->credits.push_back(std::string(c, n)); },
        [](void* ctx) { static_cast<keep_log*>(ctx)->refusals++; }, &log};
    std::vector<char> buf(1024, 0);
    memcpy(buf.data(), response.data(), std::min(response.size(), buf.size()));
    walk_keepsession_response(buf.data(), buf.size(), actions);
    return log;
}

TEST(KeepSession, CreditShownAndRefusalsReported) {
    keep_log a = keep(join({"session", "ok", "credit", "12.50"}));
    EXPECT_EQ(a.credits, std::vector<std::string>{"12.50"});
    EXPECT_EQ(a.refusals, 0);
    keep_log b = keep(join({"session", "false"}));
    EXPECT_TRUE(b.credits.empty());
    EXPECT_EQ(b.refusals, 1);
    // A field with both words is a "session" key.
    keep_log c = keep(join({"sessioncredit", "false"}));
    EXPECT_EQ(c.refusals, 1);
    EXPECT_TRUE(c.credits.empty());
    // A key as the last field does nothing.
    EXPECT_EQ(keep(join({"credit"})).credits.size(), 0u);
    // Every refusal is reported.
    EXPECT_EQ(keep(join({"session", "false", "session", "notfalse"})).refusals, 2);
}

TEST(KeepSession, OnlyTheFirst16BytesOfTheCreditNeverSplittingACharacter) {
    EXPECT_EQ(keep(join({"credit", "12345678901234567890"})).credits[0], "1234567890123456");
    // 15 ASCII bytes then a two-byte letter: the letter does not fit whole.
    EXPECT_EQ(keep(join({"credit", "123456789012345Ж"})).credits[0], "123456789012345");
    EXPECT_EQ(keep(join({"credit", "ЖЖЖЖЖЖЖЖЖ"})).credits[0], "ЖЖЖЖЖЖЖЖ");
}

TEST(KeepSession, OnlyTheFirst1024BytesAreRead) {
    std::string r = std::string(1020, 'x') + "\x01" "session\x01" "false";
    EXPECT_EQ(keep(r).refusals, 0);
}

std::string seeder(const std::u16string& entry, size_t size = 128) {
    std::vector<char> out(size);
    seeder_id_from_entry(entry.c_str(), out.data(), size);
    return out.data();
}

TEST(KeepSession, TheSeederIdIsTheFirstWordOfTheEntry) {
    EXPECT_EQ(seeder(u"123 Иван Петров"), "123");
    EXPECT_EQ(seeder(u"   7 Ана"), "7");
    EXPECT_EQ(seeder(u"  "), "");
    EXPECT_EQ(seeder(u""), "");
    // A word too long for the buffer is cut at a whole character.
    EXPECT_EQ(seeder(u"ЖЖЖЖЖ x", 6), "ЖЖ");
}

}  // namespace
