#include "demo/ticks.h"

#include <windows.h>

// The console's own millisecond count; wraps about every 49.7 days.
uint32_t tickCount() {
    return static_cast<uint32_t>(GetTickCount());
}

// The same count, unwrapped.
uint64_t tickNanoseconds() {
    return static_cast<uint64_t>(GetTickCount64()) * 1000000u;
}

// A busy wait with no sleep or yield: the console's tick count is coarse
// and Sleep(1) can oversleep by a whole scheduler quantum.
uint64_t waitForTickPast(uint32_t target) {
    uint32_t now = tickCount();
    while (!tickPassed(now, target)) now = tickCount();
    const uint64_t nanoseconds = tickNanoseconds();
    const uint64_t due = tickPassMoment(target, nanoseconds);
    return nanoseconds > due ? nanoseconds - due : 0;
}
