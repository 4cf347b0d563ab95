// Starts tvservice on a free loopback port and talks to it over sockets, as
// the client does.
#include "standin/protocol.h"
#include "tests/standin/fields.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class running_service {
public:
    explicit running_service(std::vector<std::string> extra = {}) {
        char dir[] = "/tmp/tvservice-test.XXXXXX";
        folder = mkdtemp(dir);
        log = folder + "/requests.log";
        control = folder + "/faults";
        std::string port_file = folder + "/port";
        std::vector<std::string> args = {TVSERVICE_PROGRAM, "--listen", "127.0.0.1:0", "--port-file", port_file,
                                         "--log", log, "--control", control, "--hold", "20"};
        for (const std::string& e : extra) args.push_back(e);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        // Up to 15 s: a broadcast-like channel's clip is encoded first.
        for (int i = 0; i < 600 && port == 0; ++i) {
            std::string text = read_file(port_file);
            if (!text.empty()) port = static_cast<uint16_t>(atoi(text.c_str()));
            else std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    ~running_service() {
        stop();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    int stop() {
        if (pid <= 0) return -1;
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(port); }
    std::string line(const std::string& body) const {
        return "GET http://" + host() + "/socket_server/server.php?input=" + body + "\r\n";
    }
    void set_faults(const std::string& text) {
        std::ofstream(control) << text;
        // A new modification time even within the same clock tick.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    pid_t pid = -1;
    uint16_t port = 0;
    std::string folder, log, control;
};

int connect_to(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

struct exchange_result {
    std::string bytes;
    bool closed = false;  // the service closed the connection
    std::vector<size_t> pieces;
};

// Sends one request and reads until the service closes or stays quiet.
exchange_result talk(uint16_t port, const std::string& request, int quiet_ms = 3000) {
    exchange_result r;
    int fd = connect_to(port);
    if (fd < 0) return r;
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    for (;;) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, quiet_ms) <= 0) break;
        char buf[4096];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            r.closed = true;
            break;
        }
        r.bytes.append(buf, static_cast<size_t>(n));
        r.pieces.push_back(static_cast<size_t>(n));
    }
    close(fd);
    return r;
}

std::string field_after(const std::string& response, const std::string& key) {
    std::vector<std::string> f = fields_of(response);
    for (size_t i = 0; i + 1 < f.size(); ++i)
        if (f[i] == key) return f[i + 1];
    return "";
}

const std::string ivan = "user\x01ivan\x01pass\x01" "1234\x01";

TEST(StandinServer, AnswersTheWholeCatalogueAndLogsEveryLine) {
    running_service s;
    ASSERT_NE(s.port, 0);
    exchange_result v = talk(s.port, s.line("version"));
    EXPECT_EQ(v.bytes, "0.03");
    EXPECT_TRUE(v.closed);

    std::string login = talk(s.port, s.line(ivan + "account\x01info")).bytes;
    std::string sid = field_after(login, "sessionid");
    EXPECT_EQ(sid.size(), 32u);
    EXPECT_EQ(field_after(login, "shr"), "2");
    EXPECT_EQ(talk(s.port, s.line("user\x01ivan\x01pass\x01no\x01" "account\x01info")).bytes, "false");

    EXPECT_EQ(fields_of(talk(s.port, s.line(ivan + "shares\x01info")).bytes).size(), 20u);
    std::string keep = talk(s.port, s.line(ivan + "keepsession\x01" + sid + "\x01seederid\x01" "123")).bytes;
    EXPECT_EQ(field_after(keep, "session"), "ok");
    EXPECT_EQ(field_after(keep, "credit"), "9.99");

    std::vector<std::string> channels = fields_of(talk(s.port, s.line(ivan + "channelslist\x01info")).bytes);
    ASSERT_EQ(channels.size() % 5, 0u);
    EXPECT_GE(channels.size(), 60u);
    EXPECT_EQ(channels[2], s.host() + "/live?ch=101");

    std::vector<std::string> epg = fields_of(talk(s.port, s.line(ivan + "epg\x01" "101")).bytes);
    EXPECT_EQ(epg.size() % 4, 0u);
    EXPECT_GE(epg.size(), 4u * 16);

    std::string log = read_file(s.log);
    EXPECT_NE(log.find("GET http://" + s.host() + "/socket_server/server.php?input=version\\x0d\\x0a\n"),
              std::string::npos);
    EXPECT_NE(log.find("input=user\\x01ivan\\x01pass\\x011234\\x01" "account\\x01info\\x0d\\x0a"), std::string::npos);
}

TEST(StandinServer, BadInputClosesTheConnectionAndIsLogged) {
    running_service s;
    exchange_result r = talk(s.port, "HELLO THERE\r\n");
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_TRUE(r.closed);
    r = talk(s.port, std::string(6000, 'x'));
    EXPECT_TRUE(r.closed);
    // A cut-off line: the client sends part of it and goes quiet.
    int fd = connect_to(s.port);
    send(fd, "GET http://", 11, 0);
    shutdown(fd, SHUT_WR);
    char c;
    EXPECT_LE(recv(fd, &c, 1, 0), 0);
    close(fd);
    // The service still answers.
    EXPECT_EQ(talk(s.port, s.line("version")).bytes, "0.03");
    std::string log = read_file(s.log);
    EXPECT_NE(log.find("BAD (not a request) HELLO THERE"), std::string::npos);
    EXPECT_NE(log.find("BAD (too long)"), std::string::npos);
}

TEST(StandinServer, FaultModesFromTheControlFile) {
    running_service s;
    s.set_faults("version=wrong_version");
    EXPECT_EQ(talk(s.port, s.line("version")).bytes, "0.02");

    s.set_faults("version=close");
    exchange_result r = talk(s.port, s.line("version"));
    EXPECT_TRUE(r.closed);
    EXPECT_TRUE(r.bytes.empty());

    s.set_faults("version=silent");
    r = talk(s.port, s.line("version"), 1500);
    EXPECT_FALSE(r.closed);
    EXPECT_TRUE(r.bytes.empty());

    s.set_faults("version=trailing_zero");
    r = talk(s.port, s.line("version"), 1500);
    EXPECT_EQ(r.bytes, std::string("0.03\0", 5));
    EXPECT_FALSE(r.closed);

    s.set_faults("version=one_byte");
    r = talk(s.port, s.line("version"), 1500);
    EXPECT_EQ(r.bytes, "0");
    EXPECT_FALSE(r.closed);

    s.set_faults("channelslist=huge");
    r = talk(s.port, s.line(ivan + "channelslist\x01info"));
    EXPECT_GT(r.bytes.size(), 32000u);
    EXPECT_TRUE(r.closed);

    s.set_faults("epg=drip");
    r = talk(s.port, s.line(ivan + "epg\x01" "102"));
    EXPECT_TRUE(r.closed);
    EXPECT_GT(r.pieces.size(), 20u);
    EXPECT_EQ(fields_of(r.bytes).size() % 4, 0u);

    s.set_faults("version=drip:0.3");  // "0.03" in two pieces of two bytes
    r = talk(s.port, s.line("version"), 1500);
    EXPECT_EQ(r.bytes, "0.03");
    EXPECT_EQ(r.pieces.size(), 2u);
    EXPECT_TRUE(r.closed);

    s.set_faults("keepsession=stall_half");
    std::string whole = "session\x01" "false";
    r = talk(s.port, s.line(ivan + "keepsession\x01nosuch\x01seederid\x01" "123"), 1500);
    EXPECT_EQ(r.bytes, whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(r.closed);

    s.set_faults("");
    EXPECT_EQ(talk(s.port, s.line("version")).bytes, "0.03");
}

// Reads the first bytes of an HTTP stream.
std::string stream_get(uint16_t port, const std::string& path, size_t want, int timeout_ms) {
    int fd = connect_to(port);
    std::string req = "GET " + path + " HTTP/1.1\r\nHost: x\r\nUser-Agent: test\r\n\r\n";
    send(fd, req.data(), req.size(), MSG_NOSIGNAL);
    std::string got;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (got.size() < want && std::chrono::steady_clock::now() < until) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char buf[16384];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return got;
}

int count_processes(const std::string& name) {
    FILE* p = popen(("pgrep -c -x " + name).c_str(), "r");
    int n = 0;
    if (p) {
        if (fscanf(p, "%d", &n) != 1) n = 0;
        pclose(p);
    }
    return n;
}

TEST(StandinServer, LiveChannelsNeedASessionAndDeliverMpegTs) {
    running_service s;
    std::string sid = field_after(talk(s.port, s.line(ivan + "account\x01info")).bytes, "sessionid");
    int ffmpeg_before = count_processes("ffmpeg");

    std::string refused = stream_get(s.port, "/live?ch=101&sid=bogus&channelid=101", 64, 5000);
    EXPECT_EQ(refused.rfind("HTTP/1.0 403", 0), 0u) << refused;

    std::string got = stream_get(s.port, "/live?ch=101&sid=" + sid + "&channelid=101", 188 * 400, 20000);
    size_t body = got.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(got.rfind("HTTP/1.0 200", 0), 0u);
    std::string ts = got.substr(body + 4);
    ASSERT_GE(ts.size(), 188u * 100);
    for (size_t i = 0; i + 188 <= ts.size(); i += 188) ASSERT_EQ(ts[i], 0x47) << "at " << i;

    // The viewer left: its ffmpeg ends; the service leaves none behind.
    for (int i = 0; i < 100 && count_processes("ffmpeg") > ffmpeg_before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(count_processes("ffmpeg"), ffmpeg_before);
    EXPECT_NE(read_file(s.log).find("GET /live?ch=101&sid=" + sid + "&channelid=101 HTTP/1.1"), std::string::npos);
}

// A session's stream connections are counted while they are open: two at
// once are two, and one that its client has closed is never counted with
// the next, however soon the next comes.
TEST(StandinServer, StreamConnectionsAreCountedWhileTheirClientHoldsThem) {
    running_service s;
    std::string sid = field_after(talk(s.port, s.line(ivan + "account\x01info")).bytes, "sessionid");
    std::string request = "GET /live?ch=101&sid=" + sid + "&channelid=101 HTTP/1.1\r\nHost: x\r\n\r\n";
    auto open_stream = [&] {
        int fd = connect_to(s.port);
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        pollfd p = {fd, POLLIN, 0};
        EXPECT_EQ(poll(&p, 1, 20000), 1) << "the stream's answer";
        return fd;
    };
    auto times_logged = [&](const std::string& line) {
        std::string log = read_file(s.log);
        size_t n = 0;
        for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++n;
        return n;
    };
    auto logged = [&](const std::string& line, size_t times) {
        for (int i = 0; i < 100 && times_logged(line) < times; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return times_logged(line) >= times;
    };
    std::string counted = "STREAM OPEN sid=" + sid + " open=";
    int first = open_stream();
    int second = open_stream();
    EXPECT_TRUE(logged(counted + "2", 1));
    close(first);
    close(second);
    EXPECT_TRUE(logged("STREAM CLOSED sid=" + sid + " open=0", 1));

    first = open_stream();
    close(first);
    second = open_stream();
    close(second);
    EXPECT_TRUE(logged("STREAM CLOSED sid=" + sid + " open=0", 3));
    EXPECT_EQ(times_logged(counted + "1"), 3u);
    EXPECT_EQ(times_logged(counted + "2"), 1u);
}

// A redirect fault sends the player elsewhere: to the given location, or to
// the same stream here, which is then served.
TEST(StandinServer, StreamRedirectsToTheGivenLocationOrToItself) {
    running_service s;
    std::string sid = field_after(talk(s.port, s.line(ivan + "account\x01info")).bytes, "sessionid");
    std::string path = "/live?ch=101&sid=" + sid + "&channelid=101";

    s.set_faults("stream=redirect:file:///etc/hostname");
    std::string got = stream_get(s.port, path, 4096, 5000);
    EXPECT_EQ(got.rfind("HTTP/1.0 302 Found\r\n", 0), 0u) << got;
    EXPECT_NE(got.find("\r\nLocation: file:///etc/hostname\r\n"), std::string::npos) << got;

    s.set_faults("stream=redirect");
    got = stream_get(s.port, path, 4096, 5000);
    std::string self = "\r\nLocation: http://127.0.0.1:" + std::to_string(s.port) + path + "&moved=1\r\n";
    EXPECT_NE(got.find(self), std::string::npos) << got;
    got = stream_get(s.port, path + "&moved=1", 188 * 10, 20000);
    EXPECT_EQ(got.rfind("HTTP/1.0 200", 0), 0u) << got.substr(0, 80);
}

TEST(StandinServer, StoppingEndsEveryStream) {
    running_service s;
    std::string sid = field_after(talk(s.port, s.line(ivan + "account\x01info")).bytes, "sessionid");
    int ffmpeg_before = count_processes("ffmpeg");
    int fd = connect_to(s.port);
    std::string req = "GET /live?ch=102&sid=" + sid + "&channelid=102 HTTP/1.1\r\n\r\n";
    send(fd, req.data(), req.size(), MSG_NOSIGNAL);
    char buf[4096];
    pollfd p = {fd, POLLIN, 0};
    ASSERT_GT(poll(&p, 1, 10000), 0);
    EXPECT_GT(recv(fd, buf, sizeof buf, 0), 0);
    int status = s.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(fd);
    for (int i = 0; i < 40 && count_processes("ffmpeg") > ffmpeg_before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(count_processes("ffmpeg"), ffmpeg_before);
}

TEST(StandinServer, ChannelsOnAirRunWithoutViewersUntilTheServiceStops) {
    char dir[] = "/tmp/tvservice-air.XXXXXX";
    std::string folder = mkdtemp(dir);
    std::string data = folder + "/two.yaml";
    std::ofstream(data) << "charge: \"0.01\"\n"
                           "accounts:\n"
                           "  - {user: ivan, password: \"1234\", uid: \"1\", first_name: И, last_name: П, credit: \"1.00\"}\n"
                           "channels:\n"
                           "  - {id: \"1\", name: Едно, price: \"1\", lock: \"0\", genre: news, pattern: testsrc, tone: 440}\n"
                           "  - {id: \"2\", name: Две, price: \"1\", lock: \"0\", genre: news, pattern: testsrc2, tone: 523}\n";
    int ffmpeg_before = count_processes("ffmpeg");
    running_service s({"--data", data, "--on-air"});
    ASSERT_NE(s.port, 0);
    EXPECT_EQ(count_processes("ffmpeg"), ffmpeg_before + 2);

    // A viewer comes and goes; its channel stays on air.
    std::string sid = field_after(talk(s.port, s.line(ivan + "account\x01info")).bytes, "sessionid");
    std::string got = stream_get(s.port, "/live?ch=2&sid=" + sid + "&channelid=2", 188 * 50, 20000);
    EXPECT_EQ(got.rfind("HTTP/1.0 200", 0), 0u) << got.substr(0, 40);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(count_processes("ffmpeg"), ffmpeg_before + 2);

    int status = s.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int i = 0; i < 40 && count_processes("ffmpeg") > ffmpeg_before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(count_processes("ffmpeg"), ffmpeg_before);
    std::filesystem::remove_all(folder);
}

// A broadcast-like channel serves what an operator sends: H.264 1920x1080,
// interlaced top field first, with B-frames (its clip encoded at the start).
TEST(StandinServer, ABroadcastLikeChannelIsH264InterlacedInHighDefinition) {
    char dir[] = "/tmp/tvservice-hd.XXXXXX";
    std::string folder = mkdtemp(dir);
    std::string data = folder + "/hd.yaml";
    std::ofstream(data) << "accounts:\n"
                           "  - {user: ivan, password: \"1234\", uid: \"1\", first_name: И, last_name: П, credit: \"1.00\"}\n"
                           "channels:\n"
                           "  - {id: \"7\", name: HD, price: \"1\", pattern: testsrc2, broadcast: true}\n";
    running_service s({"--data", data});
    ASSERT_NE(s.port, 0);
    std::string sid = field_after(talk(s.port, s.line(ivan + "account\x01info")).bytes, "sessionid");
    std::string got = stream_get(s.port, "/live?ch=7&sid=" + sid + "&channelid=7", 188 * 4000, 20000);
    size_t body = got.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    std::string clip = folder + "/got.ts";
    std::ofstream(clip, std::ios::binary) << got.substr(body + 4);
    FILE* p = popen(("ffprobe -v error -select_streams v -show_entries stream=codec_name,width,height,field_order,"
                     "has_b_frames -of compact " + clip).c_str(), "r");
    std::string probed;
    char piece[256];
    while (p != nullptr && fgets(piece, sizeof piece, p) != nullptr) probed += piece;
    if (p != nullptr) pclose(p);
    for (const char* want : {"codec_name=h264", "width=1920", "height=1080", "field_order=tt", "has_b_frames=2"})
        EXPECT_NE(probed.find(want), std::string::npos) << want << " in " << probed;
    std::filesystem::remove_all(folder);
}

// A number from /proc/<pid>/status ("Threads", "VmRSS" in KiB).
long proc_status(pid_t pid, const std::string& key) {
    std::string text = read_file("/proc/" + std::to_string(pid) + "/status");
    size_t at = text.find("\n" + key + ":");
    return at == std::string::npos ? -1 : atol(text.c_str() + at + key.size() + 2);
}

size_t open_descriptors(pid_t pid) {
    std::error_code ignored;
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored);
         it != std::filesystem::directory_iterator(); it.increment(ignored))
        ++n;
    return n;
}

// Milliseconds a version request takes, or -1 when it gets no "0.03".
long version_ms(const running_service& s) {
    auto start = std::chrono::steady_clock::now();
    exchange_result r = talk(s.port, s.line("version"), 1500);
    long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    return r.bytes == "0.03" && r.closed ? ms : -1;
}

// 2000 idle connections and 20 viewers that never read cost no thread each:
// the service keeps answering at once, and lets them all go within its time
// limits (10 s for a request line, 10 s without progress for a viewer).
TEST(StandinServer, IdleConnectionsAndStuckViewersCostNoThreads) {
    running_service s;
    ASSERT_NE(s.port, 0);
    std::string sid = field_after(talk(s.port, s.line(ivan + "account\x01info")).bytes, "sessionid");
    size_t fds_before = open_descriptors(s.pid);
    int ffmpeg_before = count_processes("ffmpeg");

    std::vector<int> clients;
    for (int i = 0; i < 2000; ++i) {
        int fd = connect_to(s.port);
        ASSERT_GE(fd, 0) << "connection " << i;
        clients.push_back(fd);
    }
    for (int i = 0; i < 20; ++i) {
        int fd = connect_to(s.port);
        ASSERT_GE(fd, 0);
        int small = 4096;  // fills at once: the viewer is stuck
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        std::string id = std::to_string(101 + i % 4);
        std::string req = "GET /live?ch=" + id + "&sid=" + sid + "&channelid=" + id + " HTTP/1.1\r\n\r\n";
        send(fd, req.data(), req.size(), MSG_NOSIGNAL);
        clients.push_back(fd);
    }
    long most_threads = 0;
    long slowest = 0;
    long most_rss = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (std::chrono::steady_clock::now() < until) {
        long ms = version_ms(s);
        EXPECT_GE(ms, 0) << "no version answer under the load";
        slowest = std::max(slowest, ms);
        most_threads = std::max(most_threads, proc_status(s.pid, "Threads"));
        most_rss = std::max(most_rss, proc_status(s.pid, "VmRSS"));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    printf("under 2000 idle connections and 20 stuck viewers: %ld threads at most, slowest version answer "
           "%ld ms, %ld KiB resident at most\n", most_threads, slowest, most_rss);
    EXPECT_LT(slowest, 1000);
    EXPECT_LE(most_threads, 4 + 4) << "four workers and a handful";
    EXPECT_GT(open_descriptors(s.pid), fds_before + 2000);

    // The service ends them all within its limits, before the clients go.
    auto released = [&] { return open_descriptors(s.pid) <= fds_before + 2; };
    until = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    while (!released() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(released()) << open_descriptors(s.pid) << " descriptors open, " << fds_before << " before";
    for (int fd : clients) close(fd);
    until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (count_processes("ffmpeg") > ffmpeg_before && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(count_processes("ffmpeg"), ffmpeg_before) << "the stuck viewers' encoders end with them";
    EXPECT_GE(version_ms(s), 0);
}

// Beyond its cap a connection is accepted, closed at once and counted.
TEST(StandinServer, ConnectionsBeyondTheCapAreClosedAndCounted) {
    running_service s({"--max-connections", "50"});
    ASSERT_NE(s.port, 0);
    std::vector<int> clients;
    for (int i = 0; i < 50; ++i) clients.push_back(connect_to(s.port));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int beyond = connect_to(s.port);
    pollfd p = {beyond, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 3000), 1);
    char c;
    EXPECT_EQ(recv(beyond, &c, 1, 0), 0) << "closed at once";
    close(beyond);
    EXPECT_NE(read_file(s.log).find("REFUSED (50 connections open) 1 so far"), std::string::npos);
    for (int fd : clients) close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GE(version_ms(s), 0) << "below the cap again";
}

}  // namespace
