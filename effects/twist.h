// The rotation shared by the twisted pattern and the twisted fractal.
//
// Both effects rotate pixel (x, y) by an angle taken from the time
// t = e + 10 (x + y), so within one frame the angle depends on x + y alone:
// 519 diagonals instead of 64 000 pixels. The table holds, per diagonal,
// exactly the single-precision sine and cosine each pixel would compute.
#pragma once

#include <cmath>
#include <cstdint>

#include "effects/buffers.h"

inline constexpr int TwistDiagonals = ScreenWidth + ScreenHeight - 1;  // x + y = 0..518

struct TwistTable {
    float sine[TwistDiagonals];
    float cosine[TwistDiagonals];

    void fill(int32_t e) {
        for (int d = 0; d < TwistDiagonals; ++d) {
            // The time wraps like the 32-bit counter it is, never overflows.
            const int32_t t = static_cast<int32_t>(static_cast<uint32_t>(e) + static_cast<uint32_t>(10 * d));
            const float a = static_cast<float>(t) / 1000.0f;
            sine[d] = static_cast<float>(std::sin(static_cast<double>(a)));
            cosine[d] = static_cast<float>(std::cos(static_cast<double>(a)));
        }
    }
};
