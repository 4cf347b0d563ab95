// A response as the service sends it: the fields joined by the byte 0x01.
// One copy for the native and the Win32 tests.
#pragma once

#include <string>
#include <vector>

inline std::string join(const std::vector<std::string>& fields) {
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) out.push_back('\x01');
        out += fields[i];
    }
    return out;
}
