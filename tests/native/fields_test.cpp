#include "service/fields.h"
#include "playback/channel_rules.h"
#include "tests/join.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(Fields, EndAtTheFirstZeroByteOrTheBufferEnd) {
    std::string r = join({"1", "A"}) + std::string("\0", 1) + join({"x", "y", "z"});
    EXPECT_EQ(split_fields(r.c_str(), r.size(), nullptr, nullptr), 2u);
    std::string full(10, 'a');  // no terminator inside the bytes given
    EXPECT_EQ(split_fields(full.c_str(), 4, nullptr, nullptr), 1u);
    EXPECT_EQ(split_fields("\x01\x01\x01", 3, nullptr, nullptr), 0u);
}

TEST(Fields, RunsOfSeparatorsCountAsOneInBothWidths) {
    std::vector<std::string> seen;
    std::string r = "\x01" "a\x01\x01" "bc\x01";
    split_fields(r.c_str(), r.size(), [](const char* f, size_t n, size_t, void* ctx) {
        static_cast<std::vector<std::string>*>(ctx)->push_back(std::string(f, n));
    }, &seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "bc"}));
    std::u16string w = u"\u0001\u0001ab\u0001\u0001c";
    size_t at = 0;
    field<char16_t> f;
    ASSERT_TRUE(next_field(w.c_str(), w.size(), &at, &f));
    EXPECT_EQ(std::u16string(f.text, f.length), u"ab");
    ASSERT_TRUE(next_field(w.c_str(), w.size(), &at, &f));
    EXPECT_EQ(std::u16string(f.text, f.length), u"c");
    EXPECT_FALSE(next_field(w.c_str(), w.size(), &at, &f));
}

TEST(Fields, EachValueIsExaminedAsAKeyInItsTurnUntilAKeyHasNoValue) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string r = join({"a", "b", "c"});
    walk_key_values(r.c_str(), r.size(), [&pairs](const field<char>& k, const field<char>& v) {
        pairs.emplace_back(std::string(k.text, k.length), std::string(v.text, v.length));
    });
    EXPECT_EQ(pairs, (std::vector<std::pair<std::string, std::string>>{{"a", "b"}, {"b", "c"}}));
    pairs.clear();
    walk_key_values("key", 3, [&pairs](const field<char>& k, const field<char>& v) {
        pairs.emplace_back(std::string(k.text, k.length), std::string(v.text, v.length));
    });
    EXPECT_TRUE(pairs.empty());
}

TEST(Fields, KeysAreFoundInsideAFieldOrAsTheWholeField) {
    field<char> f = {"xsessionidx", 11};
    EXPECT_TRUE(field_contains(f, "sessionid"));
    EXPECT_FALSE(field_equals(f, "sessionid"));
    field<char16_t> w = {u"cr", 2};
    EXPECT_TRUE(field_equals(w, "cr"));
    EXPECT_FALSE(field_contains(w, "crx"));
}

TEST(LeadingNumber, TheSameRuleForBytesUtf16AndTheLockCode) {
    const std::pair<const char*, int32_t> cases[] = {
        {"", 0}, {"0", 0}, {"abc", 0}, {"a12", 0}, {"007", 7}, {"12ab", 12}, {" 42", 42}, {"\t+5", 5},
        {"-3", -3}, {"99999999999999999999", INT32_MAX}, {"-99999999999999999999", INT32_MIN},
    };
    for (const auto& c : cases) {
        std::u16string wide(c.first, c.first + strlen(c.first));
        EXPECT_EQ(leading_number(c.first), c.second) << c.first;
        EXPECT_EQ(leading_number(wide.c_str()), c.second) << c.first;
        // A channel's lock code asks when this number is not 0.
        EXPECT_EQ(lock_code_number(c.first), c.second) << c.first;
    }
}

}  // namespace
