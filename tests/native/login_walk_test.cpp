#include "account/login_walk.h"
#include "base/utf.h"
#include "tests/join.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Joins UTF-8 fields with 0x01 and converts the whole text to UTF-16, as
// the client does with a response.
std::u16string response(const std::vector<std::string>& fields) {
    std::string joined = join(fields);
    std::vector<char16_t> wide(32000);
    utf8_to_utf16(joined.c_str(), wide.data(), wide.size());
    return std::u16string(wide.data());
}

std::string utf8(const char16_t* text) {
    char out[1024];
    utf16_to_utf8(text, out, sizeof out);
    return out;
}

login_account walk(const std::vector<std::string>& fields) {
    login_account a;
    memset(&a, 0, sizeof a);
    std::u16string text = response(fields);
    walk_login_response(text.c_str(), &a);
    return a;
}

std::string entry_of(const login_account& a) {
    char16_t entry[account_entry_units];
    format_account_entry(a, entry, account_entry_units);
    return utf8(entry);
}

TEST(LoginWalk, TheUsualResponse) {
    login_account a = walk({"uid", "123", "fn", "Ivan", "ln", "Petrov", "sessionid", "a1b2c3d4", "cr", "10.00",
                            "shr", "0"});
    EXPECT_EQ(entry_of(a), "123 Ivan Petrov");
    EXPECT_STREQ(a.session_id, "a1b2c3d4");
    EXPECT_EQ(utf8(a.credit), "10.00");
    EXPECT_TRUE(a.credit_given);
    EXPECT_EQ(a.shares_count, 0);
}

TEST(LoginWalk, AnotherOrderGivesTheSameResult) {
    login_account a = walk({"shr", "2", "cr", "10.00", "sessionid", "a1b2c3d4", "ln", "Петров", "fn", "Иван",
                            "uid", "123"});
    EXPECT_EQ(entry_of(a), "123 Иван Петров");
    EXPECT_STREQ(a.session_id, "a1b2c3d4");
    EXPECT_EQ(utf8(a.credit), "10.00");
    EXPECT_EQ(a.shares_count, 2);
}

TEST(LoginWalk, AValueIsExaminedAsAKeyInItsTurn) {
    // "Xcr" is the first name and then a "cr" key whose value is 5.
    login_account a = walk({"fn", "Xcr", "5"});
    EXPECT_EQ(utf8(a.first_name), "Xcr");
    EXPECT_EQ(utf8(a.credit), "5");
    // Empty fields never reach the walk: a run of separators is one.
    a = walk({"", "uid", "", "", "77", ""});
    EXPECT_EQ(utf8(a.uid), "77");
}

TEST(LoginWalk, KeyPriorities) {
    // "fn" wins over "uid"; "ln" wins over everything.
    login_account a = walk({"fnuid", "Ana"});
    EXPECT_EQ(utf8(a.first_name), "Ana");
    EXPECT_EQ(utf8(a.uid), "");
    a = walk({"lnfnuidcr", "Ivanova"});
    EXPECT_EQ(utf8(a.last_name), "Ivanova");
    EXPECT_EQ(utf8(a.first_name), "");
    EXPECT_FALSE(a.credit_given);
    // A field "credit" is a "cr" key; "sessionid" wins over "shr" and "cr".
    a = walk({"credit", "4.00", "shrcr", "3", "xsessionidcr", "S"});
    EXPECT_EQ(utf8(a.credit), "4.00");
    EXPECT_EQ(a.shares_count, 3);
    EXPECT_STREQ(a.session_id, "S");
    // Keys are case-sensitive.
    a = walk({"UID", "1", "Cr", "2"});
    EXPECT_EQ(utf8(a.uid), "");
    EXPECT_FALSE(a.credit_given);
}

TEST(LoginWalk, AKeyAsTheLastFieldEndsTheWalk) {
    login_account a = walk({"uid", "123", "cr"});
    EXPECT_EQ(utf8(a.uid), "123");
    EXPECT_FALSE(a.credit_given);
    a = walk({"ln"});
    EXPECT_EQ(utf8(a.last_name), "");
    a = walk({});
    EXPECT_EQ(entry_of(a), "  ");  // an empty response gives an entry of two blanks
}

TEST(LoginWalk, TheLaterOfTwoValuesWins) {
    login_account a = walk({"cr", "1.00", "uid", "5", "cr", "2.00"});
    EXPECT_EQ(utf8(a.credit), "2.00");
}

TEST(LoginWalk, SharesCountFollowsTheIntegerRule) {
    EXPECT_EQ(walk({"shr", "0"}).shares_count, 0);
    EXPECT_EQ(walk({"shr", "abc"}).shares_count, 0);
    EXPECT_EQ(walk({"shr", "x2"}).shares_count, 0);
    EXPECT_EQ(walk({"shr", " 2 accounts"}).shares_count, 2);
    EXPECT_EQ(walk({"shr", "-1"}).shares_count, -1);
    EXPECT_EQ(walk({"shr", "99999999999999"}).shares_count, INT32_MAX);
}

TEST(LoginWalk, OverlongValuesAreCutWhole) {
    std::string name(100, 'n');
    std::string cyr;
    for (int i = 0; i < 80; ++i) cyr += "Ж";
    login_account a = walk({"fn", "N" + name, "ln", cyr});
    EXPECT_EQ(utf8(a.first_name).size(), 63u);
    EXPECT_EQ(utf8(a.last_name).size(), 63u * 2);
    // The session id is kept as UTF-8 of at most 255 bytes, never split.
    std::string sid;
    for (int i = 0; i < 200; ++i) sid += "Ш";
    a = walk({"sessionid", sid});
    EXPECT_EQ(strlen(a.session_id), 254u);
    EXPECT_EQ(std::string(a.session_id), sid.substr(0, 254));
    // A surrogate pair is never split at the cut.
    std::string emoji = std::string(62, 'a') + "\xF0\x9F\x93\xBA";
    a = walk({"uid", emoji});
    EXPECT_EQ(utf8(a.uid), std::string(62, 'a'));
}

struct entries {
    std::vector<std::string> list;
    static void add(const char16_t* entry, void* self) {
        static_cast<entries*>(self)->list.push_back(utf8(entry));
    }
};

std::vector<std::string> shares(const std::vector<std::string>& fields) {
    entries e;
    std::u16string text = response(fields);
    walk_shares_response(text.c_str(), entries::add, &e);
    return e.list;
}

TEST(SharesWalk, EntriesInOrder) {
    EXPECT_EQ(shares({"sid", "7", "fn", "Ana", "ln", "Ivanova", "em", "ana@example.bg", "cr", "3.00",
                      "sid", "9", "fn", "Boris", "ln", "Petrov", "em", "b@example.bg", "cr", "0"}),
              (std::vector<std::string>{"7 Ana Ivanova", "9 Boris Petrov"}));
}

TEST(SharesWalk, AnEntryWithoutCrIsNeverAdded) {
    EXPECT_EQ(shares({"sid", "7", "fn", "Ana", "sid", "9", "fn", "Boris", "cr", "1"}),
              (std::vector<std::string>{"9 Boris"}));
    EXPECT_TRUE(shares({"sid", "7", "fn", "Ana", "cr"}).empty());  // key as the last field
    EXPECT_TRUE(shares({}).empty());
}

TEST(SharesWalk, KeysAreWholeFieldsAndValuesAreExaminedAsKeys) {
    // "xsid" is no key; the value "cr" of "em" is itself a key.
    EXPECT_EQ(shares({"xsid", "1", "sid", "2", "em", "cr", "5"}), (std::vector<std::string>{"2"}));
}

TEST(SharesWalk, OverlongEntriesAreCut) {
    std::vector<std::string> out = shares({"sid", std::string(200, 'i'), "fn", "Ana", "cr", "1"});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], std::string(127, 'i'));
    out = shares({"sid", "1", "fn", std::string(120, 'f'), "ln", "Ivanova", "cr", "1"});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].size(), 127u);
    EXPECT_EQ(out[0].substr(0, 2), "1 ");
}

}  // namespace
