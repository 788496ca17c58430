// The tick count in the browser: the page's performance.now(), a monotonic
// millisecond clock, cut to 32 bits like the console's tick count.
#include "demo/ticks.h"

#include <emscripten/emscripten.h>

uint32_t tickCount() {
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}
