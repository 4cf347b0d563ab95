// The keys' one table, and the key lists of the documents checked against it.
#include "shell/keys.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string read_source(const std::string& path) {
    std::ifstream in(std::string(TVCLIENT_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string trimmed(const std::string& s) {
    size_t from = s.find_first_not_of(" \t`*");
    size_t to = s.find_last_not_of(" \t`*\r");
    return from == std::string::npos ? "" : s.substr(from, to - from + 1);
}

// The names of a list like "Left / Right, Home / End".
void add_names(const std::string& list, std::multiset<std::string>* names) {
    std::string name;
    for (char c : list + ",") {
        if (c == ',' || c == '/') {
            if (!trimmed(name).empty()) names->insert(trimmed(name));
            name.clear();
        } else {
            name += c;
        }
    }
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The README: the first column of the table headed "| key | does |".
std::multiset<std::string> readme_keys() {
    std::multiset<std::string> names;
    bool in_table = false;
    for (const std::string& line : lines_of(read_source("README.md"))) {
        if (line.rfind("| key | does |", 0) == 0) {
            in_table = true;
        } else if (in_table && line.rfind("|", 0) != 0) {
            break;
        } else if (in_table && line.find("---") == std::string::npos) {
            add_names(line.substr(1, line.find('|', 1) - 1), &names);
        }
    }
    return names;
}

// The Windows README (scripts/dist): the lines between "КЛАВИШИ" and
// "МИШКАТА", each key before the run of blanks that starts its meaning.
std::multiset<std::string> windows_readme_keys() {
    std::multiset<std::string> names;
    bool in_list = false;
    for (const std::string& line : lines_of(read_source("scripts/dist"))) {
        if (line.rfind("КЛАВИШИ", 0) == 0) {
            in_list = true;
        } else if (line.rfind("МИШКАТА", 0) == 0) {
            break;
        } else if (in_list) {
            add_names(line.substr(0, line.find("   ", 2)), &names);
        }
    }
    return names;
}

// The manual page: the ".B" lines of its KEYS section.
std::multiset<std::string> manual_keys() {
    std::multiset<std::string> names;
    bool in_section = false;
    for (const std::string& line : lines_of(read_source("packaging/debian/tvclient.1"))) {
        if (line.rfind(".SH", 0) == 0) in_section = line == ".SH KEYS";
        else if (in_section && line.rfind(".B ", 0) == 0) add_names(line.substr(3), &names);
    }
    return names;
}

std::multiset<std::string> table_names(bool bulgarian) {
    std::multiset<std::string> names;
    for (size_t i = 0; i < key_table_size; ++i) names.insert(bulgarian ? key_table[i].name_bg : key_table[i].name);
    return names;
}

TEST(Keys, EveryDocumentListsTheKeysOfTheTableEachOnce) {
    EXPECT_EQ(readme_keys(), table_names(false)) << "README.md";
    EXPECT_EQ(manual_keys(), table_names(false)) << "packaging/debian/tvclient.1";
    EXPECT_EQ(windows_readme_keys(), table_names(true)) << "scripts/dist";
}

// Thirteen keys, each with its own command; N (which the help panel lists)
// and every other key have none.
TEST(Keys, EachKeyHasExactlyOneCommand) {
    EXPECT_EQ(key_table_size, 13u);
    std::set<uint32_t> codes;
    std::set<key_action> actions;
    for (size_t i = 0; i < key_table_size; ++i) {
        codes.insert(key_table[i].code);
        actions.insert(key_table[i].action);
        EXPECT_EQ(key_binding_for(key_table[i].code), &key_table[i]);
    }
    EXPECT_EQ(codes.size(), key_table_size);
    EXPECT_EQ(actions.size(), key_table_size);
    for (uint32_t other : {uint32_t('N'), uint32_t('A'), 0x71u, 0x0Du, 0x20u}) EXPECT_EQ(key_binding_for(other), nullptr);
    EXPECT_EQ(key_binding_for(0x25)->action, key_action::previous_channel);
    EXPECT_EQ(key_binding_for(0x27)->action, key_action::next_channel);
}

}  // namespace
