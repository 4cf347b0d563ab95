// The stand-in's tests read responses as the client does.
#pragma once

#include "standin/protocol.h"

#include <string>
#include <vector>

// The fields of a response by the client's rule: a run of separators counts
// as one, so no field is empty.
inline std::vector<std::string> fields_of(const std::string& response) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : response) {
        if (c == standin::sep) {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}
