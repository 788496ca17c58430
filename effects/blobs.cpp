#include <algorithm>
#include <cmath>

#include "effects/effects.h"

// Inverts a blob of 2r rows centred on (cx, cy): in the row at offset dy
// the span is 2r * sqrt(cos(1.57 dy / r)) wide, a little slimmer than a
// circle. The arithmetic is done in 64 bits where huge arguments could
// overflow; every on-screen result is the same as in 32 bits.
void InvertBlob(int32_t cx, int32_t cy, int32_t r) {
    if (r <= 0) return;
    // Only rows 0..199 do any work; find the offsets i = dy + r that land there.
    const int64_t top = static_cast<int64_t>(cy) - r;
    const int64_t firstI = std::max<int64_t>(0, -top);
    const int64_t endI = std::min<int64_t>(2 * static_cast<int64_t>(r), ScreenHeight - top);
    const float radius = static_cast<float>(r);
    for (int64_t i = firstI; i < endI; ++i) {
        const int32_t dy = static_cast<int32_t>(i - r);
        const int32_t y = static_cast<int32_t>(top + i);
        const float a = (static_cast<float>(dy) * 1.57f) / radius;
        const float h =
            static_cast<float>(std::sqrt(static_cast<double>(static_cast<float>(std::cos(static_cast<double>(a))))));
        int64_t w = static_cast<int64_t>((h * radius) * 2.0f);
        int64_t x0 = static_cast<int64_t>(cx) - w / 2;
        if (x0 < 0) {
            w += x0;
            x0 = 0;
        }
        if (x0 + w >= ScreenWidth) w = ScreenWidth - x0;
        if (w <= 0) continue;
        uint32_t* span = FrameBuffer + y * ScreenWidth + x0;
        for (int64_t k = 0; k < w; ++k) span[k] ^= 0xFFFFFFu;
    }
}

// Seven blobs on one Lissajous path, each at a faster clock (about 1.2 times
// the one before), then a small sway and a grey fade that leaves trails.
void DrawBlobSwarm(int32_t e) {
    // 64 bits: the clock chain grows to about 3.6 e, which a 32-bit integer
    // cannot hold for very large e.
    int64_t b = e;
    for (int blob = 0; blob < 7; ++blob) {
        const double B = static_cast<double>(b);
        const int32_t r = static_cast<int32_t>(std::sin(B * 0.01) * 8.0 + 24.0);
        const int32_t cy = static_cast<int32_t>(std::cos(B * 0.00103) * 100.0 + 100.0);
        const int32_t cx = static_cast<int32_t>(std::sin(B * 0.00151) * 160.0 + 160.0);
        InvertBlob(cx, cy, r);
        b = static_cast<int64_t>(B * 1.2);
    }
    const float angle = static_cast<float>(std::sin(static_cast<double>(b) * 0.000423) * 0.02);
    RotateFrame(angle);
    FadeOut(0.97f);
}

// One large blob wandering on a sum of slow sine waves, then a grey fade.
void DrawBlobTrail(int32_t e) {
    const double E = static_cast<double>(e);
    const double d = std::sin(E * 0.00234);
    const int32_t r = static_cast<int32_t>((std::sin(E * 0.00032) + 2.0) * 30.0);
    const int32_t cy = static_cast<int32_t>(
        (((std::cos(E * 0.00243) + std::cos(E * 0.00254)) + d) + std::cos(E * 0.000134)) * 35.0 + 100.0);
    const int32_t cx =
        static_cast<int32_t>(((std::cos(E * 0.000234) + 2.0 * d) + std::sin(E * 0.00134)) * 50.0 + 160.0);
    InvertBlob(cx, cy, r);
    FadeOut(0.95f);
}
