// What the POSIX console hands the key poll (demo/keys_posix.cpp).
#pragma once

#include <cstdint>

// A key typed while set-up read the terminal's answers, as pollKey()
// codes it, once; 0 when none was.
int32_t takeTypedKey();
