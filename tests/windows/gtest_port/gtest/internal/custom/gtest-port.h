#pragma once
// GoogleTest's port hooks for the Windows test programs, found before its own
// (empty) file. The win32-threads MinGW toolchain has no std::mutex or
// std::condition_variable, which GoogleTest's Notification is made of; its
// locks and thread-local storage are Win32 already, and so is this one.
#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() {
        if (event_) CloseHandle(event_);
    }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace testing::internal
