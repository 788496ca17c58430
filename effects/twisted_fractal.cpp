// Scenes 2 and 11: a two-tone escape-time fractal on the twisted grid, its
// squaring bent by two slowly oscillating factors.
//
// One pixel's steps form a single chain of dependent multiplications and
// additions, so a pixel at a time leaves the processor waiting on each
// result. A row is therefore iterated in groups of neighbouring pixels, side
// by side, in loops the compiler vectorises. Every step is the same double
// arithmetic in the same order as for one pixel on its own, so the results
// are bit for bit the same; a pixel that has escaped keeps being stepped
// (its values go to infinity or not-a-number) but its counter stays.
#include <algorithm>
#include <cmath>

#include "effects/effects.h"
#include "effects/twist.h"

namespace {

constexpr int StepLimit = 32;  // the counter starts at 1: at most 31 steps
constexpr int Lanes = 16;      // pixels stepped side by side

// Colours of the grid points (ix[i], iy[i]), i < Lanes: white when the point
// escapes after an odd counter value, black when after an even one or never.
TWIST_KERNEL void escapeColours(const int32_t* ix, const int32_t* iy, double p, double q, uint32_t* out) {
    double cr[Lanes], ci[Lanes], zr[Lanes], zi[Lanes];
    // Integers of the width of a double, so that the compiler keeps them in
    // the same vector lanes: all ones until the point escapes, then 0; and
    // minus the number of escape tests passed, the escape coming at 2 + that.
    int64_t running[Lanes], passed[Lanes];
    for (int i = 0; i < Lanes; ++i) {
        cr[i] = static_cast<double>(ix[i]) * 0.016;
        ci[i] = (static_cast<double>(iy[i]) * 0.016) * 1.5;
        zr[i] = cr[i];
        zi[i] = ci[i];
        running[i] = -1;
        passed[i] = 0;
    }
    for (int n = 2; n <= StepLimit; ++n) {
        int64_t anyRunning = 0;
        for (int i = 0; i < Lanes; ++i) {
            const double P = ((zi[i] - zr[i]) * p + zr[i]) * zr[i];
            const double Q = ((zr[i] - zi[i]) * q + zi[i]) * zi[i];
            const double R = P + Q;
            // The test looks at the magnitude of the old value; NaN escapes.
            running[i] = R < 4.0 ? running[i] : 0;
            passed[i] += running[i];
            anyRunning |= running[i];
            const double nextZi = (zi[i] * zr[i]) * 2.0 + ci[i];
            zr[i] = (P - Q) + cr[i];
            zi[i] = nextZi;
        }
        if (anyRunning == 0) break;
    }
    for (int i = 0; i < Lanes; ++i) {
        // Passing all 31 tests is black, as an even escape counter is.
        const int64_t tests = -passed[i];
        out[i] = (tests & 1) != 0 && tests < StepLimit - 1 ? 0xFFFFFFFFu : 0u;
    }
}

}  // namespace

void TwistedFractalRow(const float* u, const float* v, int n, double p, double q, uint32_t* out) {
    constexpr int Chunk = ScreenWidth;  // a multiple of Lanes
    int32_t ix[Chunk], iy[Chunk];
    for (int start = 0; start < n; start += Chunk) {
        const int count = std::min(n - start, Chunk);
        for (int i = 0; i < count; ++i) {
            const float U = u[start + i] + 160.0f;
            const float V = v[start + i] + 100.0f;
            // Truncation toward zero, so -1 < U < 0 still lands on column 0.
            ix[i] = static_cast<int32_t>(U) - 160;
            iy[i] = static_cast<int32_t>(V) - 100;
        }
        const int whole = count - count % Lanes;
        for (int i = 0; i < whole; i += Lanes) escapeColours(ix + i, iy + i, p, q, out + start + i);
        if (whole == count) continue;
        // A short last group repeats its last pixel.
        for (int i = count; i < whole + Lanes; ++i) {
            ix[i] = ix[count - 1];
            iy[i] = iy[count - 1];
        }
        uint32_t colours[Lanes];
        escapeColours(ix + whole, iy + whole, p, q, colours);
        for (int i = whole; i < count; ++i) out[start + i] = colours[i - whole];
    }
}

void DrawTwistedFractal(int32_t e) {
    const double W = (static_cast<double>(e) * 3.14) * 2.0;
    const double p = static_cast<double>(static_cast<float>(std::sin(W * 4.999750012499375e-05)));
    const double q = static_cast<double>(static_cast<float>(std::sin(W * 3.3325557369947014e-05)));
    drawTwisted(
        e, [p, q](const float* u, const float* v, uint32_t* out) { TwistedFractalRow(u, v, ScreenWidth, p, q, out); });
}
