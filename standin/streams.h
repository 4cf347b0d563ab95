// Live channels: one ffmpeg per watched channel, its MPEG-TS output shared by
// every viewer of that channel, ended when the last viewer leaves. ffmpeg's
// output is read by the service's event loop: a feed costs no thread.
#pragma once

#include "standin/demo_data.h"

#include <sys/types.h>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/strand.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
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

// The ffmpeg command line of a channel's picture and tone, up to its
// output options; writes the name file it draws into work_dir. Empty when
// it cannot.
std::vector<std::string> picture_arguments(const std::string& ffmpeg, const channel& c, const std::string& work_dir);
// Starts ffmpeg in a process group of its own, its output on out_fd (or
// nowhere when negative); the pid, or -1.
pid_t start_encoder(std::vector<std::string> args, int out_fd);
// Where a broadcast-like channel's clip lies in work_dir, and the ffmpeg
// arguments that encode it (about 8 s, a few seconds of encoding).
std::string broadcast_clip(const channel& c, const std::string& work_dir);
std::vector<std::string> clip_arguments(const std::string& ffmpeg, const channel& c, const std::string& work_dir);

struct viewer {
    std::mutex lock;
    std::deque<std::shared_ptr<const std::string>> queue;
    size_t queued_bytes = 0;
    bool ended = false;  // the feed is gone or the viewer fell too far behind
    // Called, from any thread and without the lock held, whenever a piece
    // was queued or the viewer ended. Set before join.
    std::function<void()> wake;
};

// What a viewer finds in its queue.
enum class piece_state { piece, none_yet, ended };

class stream_hub {
public:
    // work_dir: a private folder for the text files drawn into the picture.
    // ffmpeg's output is read on io.
    stream_hub(asio::io_context& io, std::string ffmpeg, std::string work_dir);
    ~stream_hub();

    // A new viewer of the channel; wake is called whenever a piece was
    // queued for it or it ended (from any thread, without locks held).
    std::shared_ptr<viewer> join(const channel& c, std::function<void()> wake = {});
    void leave(const std::string& channel_id, const std::shared_ptr<viewer>& v);
    // Keeps the channel's feed running from now on, watched or not, as a
    // real head-end does: a viewer then never waits for ffmpeg to start.
    void put_on_air(const channel& c);
    // Encodes the clip of each broadcast-like channel that has none yet (at
    // start, before any viewer: a few seconds each); false when one failed.
    bool prepare_clips(const std::vector<channel>& channels);
    // Ends every feed (the service is stopping).
    void stop_all();
    // How many ffmpeg processes run now.
    size_t running_feeds();

    // Takes the next piece of the stream, without waiting.
    static piece_state take_piece(viewer& v, std::shared_ptr<const std::string>* piece);

private:
    struct feed {
        explicit feed(asio::io_context& io) : strand(asio::make_strand(io)), pipe(strand) {}
        std::string channel_id;
        pid_t pid = -1;
        // The pipe is only touched on its strand: reads, and the close.
        asio::strand<asio::io_context::executor_type> strand;
        asio::posix::stream_descriptor pipe;
        char buffer[188 * 64];
        std::string pending;  // bytes short of a whole packet
        std::vector<std::shared_ptr<viewer>> viewers;
        key_frame_cache cache;
        bool ended = false;
    };
    bool start_feed(const channel& c, feed* f);
    void read_feed(std::shared_ptr<feed> f);
    void take_output(const std::shared_ptr<feed>& f, size_t n);
    void feed_ended(const std::shared_ptr<feed>& f);
    void end_feed(const std::shared_ptr<feed>& f);

    asio::io_context& io_;
    std::string ffmpeg_;
    std::string work_dir_;
    std::mutex lock_;
    std::map<std::string, std::shared_ptr<feed>> feeds_;
    std::set<std::string> on_air_;
};

}  // namespace standin
