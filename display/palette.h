// The classic 16-colour console palette, indexed by attribute nibble:
// bit 0 blue, bit 1 green, bit 2 red, bit 3 bright.
#pragma once

#include <cstdint>

struct Rgb {
    uint8_t r, g, b;
};

extern const Rgb ConsolePalette[16];
