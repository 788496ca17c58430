// Scenes 1 and 9: the sign of two nested sine terms on a grid that twists
// with time and along the screen diagonal, in black and white.
#include <cmath>

#include "effects/effects.h"
#include "effects/twist.h"

void DrawTwistedPattern(int32_t e) {
    const double E = static_cast<double>(e);
    drawTwisted(e, [E](float u, float v) {
        const double du = static_cast<double>(u);
        const double dv = static_cast<double>(v);
        const double a = std::sin((std::cos(std::sin(du * 0.02) * E * 0.001) * 10.0 + dv * 0.1) * 0.0234);
        const double b = std::sin((std::sin(std::cos(dv * 0.02) * E * 0.001) * 10.0 + du * 0.1) * 0.0234);
        // A not-a-number fails the test and gives black, as zero does.
        return static_cast<float>(a + b) > 0.0f ? 0xFFFFFFu : 0u;
    });
}
