// Included before GoogleTest in the MinGW build of the Win32 tests. This
// MinGW's C++ library has Win32 threads and no std::mutex, on which
// GoogleTest builds only its Notification (a one-shot signal for its own
// threading tests); this one waits on an atomic flag instead.
#pragma once

#include <atomic>

extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : notified_(false) {}
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { notified_ = true; }
    void WaitForNotification() {
        while (!notified_) Sleep(1);
    }

private:
    std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing
