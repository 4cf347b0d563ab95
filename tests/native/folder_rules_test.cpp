#include "playback/folder_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char me[] = "S-1-5-21-1004336348-1177238915-682003330-1001";

struct folder_case {
    const char* name;
    std::vector<folder_grant> grants;
    bool open;
};

class FolderRules : public ::testing::TestWithParam<folder_case> {};

// Folders a program may lie in, and the folders where another user could
// plant a library beside it.
TEST_P(FolderRules, OthersMayWriteOnlyWhereTheListLetsThem) {
    const folder_case& c = GetParam();
    EXPECT_EQ(others_may_write(c.grants.data(), static_cast<int32_t>(c.grants.size()), true, me), c.open) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderRules,
    ::testing::Values(
        // Program Files: the system, the administrators and TrustedInstaller
        // change it; the users and app packages read; CREATOR OWNER's right
        // only passes on to what an administrator puts there.
        folder_case{"program files",
                    {{"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", 0x1f01ff, 0, 0},
                     {"S-1-5-18", 0x1301bf, 0, 0},
                     {"S-1-5-32-544", 0x1301bf, 0, 0},
                     {"S-1-5-32-545", 0x1200a9, 0, 0},
                     {"S-1-3-0", 0x10000000, 0, 0x0b},
                     {"S-1-15-2-1", 0x1200a9, 0, 0}},
                    false},
        // A folder of the user's own (and Wine's folders: the user, the
        // system, everyone reading).
        folder_case{"own folder", {{"S-1-5-18", 0x1f01ff, 0, 3}, {me, 0x1f01ff, 0, 3}, {"S-1-1-0", 0x1200a9, 0, 3}}, false},
        // A folder made at the drive's root inherits "Authenticated Users:
        // Modify" and the users' right to add folders.
        folder_case{"under the drive's root",
                    {{"S-1-5-18", 0x1f01ff, 0, 0x10}, {"S-1-5-32-544", 0x1f01ff, 0, 0x10},
                     {"S-1-5-32-545", 0x1200a9, 0, 0x10}, {"S-1-5-11", 0x1301bf, 0, 0x10}},
                    true},
        folder_case{"users may add a folder", {{"S-1-5-18", 0x1f01ff, 0, 0}, {"S-1-5-32-545", 0x4, 0, 0}}, true},
        folder_case{"another user writes", {{me, 0x1f01ff, 0, 0}, {"S-1-5-21-1-2-3-1002", 0x2, 0, 0}}, true},
        folder_case{"everyone takes it over", {{"S-1-1-0", 0x80000, 0, 0}}, true},
        folder_case{"generic write to everyone", {{"S-1-1-0", 0x40000000, 0, 0}}, true},
        // A denial first does not make an allowing entry after it safe.
        folder_case{"denied and allowed", {{"S-1-5-11", 0x2, 1, 0}, {"S-1-5-11", 0x1301bf, 0, 0}}, true},
        folder_case{"empty list", {}, false}),
    [](const ::testing::TestParamInfo<folder_case>& info) {
        std::string name;
        for (const char* p = info.param.name; *p != '\0'; ++p) name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

// A folder with no list at all lets everyone do anything; a user whose own
// SID could not be read is no one in particular.
TEST(FolderRulesWithout, NoListOrNoOwnSid) {
    EXPECT_TRUE(others_may_write(nullptr, 0, false, me));
    const folder_grant mine[] = {{me, 0x1f01ff, 0, 0}};
    EXPECT_FALSE(others_may_write(mine, 1, true, me));
    EXPECT_TRUE(others_may_write(mine, 1, true, ""));
    EXPECT_TRUE(others_may_write(mine, 1, true, nullptr));
}

}  // namespace
