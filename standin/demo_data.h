// The stand-in's demo data: accounts, shares and channels, read from a YAML
// file a person can edit by hand (standin/demo.yaml).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

struct account {
    std::string user;
    std::string password;
    std::string uid;
    std::string first_name;
    std::string last_name;
    std::string email;
    int64_t credit_cents = 0;
    std::vector<std::string> shares;  // uids of the accounts this one may charge
};

struct channel {
    std::string id;
    std::string name;
    std::string price;
    std::string lock;     // "0" for none
    std::string genre;    // picks the guide's titles
    std::string pattern;  // the picture: an ffmpeg lavfi source
    int32_t tone_hz = 440;
    bool hls = false;  // served as an HLS playlist with one-second segments
    // A picture like an operator's: H.264 1920x1080 interlaced at 25 frames
    // a second, about 6 Mbit/s, a key frame every 50 frames, 2 B-frames,
    // with sound; encoded once into a clip that the channel loops.
    bool broadcast = false;
};

struct demo_data {
    std::vector<account> accounts;
    std::vector<channel> channels;
    int64_t charge_cents = 1;  // what one keep-alive costs the charged account
};

// Reads and checks the file. On failure returns false with a message that
// names the file and what is wrong.
bool load_demo_file(const std::string& path, demo_data* out, std::string* error);
bool load_demo_text(const std::string& text, demo_data* out, std::string* error);

}  // namespace standin
