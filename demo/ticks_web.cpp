// The tick count in the browser: the page's performance.now(), a monotonic
// millisecond clock, cut to 32 bits like the console's tick count.
#include "demo/ticks.h"

#include <emscripten/emscripten.h>

uint32_t tickCount() {
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}

uint64_t tickNanoseconds() {
    return static_cast<uint64_t>(emscripten_get_now() * 1e6);
}

// The page's frames run on animation callbacks, which test tickPassed and
// come back later; nothing in the browser edition blocks on this wait, so
// it only checks the clock, as the console's busy wait would.
uint64_t waitForTickPast(uint32_t target) {
    uint64_t now = tickNanoseconds();
    while (!tickPassed(static_cast<uint32_t>(now / 1000000u), target)) now = tickNanoseconds();
    const uint64_t moment = tickPassMoment(target, now);
    return now > moment ? now - moment : 0;
}
