// The twisted pattern and the twisted fractal.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "effects/effects.h"
#include "tests/effects/strip_fixture.h"

namespace {

struct Twist {
    float s, c;
};

// The rotation worked out for one pixel on its own, the way the picture is
// defined, to hold the effects' per-diagonal tables to it.
Twist twistAt(int32_t e, int32_t x, int32_t y) {
    const int32_t t = e + 10 * (x + y);
    const float a = static_cast<float>(t) / 1000.0f;
    return {static_cast<float>(std::sin(static_cast<double>(a))), static_cast<float>(std::cos(static_cast<double>(a)))};
}

uint32_t patternPixel(int32_t e, int32_t x, int32_t y) {
    const Twist r = twistAt(e, x, y);
    const float X = static_cast<float>(x - 160);
    const float Y = static_cast<float>(y - 100);
    const float u = r.c * X - r.s * Y;
    const float v = r.c * Y + r.s * X;
    const double E = e;
    const double A = std::sin(
        (std::cos(std::sin(static_cast<double>(u) * 0.02) * E * 0.001) * 10.0 + static_cast<double>(v) * 0.1) * 0.0234);
    const double B = std::sin(
        (std::sin(std::cos(static_cast<double>(v) * 0.02) * E * 0.001) * 10.0 + static_cast<double>(u) * 0.1) * 0.0234);
    return static_cast<float>(A + B) > 0.0f ? 0xFFFFFFu : 0u;
}

struct GridPoint {
    int32_t ix, iy;
};

GridPoint fractalPoint(int32_t e, int32_t x, int32_t y) {
    const Twist r = twistAt(e, x, y);
    const float X = static_cast<float>(x - 160);
    const float Y = static_cast<float>(y - 100);
    const float U = (r.c * X - r.s * Y) + 160.0f;
    const float V = (r.c * Y + r.s * X) + 100.0f;
    return {static_cast<int32_t>(U) - 160, static_cast<int32_t>(V) - 100};
}

struct Distortion {
    double p, q;
};

Distortion distortionAt(int32_t e) {
    const double W = (static_cast<double>(e) * 3.14) * 2.0;
    return {static_cast<float>(std::sin(W * 4.999750012499375e-05)),
            static_cast<float>(std::sin(W * 3.3325557369947014e-05))};
}

uint32_t fractalPixel(int32_t e, int32_t x, int32_t y) {
    const GridPoint g = fractalPoint(e, x, y);
    const Distortion k = distortionAt(e);
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

// Index of some pixel that samples grid point (ix, iy) at time e, or -1.
int32_t pixelOnGridPoint(int32_t e, int32_t ix, int32_t iy) {
    for (int32_t y = 0; y < ScreenHeight; ++y)
        for (int32_t x = 0; x < ScreenWidth; ++x) {
            const GridPoint g = fractalPoint(e, x, y);
            if (g.ix == ix && g.iy == iy) return y * ScreenWidth + x;
        }
    return -1;
}

int countMismatches(uint32_t (*pixel)(int32_t, int32_t, int32_t), int32_t e) {
    int mismatches = 0;
    for (int32_t y = 0; y < ScreenHeight; ++y)
        for (int32_t x = 0; x < ScreenWidth; ++x)
            if (FrameBuffer[y * ScreenWidth + x] != pixel(e, x, y)) ++mismatches;
    return mismatches;
}

constexpr int32_t Centre = 100 * ScreenWidth + 160;

}  // namespace

TEST(TwistedPattern, CentreOfTheFirstFrameIsWhite) {
    fillFrameBuffer(0);
    DrawTwistedPattern(40);
    EXPECT_EQ(FrameBuffer[Centre], 0xFFFFFFu);
}

TEST(TwistedPattern, TwoTonesWhateverTheBufferHeld) {
    for (int32_t e : {40, 8000, 16000, 128040, 144000}) {
        fillFrameBuffer(0x12345678u);
        DrawTwistedPattern(e);
        std::vector<uint32_t> first(FrameBuffer, FrameBuffer + ScreenPixels);
        int white = 0, black = 0;
        for (uint32_t word : first) {
            ASSERT_TRUE(word == 0u || word == 0xFFFFFFu) << "e=" << e << " word " << std::hex << word;
            (word == 0 ? black : white) += 1;
        }
        EXPECT_GT(white, 0) << "e=" << e;
        EXPECT_GT(black, 0) << "e=" << e;

        fillFrameBuffer(0xFFFFFFFFu);
        DrawTwistedPattern(e);
        EXPECT_EQ(std::memcmp(first.data(), FrameBuffer, sizeof FrameBuffer), 0) << "e=" << e;
    }
}

TEST(TwistedPattern, EveryPixelFollowsItsOwnRotation) {
    for (int32_t e : {40, 15960, 136000}) {
        DrawTwistedPattern(e);
        EXPECT_EQ(countMismatches(patternPixel, e), 0) << "e=" << e;
    }
}

TEST(TwistedFractal, CentreNeverEscapesAndIsBlack) {
    for (int32_t e : {16040, 24000, 31960, 160040, 176000}) {
        fillFrameBuffer(0x12345678u);
        DrawTwistedFractal(e);
        EXPECT_EQ(FrameBuffer[Centre], 0u) << "e=" << e;
    }
}

TEST(TwistedFractal, PointThatEscapesAtTheFirstStepIsBlack) {
    // Grid point (150, 0) is c = 2.4: R = 5.76 (1 - p) at the first step,
    // counter 2, black. At e = 27 316 the rotation is near a whole turn
    // where pixel (310, 100) samples it.
    int checked = 0;
    for (int32_t e = 16040; e <= 32000; e += 40) {
        const int32_t pixel = pixelOnGridPoint(e, 150, 0);
        const Distortion k = distortionAt(e);
        if (pixel < 0 || ((0.0 - 2.4) * k.p + 2.4) * 2.4 < 4.0) continue;
        fillFrameBuffer(0xFFFFFFFFu);
        DrawTwistedFractal(e);
        EXPECT_EQ(FrameBuffer[pixel], 0u) << "e=" << e;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(TwistedFractal, EscapeAtAnOddCountIsWhite) {
    // At e = 0 the distortion vanishes (p = q = 0): plain z <- z^2 + c from
    // z = c. c = 1.6 (grid point 100, 0) has |c|^2 = 2.56, then z = 4.16
    // escapes at counter 3: white. Any |c| >= 2 escapes at once: black.
    const int32_t white = pixelOnGridPoint(0, 100, 0);
    int32_t black = -1;
    for (int32_t i = 0; i < ScreenPixels && black < 0; ++i) {
        const GridPoint g = fractalPoint(0, i % ScreenWidth, i / ScreenWidth);
        const double cr = g.ix * 0.016, ci = (g.iy * 0.016) * 1.5;
        if (cr * cr + ci * ci >= 4.0) black = i;
    }
    ASSERT_GE(white, 0);
    ASSERT_GE(black, 0);
    fillFrameBuffer(0x00808080u);
    DrawTwistedFractal(0);
    EXPECT_EQ(FrameBuffer[white], 0xFFFFFFFFu);
    EXPECT_EQ(FrameBuffer[black], 0u);
}

TEST(TwistedFractal, OnlyBlackAndAllBitsWhiteWhateverTheBufferHeld) {
    for (int32_t e : {16040, 160040}) {
        fillFrameBuffer(0x00ABCDEFu);
        DrawTwistedFractal(e);
        std::vector<uint32_t> first(FrameBuffer, FrameBuffer + ScreenPixels);
        int white = 0;
        for (uint32_t word : first) {
            ASSERT_TRUE(word == 0u || word == 0xFFFFFFFFu) << "e=" << e << " word " << std::hex << word;
            white += word != 0;
        }
        EXPECT_GT(white, 0) << "e=" << e;
        fillFrameBuffer(0u);
        DrawTwistedFractal(e);
        EXPECT_EQ(std::memcmp(first.data(), FrameBuffer, sizeof FrameBuffer), 0) << "e=" << e;
    }
}

TEST(TwistedFractal, EveryPixelFollowsItsOwnRotation) {
    for (int32_t e : {16040, 27316, 175960}) {
        DrawTwistedFractal(e);
        EXPECT_EQ(countMismatches(fractalPixel, e), 0) << "e=" << e;
    }
}
