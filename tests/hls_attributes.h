// The attributes of an HLS tag line, read on their own (not by the relay's
// rewriter) for the tests that check what the rewriter wrote: after the
// tag's colon, NAME=VALUE up to the next comma, a value quoted (blanks
// before its quote skipped) up to its closing quote. One copy for the
// native tests and the fuzz targets.
#pragma once

#include <cctype>
#include <string>
#include <vector>

struct tag_attribute {
    std::string name;   // as written
    std::string value;  // as written: blanks and quotes kept
    bool unclosed;      // a quoted value whose quote never closes
};

inline std::vector<tag_attribute> tag_attributes(const std::string& line) {
    std::vector<tag_attribute> found;
    size_t i = line.find(':');
    if (i == std::string::npos) return found;
    ++i;
    while (i < line.size()) {
        size_t eq = line.find_first_of("=,", i);
        if (eq == std::string::npos) break;
        if (line[eq] == ',') {
            i = eq + 1;
            continue;
        }
        size_t value = line.find_first_not_of(" \t", eq + 1);
        if (value == std::string::npos) value = line.size();
        bool unclosed = false;
        size_t end;
        if (value < line.size() && line[value] == '"') {
            size_t close = line.find('"', value + 1);
            unclosed = close == std::string::npos;
            end = unclosed ? line.size() : line.find(',', close);
        } else {
            end = line.find(',', value);
        }
        if (end == std::string::npos) end = line.size();
        found.push_back({line.substr(i, eq - i), line.substr(eq + 1, end - eq - 1), unclosed});
        i = end + 1;
    }
    return found;
}

// URI, a name ending in -URI, or X-ASSET-LIST: without case, blanks
// around the name dropped.
inline bool names_an_address(std::string name) {
    while (!name.empty() && (name[0] == ' ' || name[0] == '\t')) name.erase(0, 1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return name == "URI" || name == "X-ASSET-LIST" || (name.size() > 4 && name.compare(name.size() - 4, 4, "-URI") == 0);
}

// The text a value holds: without the blanks before it, and inside its
// quotes when it is quoted.
inline std::string value_text(const std::string& value) {
    size_t start = value.find_first_not_of(" \t");
    if (start == std::string::npos) return "";
    if (value[start] != '"') return value.substr(start);
    size_t close = value.find('"', start + 1);
    return value.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
}
