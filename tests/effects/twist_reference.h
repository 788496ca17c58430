// The twisted pattern and the twisted fractal worked out for one pixel on
// its own, straight from their formulas with the C library's sin and cos,
// to hold the effects' per-diagonal tables, row kernels and fast paths to.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "effects/buffers.h"

struct Twist {
    float s, c;
};

inline Twist twistAt(int32_t e, int32_t x, int32_t y) {
    // The per-pixel time is a 32-bit counter: it wraps at the ends of e.
    const int32_t t = static_cast<int32_t>(static_cast<uint32_t>(e) + static_cast<uint32_t>(10 * (x + y)));
    const float a = static_cast<float>(t) / 1000.0f;
    return {static_cast<float>(std::sin(static_cast<double>(a))), static_cast<float>(std::cos(static_cast<double>(a)))};
}

struct Rotated {
    float u, v;
};

inline Rotated rotatedAt(int32_t e, int32_t x, int32_t y) {
    const Twist r = twistAt(e, x, y);
    const float X = static_cast<float>(x - 160);
    const float Y = static_cast<float>(y - 100);
    return {r.c * X - r.s * Y, r.c * Y + r.s * X};
}

// The rotated coordinates of row y's ScreenWidth pixels at time e.
inline void rotatedRow(int32_t e, int32_t y, std::vector<float>& u, std::vector<float>& v) {
    for (int32_t x = 0; x < ScreenWidth; ++x) {
        const Rotated r = rotatedAt(e, x, y);
        u[static_cast<size_t>(x)] = r.u;
        v[static_cast<size_t>(x)] = r.v;
    }
}

// A + B of the pattern for rotated coordinates (u, v) at time e.
inline double patternSum(float u, float v, int32_t e) {
    const double E = e;
    const double A = std::sin(
        (std::cos(std::sin(static_cast<double>(u) * 0.02) * E * 0.001) * 10.0 + static_cast<double>(v) * 0.1) * 0.0234);
    const double B = std::sin(
        (std::sin(std::cos(static_cast<double>(v) * 0.02) * E * 0.001) * 10.0 + static_cast<double>(u) * 0.1) * 0.0234);
    return A + B;
}

inline uint32_t patternColour(float u, float v, int32_t e) {
    return static_cast<float>(patternSum(u, v, e)) > 0.0f ? 0xFFFFFFu : 0u;
}

inline uint32_t patternPixel(int32_t e, int32_t x, int32_t y) {
    const Rotated r = rotatedAt(e, x, y);
    return patternColour(r.u, r.v, e);
}

struct GridPoint {
    int32_t ix, iy;
};

inline GridPoint gridPointOf(float u, float v) {
    const float U = u + 160.0f;
    const float V = v + 100.0f;
    return {static_cast<int32_t>(U) - 160, static_cast<int32_t>(V) - 100};
}

inline GridPoint fractalPoint(int32_t e, int32_t x, int32_t y) {
    const Rotated r = rotatedAt(e, x, y);
    return gridPointOf(r.u, r.v);
}

struct Distortion {
    double p, q;
};

inline Distortion distortionAt(int32_t e) {
    const double W = (static_cast<double>(e) * 3.14) * 2.0;
    return {static_cast<float>(std::sin(W * 4.999750012499375e-05)),
            static_cast<float>(std::sin(W * 3.3325557369947014e-05))};
}

inline uint32_t escapeColour(GridPoint g, Distortion k) {
    const double cr = static_cast<double>(g.ix) * 0.016;
    const double ci = (static_cast<double>(g.iy) * 0.016) * 1.5;
    double zr = cr, zi = ci;
    int n = 1;
    for (;;) {
        n = n + 1;
        const double P = ((zi - zr) * k.p + zr) * zr;
        const double Q = ((zr - zi) * k.q + zi) * zi;
        const double R = P + Q;
        const double zr2 = (P - Q) + cr;
        const double zi2 = (zi * zr) * 2.0 + ci;
        if (!(R < 4.0)) return n % 2 == 1 ? 0xFFFFFFFFu : 0u;
        if (n >= 32) return 0u;
        zr = zr2;
        zi = zi2;
    }
}

inline uint32_t fractalPixel(int32_t e, int32_t x, int32_t y) {
    return escapeColour(fractalPoint(e, x, y), distortionAt(e));
}

// Pixels of the FrameBuffer that differ from pixel(e, x, y).
inline int countMismatches(uint32_t (*pixel)(int32_t, int32_t, int32_t), int32_t e) {
    int mismatches = 0;
    for (int32_t y = 0; y < ScreenHeight; ++y)
        for (int32_t x = 0; x < ScreenWidth; ++x)
            if (FrameBuffer[y * ScreenWidth + x] != pixel(e, x, y)) ++mismatches;
    return mismatches;
}
