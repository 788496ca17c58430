// Halo geometry of the text overlay, shared with its tests.
#pragma once

#include <cstdint>

inline constexpr int HaloMinRadius = 4;
inline constexpr int HaloMaxRadius = 10;

// Width of halo row d (d = -r .. r-1) around a lit pixel of radius r,
// computed from scratch in the overlay's single-precision arithmetic.
int32_t haloRowWidth(int32_t r, int32_t d);

// The same widths, worked out once: 2r entries for d = -r .. r-1.
// r must lie in 4..10.
const int8_t* haloWidths(int32_t r);
