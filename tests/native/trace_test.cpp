// The benchmarks' event trace: whole lines from any thread, nothing written
// when it is off.
#include "base/trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(Trace, EventsFromManyThreadsAreWholeLinesInClockOrderPerThread) {
    char name[] = "/tmp/tvclient-trace.XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(trace_to(name));
    EXPECT_TRUE(trace_on());
    int64_t before = trace_clock_us();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            std::string event = "thread" + std::to_string(t);
            for (int i = 0; i < 200; ++i) trace_event(event.c_str());
        });
    }
    for (std::thread& t : threads) t.join();
    ASSERT_TRUE(trace_to(nullptr));
    EXPECT_FALSE(trace_on());
    trace_event("after");  // off: not written

    std::vector<std::string> lines = lines_of(name);
    ASSERT_EQ(lines.size(), 800u);
    std::map<std::string, long long> last;
    for (const std::string& line : lines) {
        std::istringstream in(line);
        long long at = 0;
        std::string event, rest;
        ASSERT_TRUE(in >> at >> event) << line;
        EXPECT_FALSE(in >> rest) << line;
        EXPECT_GE(at, before);
        EXPECT_GE(at, last[event]) << line;
        last[event] = at;
    }
    EXPECT_EQ(last.size(), 4u);
    remove(name);
}

TEST(Trace, AFileThatCannotBeOpenedTurnsTracingOff) {
    EXPECT_FALSE(trace_to("/nonexistent-folder/trace"));
    EXPECT_FALSE(trace_on());
    trace_event("nowhere");
}

}  // namespace
