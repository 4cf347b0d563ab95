#include "playback/folder_rules.h"

#include <cstring>

namespace {

// Adding a file or folder, deleting what is inside, taking the folder
// over, and the generic rights that hold them.
constexpr uint32_t write_rights = 0x00000002u     // add a file
                                  | 0x00000004u   // add a folder
                                  | 0x00000040u   // delete what is inside
                                  | 0x00010000u   // delete
                                  | 0x00040000u   // change the permissions
                                  | 0x00080000u   // take ownership
                                  | 0x10000000u   // all
                                  | 0x40000000u;  // write
constexpr uint8_t inherit_only = 0x08;
constexpr uint8_t allows = 0;

const char* const trusted[] = {
    "S-1-5-18",      // SYSTEM
    "S-1-5-32-544",  // Administrators
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

bool is_trusted(const char* sid, const char* own_sid) {
    if (sid == nullptr) return false;
    if (own_sid != nullptr && *own_sid != '\0' && strcmp(sid, own_sid) == 0) return true;
    for (const char* t : trusted)
        if (strcmp(sid, t) == 0) return true;
    return false;
}

}  // namespace

bool others_may_write(const folder_grant* grants, int32_t count, bool has_list, const char* own_sid) {
    if (!has_list) return true;
    for (int32_t i = 0; i < count; ++i) {
        const folder_grant& g = grants[i];
        if (g.type != allows || (g.flags & inherit_only) != 0 || (g.mask & write_rights) == 0) continue;
        if (!is_trusted(g.sid, own_sid)) return true;
    }
    return false;
}
