// The millisecond tick count the frame clock runs on: an unsigned 32-bit
// count that wraps about every 49.7 days, like the console's GetTickCount.
// One file per platform (ticks_posix.cpp).
#pragma once

#include <cstdint>

uint32_t tickCount();
