// User interface services on POSIX: there is no window system, so boxes go
// to stderr and the process's timer is checked whenever messages would be
// processed.
#include <chrono>
#include <cstdio>

#include "zrk/os/os.h"

namespace zrkos {

void CharToOem(char*) {}

void QuietErrorBoxes() {}

void MessageBoxTask(const char* text, const char* caption, int) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
}

int LoadOwnString(int, char* buf, int size) {
    if (size > 0) buf[0] = '\0';
    return -1;
}

namespace {

using Clock = std::chrono::steady_clock;
TimerCallback g_callback = nullptr;
bool g_armed = false;
Clock::time_point g_due;

}  // namespace

void PumpMessages() {
    if (g_armed && Clock::now() >= g_due) {
        g_armed = false;
        if (g_callback) g_callback();
    }
}

int TimerArm(long delayMs, TimerCallback callback) {
    g_callback = callback;
    g_armed = delayMs >= 0;
    if (g_armed) g_due = Clock::now() + std::chrono::milliseconds(delayMs);
    return 0;
}

void TimerShutdown() {
    g_armed = false;
    g_callback = nullptr;
}

}  // namespace zrkos
