// HLS channels: one ffmpeg per watched channel writes a live playlist of
// one-second MPEG-TS segments into a folder of its own; the service answers
// the playlist and segment requests from that folder. A channel's encoder
// ends when nobody asked for it for a while.
#pragma once

#include "standin/demo_data.h"

#include <sys/types.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace standin {

class hls_hub {
public:
    hls_hub(std::string ffmpeg, std::string work_dir);
    ~hls_hub();

    // Starts the channel's encoder unless it runs; notes the request. The
    // channel's folder, or "" when ffmpeg cannot start.
    std::string use(const channel& c);
    // Whether the channel's playlist names at least two segments yet.
    bool ready(const std::string& folder) const;
    // Ends the encoders nobody asked for within the idle time.
    void end_idle(std::chrono::steady_clock::duration idle);
    // Ends every encoder and removes the channels' folders.
    void stop_all();

private:
    struct encoder {
        pid_t pid = -1;
        std::string folder;
        std::chrono::steady_clock::time_point last_used;
    };
    void end(encoder* e);
    std::string ffmpeg_;
    std::string work_dir_;
    std::mutex lock_;
    std::map<std::string, encoder> encoders_;
};

// Reads a whole file; false when it is not there.
bool read_file(const std::string& path, std::string* out);

}  // namespace standin
