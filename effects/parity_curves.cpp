#include "effects/parity_curves.h"

#include <cmath>
#include <cstring>

#include "effects/effects.h"

void MarkCurvePoint(int32_t x, int32_t y) {
    if (y < 0)
        ++FrameBuffer[x];
    else if (y < ScreenHeight)
        ++FrameBuffer[y * ScreenWidth + x];
}

// Row by row with one running sum per column: the column order of the rule,
// walked in memory order.
void FillByParity() {
    uint32_t sums[ScreenWidth] = {};
    for (int y = 0; y < ScreenHeight; ++y) {
        uint32_t* row = FrameBuffer + y * ScreenWidth;
        for (int x = 0; x < ScreenWidth; ++x) {
            sums[x] += row[x];
            row[x] = (sums[x] & 1u) != 0 ? 0x00FFFFFFu : 0u;
        }
    }
}

// Six wavy curves, one row per column each, filled by the even-odd rule
// into interlocking black and white bands, then swayed by a small angle.
void DrawParityCurves(int32_t e) {
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);

    const double E = static_cast<double>(e);
    const double a1 = std::sin(E * 0.0032);
    const double a2 = std::sin(E * 0.0053);
    const double a3 = std::sin(E * 0.0034);
    const double a4 = std::sin(E * 0.0045);
    const double a5 = std::sin(E * 0.0026);
    const double a6 = std::sin(E * 0.0047);

    // The time offsets of the terms, formed once per frame.
    const double e1a = E * 0.1, e1b = E * 0.05, e1c = E * 0.09, e1d = E * 0.009;
    const double e2a = E * 0.2, e2b = E * 0.01, e2c = E * 0.1, e2d = E * 0.011;
    const double e3a = E * 0.15, e3b = E * 0.01, e3c = E * 0.12, e3d = E * 0.013;
    const double e4a = E * 0.07, e4b = E * 0.03, e4c = E * 0.15, e4d = E * 0.01;
    const double e5a = E * 0.05, e5b = E * 0.08, e5c = E * 0.17, e5d = E * 0.016;
    const double e6a = E * 0.06, e6b = E * 0.09, e6c = E * 0.09, e6d = E * 0.014;

    auto row = [](double sum, double amplitude) { return static_cast<int32_t>(((sum * 40.0) * amplitude) + 100.0); };

    for (int32_t x = 0; x < ScreenWidth; ++x) {
        const double X = static_cast<double>(x);
        double s;
        s = ((std::cos((X - e1a) * 0.043) + std::sin((X + e1b) * 0.071)) - std::sin((X + e1c) * 0.0138)) -
            std::sin((X - e1d) * 0.00139);
        MarkCurvePoint(x, row(s, a1));
        s = ((std::sin((X + e2a) * 0.043) + std::cos((X - e2b) * 0.072)) + std::sin((X + e2c) * 0.0137)) +
            std::sin((X + e2d) * 0.0013);
        MarkCurvePoint(x, row(s, a2));
        s = ((std::sin((X + e3a) * 0.043) - std::sin((X + e3b) * 0.073)) - std::cos((X - e3c) * 0.0136)) +
            std::sin((X - e3d) * 0.00131);
        MarkCurvePoint(x, row(s, a3));
        s = ((std::sin((X + e4a) * 0.043) + std::sin((X - e4b) * 0.074)) - std::sin((X + e4c) * 0.0135)) +
            std::cos((X + e4d) * 0.00132);
        MarkCurvePoint(x, row(s, a4));
        s = ((std::sin((X - e5a) * 0.076) + std::sin((X + e5b) * 0.046)) - std::sin((X + e5c) * 0.0138)) +
            std::cos((X + e5d) * 0.00137);
        MarkCurvePoint(x, row(s, a5));
        s = ((std::sin((X - e6a) * 0.075) + std::sin((X + e6b) * 0.047)) - std::sin((X + e6c) * 0.0136)) +
            std::cos((X + e6d) * 0.00139);
        MarkCurvePoint(x, row(s, a6));
    }

    FillByParity();
    RotateFrame(static_cast<float>(std::sin(E * 0.0023) * 0.02));
}
