#include "demo/ticks.h"

#include <cerrno>
#include <ctime>

// CLOCK_MONOTONIC never jumps with the wall clock; its milliseconds are
// kept modulo 2^32.
uint64_t tickNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

uint32_t tickCount() {
    return static_cast<uint32_t>(tickNanoseconds() / 1000000u);
}

// Sleeps on the same clock until the moment the tick count passes the
// target, then confirms with the tick count; an early wake (a signal)
// sleeps again for what remains. A busy wait here kept a whole core hot.
uint64_t waitForTickPast(uint32_t target) {
    for (;;) {
        const uint64_t now = tickNanoseconds();
        const uint64_t due = tickPassMoment(target, now);
        if (tickPassed(static_cast<uint32_t>(now / 1000000u), target)) return now > due ? now - due : 0;
        timespec until{};
        until.tv_sec = static_cast<time_t>(due / 1000000000u);
        until.tv_nsec = static_cast<long>(due % 1000000000u);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {}
    }
}
