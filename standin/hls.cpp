#include "standin/hls.h"

#include "standin/streams.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace standin {

hls_hub::hls_hub(std::string ffmpeg, std::string work_dir)
    : ffmpeg_(std::move(ffmpeg)), work_dir_(std::move(work_dir)) {}

hls_hub::~hls_hub() { stop_all(); }

std::string hls_hub::use(const channel& c) {
    std::lock_guard<std::mutex> hold(lock_);
    encoder& e = encoders_[c.id];
    e.last_used = std::chrono::steady_clock::now();
    if (e.pid > 0 && waitpid(e.pid, nullptr, WNOHANG) == 0) return e.folder;
    e.folder = work_dir_ + "/hls-" + c.id;
    mkdir(e.folder.c_str(), 0700);
    std::vector<std::string> args = picture_arguments(ffmpeg_, c, work_dir_);
    if (args.empty()) return std::string();
    for (const std::string& a : std::vector<std::string>{
             "-f", "hls", "-hls_time", "1", "-hls_list_size", "6", "-hls_flags", "delete_segments+omit_endlist",
             "-hls_segment_filename", e.folder + "/seg%05d.ts", e.folder + "/index.m3u8"})
        args.push_back(a);
    e.pid = start_encoder(args, -1);
    return e.pid > 0 ? e.folder : std::string();
}

bool hls_hub::ready(const std::string& folder) const {
    std::string playlist;
    if (!read_file(folder + "/index.m3u8", &playlist)) return false;
    size_t segments = 0;
    for (size_t at = playlist.find(".ts"); at != std::string::npos; at = playlist.find(".ts", at + 1)) ++segments;
    return segments >= 2;
}

void hls_hub::end(encoder* e) {
    if (e->pid <= 0) return;
    kill(-e->pid, SIGKILL);
    kill(e->pid, SIGKILL);
    waitpid(e->pid, nullptr, 0);
    e->pid = -1;
    // The next viewer starts from a fresh playlist.
    unlink((e->folder + "/index.m3u8").c_str());
}

void hls_hub::end_idle(std::chrono::steady_clock::duration idle) {
    std::lock_guard<std::mutex> hold(lock_);
    auto now = std::chrono::steady_clock::now();
    for (auto& entry : encoders_)
        if (entry.second.pid > 0 && now - entry.second.last_used > idle) end(&entry.second);
}

void hls_hub::stop_all() {
    std::lock_guard<std::mutex> hold(lock_);
    for (auto& entry : encoders_) {
        end(&entry.second);
        // The folder goes with its encoder: its segments, then itself.
        if (DIR* d = opendir(entry.second.folder.c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') unlink((entry.second.folder + "/" + e->d_name).c_str());
            closedir(d);
            rmdir(entry.second.folder.c_str());
        }
    }
}

bool read_file(const std::string& path, std::string* out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    out->clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out->append(buffer, n);
    fclose(f);
    return true;
}

}  // namespace standin
