#include "standin/streams.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio/post.hpp>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace standin {

namespace {

const size_t ts_packet = 188;
const uint16_t pmt_pid = 0x1000;    // ffmpeg's first programme map
const uint16_t video_pid = 0x100;   // ffmpeg's first elementary stream: the picture
const size_t max_cache = 4u << 20;  // a key frame interval never comes near this
const size_t max_queued = 16u << 20;  // a viewer this far behind is dropped

uint16_t pid_of(const char* p) {
    return static_cast<uint16_t>(((static_cast<unsigned char>(p[1]) & 0x1f) << 8) | static_cast<unsigned char>(p[2]));
}

bool random_access(const char* p) {
    unsigned char afc = (static_cast<unsigned char>(p[3]) >> 4) & 3;
    return (afc & 2) && static_cast<unsigned char>(p[4]) > 0 && (static_cast<unsigned char>(p[5]) & 0x40);
}

}  // namespace

void key_frame_cache::take(const char* packets, size_t n_packets) {
    for (size_t i = 0; i < n_packets; ++i) {
        const char* p = packets + i * ts_packet;
        uint16_t pid = pid_of(p);
        if (pid == 0) pat_.assign(p, ts_packet);
        else if (pid == pmt_pid) pmt_.assign(p, ts_packet);
        if (pid == video_pid && random_access(p)) since_key_.clear();
        if (!since_key_.empty() || (pid == video_pid && random_access(p))) {
            if (since_key_.size() + ts_packet > max_cache) since_key_.clear();
            else since_key_.append(p, ts_packet);
        }
    }
}

std::string key_frame_cache::start_for_new_viewer() const {
    if (since_key_.empty()) return std::string();
    return pat_ + pmt_ + since_key_;
}

stream_hub::stream_hub(asio::io_context& io, std::string ffmpeg, std::string work_dir)
    : io_(io), ffmpeg_(std::move(ffmpeg)), work_dir_(std::move(work_dir)) {}

stream_hub::~stream_hub() { stop_all(); }

namespace {

const char font[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// The channel's name in a file for ffmpeg's drawtext (which reads any
// text from a file safely); its path, or "" when it cannot be written.
std::string name_file_of(const channel& c, const std::string& work_dir) {
    std::string name_file = work_dir + "/name-" + c.id + ".txt";
    FILE* nf = fopen(name_file.c_str(), "w");
    if (nf == nullptr) return "";
    fputs(c.name.c_str(), nf);
    fclose(nf);
    return name_file;
}

}  // namespace

std::vector<std::string> picture_arguments(const std::string& ffmpeg, const channel& c, const std::string& work_dir) {
    if (c.broadcast) {
        // The clip, looped as it is: serving it costs no encoding.
        return {ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-re", "-stream_loop", "-1",
                "-i", broadcast_clip(c, work_dir), "-map", "0", "-c", "copy"};
    }
    std::string name_file = name_file_of(c, work_dir);
    if (name_file.empty()) return {};

    std::string video = c.pattern + "=size=640x360:rate=25";
    std::string audio = "sine=frequency=" + std::to_string(c.tone_hz) + ":sample_rate=48000";
    std::string draw = std::string("[0:v]drawtext=fontfile=") + font + ":textfile=" + name_file +
                       ":fontsize=44:fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=8:x=24:y=24,"
                       "drawtext=fontfile=" + font +
                       ":text=%{localtime}:fontsize=30:fontcolor=yellow:box=1:boxcolor=black@0.6:"
                       "boxborderw=6:x=24:y=h-60[v]";
    return {
        ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-re",
        "-f", "lavfi", "-i", video, "-f", "lavfi", "-i", audio,
        "-filter_complex", draw, "-map", "[v]", "-map", "1:a",
        "-c:v", "mpeg2video", "-b:v", "1200k", "-g", "12", "-bf", "0",
        "-c:a", "mp2", "-b:a", "96k",
    };
}

std::string broadcast_clip(const channel& c, const std::string& work_dir) {
    return work_dir + "/broadcast-" + c.id + ".ts";
}

std::vector<std::string> clip_arguments(const std::string& ffmpeg, const channel& c, const std::string& work_dir) {
    std::string name_file = name_file_of(c, work_dir);
    if (name_file.empty()) return {};
    std::string draw = std::string("drawtext=fontfile=") + font + ":textfile=" + name_file +
                       ":fontsize=96:fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=16:x=64:y=64,"
                       "noise=alls=12:allf=t+u,setfield=tff";
    // Moving grain keeps the rate near an operator's whatever the pattern; a
    // fast preset keeps the encoding to a few seconds; the rest is what an
    // operator sends: 1080i top field first, 6 Mbit/s, a key frame every two
    // seconds, two B-frames.
    return {
        ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
        "-f", "lavfi", "-i", c.pattern + "=size=1920x1080:rate=25",
        "-f", "lavfi", "-i", "sine=frequency=" + std::to_string(c.tone_hz) + ":sample_rate=48000",
        "-t", "8", "-vf", draw, "-pix_fmt", "yuv420p",
        "-c:v", "libx264", "-preset", "ultrafast", "-bf", "2", "-g", "50", "-keyint_min", "50",
        "-sc_threshold", "0", "-flags", "+ildct+ilme", "-x264-params", "interlaced=1:tff=1:b-adapt=0",
        "-b:v", "6M", "-maxrate", "6M", "-bufsize", "3M",
        "-c:a", "mp2", "-b:a", "128k", "-f", "mpegts", broadcast_clip(c, work_dir),
    };
}

pid_t start_encoder(std::vector<std::string> args, int out_fd) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0) return pid;
    // The child: ffmpeg dies with the service, whatever ends it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    setpgid(0, 0);
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
        dup2(out_fd >= 0 ? out_fd : devnull, 1);
        dup2(devnull, 0);
        dup2(devnull, 2);
    }
    execvp(argv[0], argv.data());
    _exit(127);
}

bool stream_hub::start_feed(const channel& c, feed* f) {
    std::vector<std::string> args = picture_arguments(ffmpeg_, c, work_dir_);
    if (args.empty()) return false;
    for (const char* a : {"-f", "mpegts", "-muxdelay", "0", "-flush_packets", "1", "pipe:1"}) args.push_back(a);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    pid_t pid = start_encoder(args, out[1]);
    close(out[1]);
    if (pid < 0) {
        close(out[0]);
        return false;
    }
    f->pid = pid;
    f->pipe.assign(out[0]);
    f->channel_id = c.id;
    return true;
}

std::shared_ptr<viewer> stream_hub::join(const channel& c, std::function<void()> wake) {
    auto v = std::make_shared<viewer>();
    v->wake = std::move(wake);
    std::shared_ptr<feed> stale;
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto found = feeds_.find(c.id);
        if (found != feeds_.end() && found->second->ended) {
            // ffmpeg ended on its own: its reader has finished; start afresh.
            stale = found->second;
            feeds_.erase(found);
            found = feeds_.end();
        }
        if (found == feeds_.end()) {
            auto f = std::make_shared<feed>(io_);
            if (start_feed(c, f.get())) {
                feeds_[c.id] = f;
                asio::post(f->strand, [this, f] { read_feed(f); });
                found = feeds_.find(c.id);
            }
        }
        if (found == feeds_.end()) {
            v->ended = true;
        } else {
            std::shared_ptr<feed> f = found->second;
            std::string start = f->cache.start_for_new_viewer();
            if (!start.empty()) {
                v->queue.push_back(std::make_shared<const std::string>(std::move(start)));
                v->queued_bytes = v->queue.back()->size();
            }
            f->viewers.push_back(v);
        }
    }
    if (stale) end_feed(stale);
    return v;
}

void stream_hub::read_feed(std::shared_ptr<feed> f) {
    f->pipe.async_read_some(asio::buffer(f->buffer), [this, f](const asio::error_code& error, size_t n) {
        if (error == asio::error::interrupted) {
            read_feed(f);
        } else if (error || n == 0) {
            feed_ended(f);
        } else {
            take_output(f, n);
            read_feed(f);
        }
    });
}

void stream_hub::take_output(const std::shared_ptr<feed>& f, size_t n) {
    std::string& pending = f->pending;
    pending.append(f->buffer, n);
    // Resynchronise on the sync byte if ffmpeg's output ever starts mid-packet.
    size_t sync = pending.find('\x47');
    pending.erase(0, sync == std::string::npos ? pending.size() : sync);
    size_t whole = pending.size() / ts_packet * ts_packet;
    if (whole == 0) return;
    auto piece = std::make_shared<const std::string>(pending.substr(0, whole));
    pending.erase(0, whole);
    std::vector<std::shared_ptr<viewer>> woken;
    {
        std::lock_guard<std::mutex> hold(lock_);
        f->cache.take(piece->data(), whole / ts_packet);
        for (const std::shared_ptr<viewer>& v : f->viewers) {
            std::lock_guard<std::mutex> vh(v->lock);
            if (v->ended) continue;
            if (v->queued_bytes > max_queued) {
                v->ended = true;
            } else {
                v->queue.push_back(piece);
                v->queued_bytes += piece->size();
            }
            woken.push_back(v);
        }
    }
    for (const std::shared_ptr<viewer>& v : woken)
        if (v->wake) v->wake();
}

void stream_hub::feed_ended(const std::shared_ptr<feed>& f) {
    std::vector<std::shared_ptr<viewer>> woken;
    {
        std::lock_guard<std::mutex> hold(lock_);
        f->ended = true;
        for (const std::shared_ptr<viewer>& v : f->viewers) {
            std::lock_guard<std::mutex> vh(v->lock);
            v->ended = true;
            woken.push_back(v);
        }
    }
    for (const std::shared_ptr<viewer>& v : woken)
        if (v->wake) v->wake();
}

void stream_hub::end_feed(const std::shared_ptr<feed>& f) {
    if (f->pid > 0) kill(-f->pid, SIGKILL), kill(f->pid, SIGKILL);
    // A read under way then ends with an error, which marks the feed ended.
    asio::post(f->strand, [f] {
        asio::error_code ignored;
        f->pipe.close(ignored);
    });
    if (f->pid > 0) waitpid(f->pid, nullptr, 0);
    f->pid = -1;
}

void stream_hub::leave(const std::string& channel_id, const std::shared_ptr<viewer>& v) {
    std::shared_ptr<feed> gone;
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto found = feeds_.find(channel_id);
        if (found == feeds_.end()) return;
        std::vector<std::shared_ptr<viewer>>& list = found->second->viewers;
        bool removed = false;
        for (size_t i = 0; i < list.size() && !removed; ++i) {
            if (list[i] == v) {
                list.erase(list.begin() + static_cast<long>(i));
                removed = true;
            }
        }
        if (removed && list.empty() && on_air_.count(channel_id) == 0) {
            gone = found->second;
            feeds_.erase(found);
        }
    }
    if (gone) end_feed(gone);
}

void stream_hub::put_on_air(const channel& c) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        on_air_.insert(c.id);
    }
    // A passing viewer starts the feed; on air, it outlives its viewers.
    leave(c.id, join(c));
}

bool stream_hub::prepare_clips(const std::vector<channel>& channels) {
    for (const channel& c : channels) {
        if (!c.broadcast || access(broadcast_clip(c, work_dir_).c_str(), R_OK) == 0) continue;
        std::vector<std::string> args = clip_arguments(ffmpeg_, c, work_dir_);
        pid_t pid = args.empty() ? -1 : start_encoder(args, -1);
        int status = -1;
        if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            unlink(broadcast_clip(c, work_dir_).c_str());
            return false;
        }
    }
    return true;
}

void stream_hub::stop_all() {
    std::map<std::string, std::shared_ptr<feed>> all;
    {
        std::lock_guard<std::mutex> hold(lock_);
        all.swap(feeds_);
    }
    for (auto& entry : all) end_feed(entry.second);
}

size_t stream_hub::running_feeds() {
    std::lock_guard<std::mutex> hold(lock_);
    size_t n = 0;
    for (auto& entry : feeds_) n += entry.second->ended ? 0 : 1;
    return n;
}

piece_state stream_hub::take_piece(viewer& v, std::shared_ptr<const std::string>* piece) {
    std::lock_guard<std::mutex> hold(v.lock);
    piece->reset();
    if (v.ended) return piece_state::ended;
    if (v.queue.empty()) return piece_state::none_yet;
    *piece = v.queue.front();
    v.queue.pop_front();
    v.queued_bytes -= (*piece)->size();
    return piece_state::piece;
}

}  // namespace standin
