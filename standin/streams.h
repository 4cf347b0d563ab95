// Live channels: one ffmpeg per watched channel, its MPEG-TS output shared by
// every viewer of that channel, ended when the last viewer leaves.
#pragma once

#include "standin/demo_data.h"

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace standin {

// The part of a transport stream a new viewer needs to show a picture at
// once: the latest PAT and PMT and everything since the latest video key
// frame. Fed with whole 188-byte packets.
class key_frame_cache {
public:
    void take(const char* packets, size_t n_packets);
    std::string start_for_new_viewer() const;
    size_t size() const { return since_key_.size(); }

private:
    std::string pat_;
    std::string pmt_;
    std::string since_key_;
};

struct viewer {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<std::shared_ptr<const std::string>> queue;
    size_t queued_bytes = 0;
    bool ended = false;  // the feed is gone or the viewer fell too far behind
};

class stream_hub {
public:
    // work_dir: a private folder for the text files drawn into the picture.
    stream_hub(std::string ffmpeg, std::string work_dir);
    ~stream_hub();

    std::shared_ptr<viewer> join(const channel& c);
    void leave(const std::string& channel_id, const std::shared_ptr<viewer>& v);
    // Keeps the channel's feed running from now on, watched or not, as a
    // real head-end does: a viewer then never waits for ffmpeg to start.
    void put_on_air(const channel& c);
    // Ends every feed (the service is stopping).
    void stop_all();
    // How many ffmpeg processes run now.
    size_t running_feeds();

    // Waits for the next piece of the stream; false when the stream ended.
    static bool next_piece(viewer& v, std::shared_ptr<const std::string>* piece, int32_t timeout_ms);

private:
    struct feed {
        std::string channel_id;
        pid_t pid = -1;
        int fd = -1;
        std::thread reader;
        std::vector<std::shared_ptr<viewer>> viewers;
        key_frame_cache cache;
        bool ended = false;
    };
    bool start_feed(const channel& c, feed* f);
    void read_feed(std::shared_ptr<feed> f);
    void end_feed(const std::shared_ptr<feed>& f);

    std::string ffmpeg_;
    std::string work_dir_;
    std::mutex lock_;
    std::map<std::string, std::shared_ptr<feed>> feeds_;
    std::set<std::string> on_air_;
};

}  // namespace standin
