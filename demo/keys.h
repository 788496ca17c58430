// The keyboard, polled without blocking. One file per platform (keys_posix.cpp).
#pragma once

#include <cstdint>

// The code of a pending key press, read without echo, or 0 when none is
// pending. All bytes waiting at once are one key press (a function key
// sends an escape sequence); its code is the first byte, 0x100 for NUL.
int32_t pollKey();
