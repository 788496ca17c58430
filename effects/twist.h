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

// Fills the FrameBuffer in memory order with colour(u, v) of every pixel's
// rotated, centred coordinates, in single precision: u = c X - s Y and
// v = c Y + s X, with X = x - 160, Y = y - 100 and the angle of the pixel's
// diagonal at time e.
template <typename Colour>
void drawTwisted(int32_t e, Colour&& colour) {
    static TwistTable twist;  // static: no 4 KB on the stack per frame
    twist.fill(e);
    uint32_t* out = FrameBuffer;
    for (int y = 0; y < ScreenHeight; ++y) {
        const float Y = static_cast<float>(y - CentreY);
        const float* sRow = twist.sine + y;
        const float* cRow = twist.cosine + y;
        for (int x = 0; x < ScreenWidth; ++x) {
            const float X = static_cast<float>(x - CentreX);
            const float s = sRow[x];
            const float c = cRow[x];
            *out++ = colour(c * X - s * Y, c * Y + s * X);
        }
    }
}
