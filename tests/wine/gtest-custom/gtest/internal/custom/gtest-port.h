// GoogleTest with Debian's MinGW-w64, whose win32 thread model has no
// std::mutex or std::condition_variable: GoogleTest's Notification, used only
// by its own threading tests, gets a stand-in without them.
#pragma once

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    void Notify() { notified_ = true; }
    void WaitForNotification() {
        while (!notified_) {
        }
    }

private:
    volatile bool notified_ = false;
};

}  // namespace internal
}  // namespace testing
