// Scenes 2 and 11: a two-tone escape-time fractal on the twisted grid, its
// squaring bent by two slowly oscillating factors.
#include <cmath>

#include "effects/effects.h"
#include "effects/twist.h"

namespace {

constexpr int StepLimit = 32;  // the counter starts at 1: at most 31 steps

// Colour of the grid point (ix, iy): white when it escapes after an odd
// counter value, black when it escapes after an even one or never.
inline uint32_t escapeColour(int32_t ix, int32_t iy, double p, double q) {
    const double cr = static_cast<double>(ix) * 0.016;
    const double ci = (static_cast<double>(iy) * 0.016) * 1.5;
    double zr = cr;
    double zi = ci;
    for (int n = 2;; ++n) {
        const double P = ((zi - zr) * p + zr) * zr;
        const double Q = ((zr - zi) * q + zi) * zi;
        const double R = P + Q;
        // The test looks at the magnitude of the old value; NaN escapes.
        if (!(R < 4.0)) return (n & 1) != 0 ? 0xFFFFFFFFu : 0u;
        if (n >= StepLimit) return 0u;
        const double nextZi = (zi * zr) * 2.0 + ci;
        zr = (P - Q) + cr;
        zi = nextZi;
    }
}

}  // namespace

void DrawTwistedFractal(int32_t e) {
    const double W = (static_cast<double>(e) * 3.14) * 2.0;
    const double p = static_cast<double>(static_cast<float>(std::sin(W * 4.999750012499375e-05)));
    const double q = static_cast<double>(static_cast<float>(std::sin(W * 3.3325557369947014e-05)));

    drawTwisted(e, [p, q](float u, float v) {
        const float U = u + 160.0f;
        const float V = v + 100.0f;
        // Truncation toward zero, so -1 < U < 0 still lands on column 0.
        const int32_t ix = static_cast<int32_t>(U) - 160;
        const int32_t iy = static_cast<int32_t>(V) - 100;
        return escapeColour(ix, iy, p, q);
    });
}
