// The rotation shared by the twisted pattern and the twisted fractal.
//
// Both effects rotate pixel (x, y) by an angle taken from the time
// t = e + 10 (x + y), so within one frame the angle depends on x + y alone:
// 519 diagonals instead of 64 000 pixels. The table holds, per diagonal,
// exactly the single-precision sine and cosine each pixel would compute.
//
// Both effects work a row at a time, on plain arrays, so that the compiler
// can vectorise their inner loops.
#pragma once

#include <cmath>
#include <cstdint>

#include "effects/buffers.h"

// On x86-64 Linux the vectorised kernels are built twice, for the baseline
// processor and for AVX2, and the loader picks the one the processor runs.
// Both do the same double operations in the same order (no fused
// multiply-add), so they give the same bits; other builds have the first.
// ThreadSanitizer's runtime is not up yet when the loader runs the choosing
// function, which then crashes the program before main: no clones there.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define TWIST_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define TWIST_KERNEL
#endif

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

// Fills the FrameBuffer a row at a time: row(u, v, out) gets the rotated,
// centred coordinates of the row's ScreenWidth pixels, in single precision,
// u = c X - s Y and v = c Y + s X with X = x - 160, Y = y - 100 and the angle
// of the pixel's diagonal at time e, and writes the row's colours to out.
template <typename Row>
void drawTwisted(int32_t e, Row&& row) {
    static TwistTable twist;  // static: no 4 KB on the stack per frame
    static float u[ScreenWidth];
    static float v[ScreenWidth];
    twist.fill(e);
    for (int y = 0; y < ScreenHeight; ++y) {
        const float Y = static_cast<float>(y - CentreY);
        const float* sRow = twist.sine + y;
        const float* cRow = twist.cosine + y;
        for (int x = 0; x < ScreenWidth; ++x) {
            const float X = static_cast<float>(x - CentreX);
            u[x] = cRow[x] * X - sRow[x] * Y;
            v[x] = cRow[x] * Y + sRow[x] * X;
        }
        row(static_cast<const float*>(u), static_cast<const float*>(v), FrameBuffer + y * ScreenWidth);
    }
}

// The row kernels behind DrawTwistedPattern and DrawTwistedFractal, open to
// the tests. Each colours n pixels from their rotated coordinates u[i], v[i].

// The pattern at time e. Returns how many pixels were too close to the
// black/white boundary for the fast evaluation and took the exact one.
int TwistedPatternRow(const float* u, const float* v, int n, int32_t e, uint32_t* out);

// The pattern's colour of one pixel evaluated with the C library's sin and
// cos, exactly as written in the formula; what the fast path falls back to.
uint32_t TwistedPatternExact(float u, float v, int32_t e);

// The fast path's sums A + B of n <= ScreenWidth pixels, and the bound on
// their distance from the exact sums at time e.
void TwistedPatternFastSums(const float* u, const float* v, int n, int32_t e, double* sums);
double TwistedPatternBound(int32_t e);

// The fractal with distortion factors p and q (single-precision values
// widened to double).
void TwistedFractalRow(const float* u, const float* v, int n, double p, double q, uint32_t* out);
