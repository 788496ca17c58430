// What the POSIX console hands the key poll (demo/keys_posix.cpp).
#pragma once

#include <cstdint>

// A key typed while the console read the terminal's input (its answers at
// set-up, and everything while the terminal is the demo's), as pollKey()
// codes it, once; 0 when none was. Reads what is waiting first.
int32_t takeTypedKey();

// True while the console reads the key terminal's input itself: keys come
// from takeTypedKey() alone then.
bool consoleReadsKeys();
