#include "demo/ticks.h"

#include <windows.h>

// The console's own millisecond count; wraps about every 49.7 days.
uint32_t tickCount() {
    return static_cast<uint32_t>(GetTickCount());
}
