// Whether a folder's permissions let someone other than the user, the system
// and the administrators put a file into it: a libvlc.dll planted beside
// the program would run as the subscriber.
#pragma once

#include <cstdint>

// One entry of a folder's access list: who (a SID in its "S-1-..." form),
// what (the access mask), the entry's type (0 allows, 1 denies) and its
// flags (0x08: it only passes on to what the folder holds).
struct folder_grant {
    const char* sid;
    uint32_t mask;
    uint8_t type;
    uint8_t flags;
};

// True when the list lets anyone but own_sid, SYSTEM, the Administrators
// group or TrustedInstaller add or change files in the folder; a folder
// without a list (has_list false) lets everyone. Entries that deny are not
// counted on: a folder the rule cannot read as safe is taken as unsafe.
bool others_may_write(const folder_grant* grants, int32_t count, bool has_list, const char* own_sid);
