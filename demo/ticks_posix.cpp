#include "demo/ticks.h"

#include <ctime>

// CLOCK_MONOTONIC never jumps with the wall clock; its milliseconds are
// kept modulo 2^32.
uint32_t tickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}
