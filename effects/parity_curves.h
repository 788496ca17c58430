// The two halves of the parity curves scene, for the scene and its tests:
// curves leave hit marks in the FrameBuffer, then each column is filled by
// the even-odd rule from the top.
#pragma once

#include <cstdint>

// Marks the curve point of column x (0..319) at row y: rows above the screen mark
// row 0, rows at or below 200 mark nothing. Marks add up.
void MarkCurvePoint(int32_t x, int32_t y);

// Replaces every word by 0x00FFFFFF where an odd number of marks lie at or
// above it in its column, else by 0.
void FillByParity();
