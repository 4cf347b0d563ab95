#include "base/trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <atomic>

namespace {

// A spin lock: events are rare and short, and the Windows build's C++
// library has no std::mutex.
std::atomic_flag trace_busy = ATOMIC_FLAG_INIT;

struct trace_hold {
    trace_hold() {
        while (trace_busy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~trace_hold() { trace_busy.clear(std::memory_order_release); }
};
FILE* trace_file = nullptr;
bool environment_read = false;

// Under the lock: opens the file that the environment names, once.
void read_environment() {
    if (environment_read) return;
    environment_read = true;
    const char* path = getenv("TVCLIENT_TRACE");
    if (path != nullptr && path[0] != 0) trace_file = fopen(path, "a");
}

}  // namespace

int64_t trace_clock_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool trace_on() {
    trace_hold hold;
    read_environment();
    return trace_file != nullptr;
}

bool trace_to(const char* path) {
    trace_hold hold;
    environment_read = true;
    if (trace_file != nullptr) fclose(trace_file);
    trace_file = path != nullptr ? fopen(path, "a") : nullptr;
    return path == nullptr || trace_file != nullptr;
}

void trace_event(const char* name) {
    int64_t now = trace_clock_us();
    trace_hold hold;
    read_environment();
    if (trace_file == nullptr) return;
    fprintf(trace_file, "%lld %s\n", static_cast<long long>(now), name);
    fflush(trace_file);
}
