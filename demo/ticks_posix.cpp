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

namespace {

// The sleep ends this long before the tick and the rest is spun: a woken
// thread can wait a millisecond or more for a core, and half a millisecond
// of spinning per 40 ms frame costs about 1 % of one.
constexpr uint64_t WakeMargin = 500000u;  // ns

}  // namespace

// Sleeps on the same clock until just before the moment the tick count
// passes the target, then confirms with the tick count, spinning for what
// remains; an early wake (a signal) sleeps again. A busy wait for the whole
// frame kept a core hot.
uint64_t waitForTickPast(uint32_t target) {
    for (;;) {
        const uint64_t now = tickNanoseconds();
        const uint64_t due = tickPassMoment(target, now);
        if (tickPassed(static_cast<uint32_t>(now / 1000000u), target)) return now > due ? now - due : 0;
        if (due - now <= WakeMargin) continue;
        const uint64_t wake = due - WakeMargin;
        timespec until{};
        until.tv_sec = static_cast<time_t>(wake / 1000000000u);
        until.tv_nsec = static_cast<long>(wake % 1000000000u);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {}
    }
}
