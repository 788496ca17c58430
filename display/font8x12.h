// The 8x12 bitmap font: 256 glyphs of 12 row bytes, bit k of a row byte is
// pixel column k (column 0 at the left). Codes 32..126 are drawn; the rest
// are blank.
#pragma once

#include <cstdint>

inline constexpr int GlyphWidth = 8;
inline constexpr int GlyphHeight = 12;

extern const uint8_t Font8x12[256 * GlyphHeight];
