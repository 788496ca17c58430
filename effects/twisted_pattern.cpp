// Scenes 1 and 9: the sign of two nested sine terms on a grid that twists
// with time and along the screen diagonal, in black and white.
#include <cmath>

#include "effects/effects.h"
#include "effects/twist.h"

void DrawTwistedPattern(int32_t e) {
    static TwistTable twist;  // static: no 4 KB on the stack per frame
    twist.fill(e);
    const double E = static_cast<double>(e);

    uint32_t* out = FrameBuffer;
    for (int y = 0; y < ScreenHeight; ++y) {
        const float Y = static_cast<float>(y - 100);
        const float* sRow = twist.sine + y;
        const float* cRow = twist.cosine + y;
        for (int x = 0; x < ScreenWidth; ++x) {
            const float X = static_cast<float>(x - 160);
            const float s = sRow[x];
            const float c = cRow[x];
            const float u = c * X - s * Y;
            const float v = c * Y + s * X;
            const double du = static_cast<double>(u);
            const double dv = static_cast<double>(v);
            const double a = std::sin((std::cos(std::sin(du * 0.02) * E * 0.001) * 10.0 + dv * 0.1) * 0.0234);
            const double b = std::sin((std::sin(std::cos(dv * 0.02) * E * 0.001) * 10.0 + du * 0.1) * 0.0234);
            // A not-a-number fails the test and gives black, as zero does.
            *out++ = static_cast<float>(a + b) > 0.0f ? 0xFFFFFFu : 0u;
        }
    }
}
