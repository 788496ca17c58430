// Nearest-sample resampling about the screen centre, shared by the frame
// rotation pass and the zoom feedback scene.
//
// Output pixel (x, y) is taken from the source at
//   U = (c * X[x] - s * Y[y]) + 160,  V = (s * X[x] + c * Y[y]) + 100
// in single precision, clamped to the screen and floored. X and Y are the
// centred column and row coordinates the caller supplies (already scaled for
// the zoom). The products c * X and s * X only depend on the column, so they
// are formed once per call: the same float multiplications as per pixel,
// hence the same bits.
#pragma once

#include <cstdint>

#include "effects/buffers.h"

namespace resample {

// floor() of a value already clamped to 0..319 or 0..199: for non-negative
// numbers truncation toward zero is the floor, and cheaper than the library
// call on every pixel.
inline int32_t floorClamped(float v) {
    return static_cast<int32_t>(v);
}

// Clamps a sample coordinate to 0..limit: below 0 becomes 0, at or above
// limit becomes limit.
inline float clampCoordinate(float v, float limit) {
    if (v < 0.0f) return 0.0f;
    if (v >= limit) return limit;
    return v;
}

// Resamples `source` into `target` (and into `copy` too when it is not null).
// `columns` holds X for x = 0..319, `rows` Y for y = 0..199.
inline void rotateAboutCentre(const uint32_t* source, uint32_t* target, uint32_t* copy, float s, float c,
                              const float (&columns)[ScreenWidth], const float (&rows)[ScreenHeight]) {
    float cX[ScreenWidth];
    float sX[ScreenWidth];
    for (int x = 0; x < ScreenWidth; ++x) {
        cX[x] = c * columns[x];
        sX[x] = s * columns[x];
    }
    for (int y = 0; y < ScreenHeight; ++y) {
        const float sY = s * rows[y];
        const float cY = c * rows[y];
        uint32_t* out = target + y * ScreenWidth;
        for (int x = 0; x < ScreenWidth; ++x) {
            const float u = clampCoordinate((cX[x] - sY) + static_cast<float>(CentreX), static_cast<float>(LastColumn));
            const float v = clampCoordinate((sX[x] + cY) + static_cast<float>(CentreY), static_cast<float>(LastRow));
            out[x] = source[floorClamped(v) * ScreenWidth + floorClamped(u)];
        }
        if (copy != nullptr) {
            uint32_t* mirror = copy + y * ScreenWidth;
            for (int x = 0; x < ScreenWidth; ++x) mirror[x] = out[x];
        }
    }
}

}  // namespace resample
