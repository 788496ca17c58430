// The twisted pattern and the twisted fractal.
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "effects/effects.h"
#include "effects/twist.h"
#include "tests/effects/strip_fixture.h"
#include "tests/effects/twist_reference.h"

namespace {

// Index of some pixel that samples grid point (ix, iy) at time e, or -1.
int32_t pixelOnGridPoint(int32_t e, int32_t ix, int32_t iy) {
    for (int32_t y = 0; y < ScreenHeight; ++y)
        for (int32_t x = 0; x < ScreenWidth; ++x) {
            const GridPoint g = fractalPoint(e, x, y);
            if (g.ix == ix && g.iy == iy) return y * ScreenWidth + x;
        }
    return -1;
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

namespace {

// Demo times of the scenes that draw an effect, every `step`-th frame.
std::vector<int32_t> sceneTimes(std::initializer_list<int32_t> sceneStarts, int32_t step) {
    std::vector<int32_t> times;
    for (int32_t start : sceneStarts)
        for (int32_t e = start + 40; e <= start + 16000; e += 40 * step) times.push_back(e);
    return times;
}

// Times the function allows beyond the demo's: both ends of the 32-bit
// range (where the per-pixel time wraps), zero, negatives, and a few drawn
// from a fixed seed.
std::vector<int32_t> farTimes(int drawn) {
    std::vector<int32_t> times = {INT32_MIN, INT32_MIN + 1, -1600, -40, 0, 1, 999999, INT32_MAX - 5000, INT32_MAX};
    std::mt19937 random(20261209);
    for (int i = 0; i < drawn; ++i) times.push_back(static_cast<int32_t>(random()));
    return times;
}

// A row of rotated coordinates from a fixed seed, |u|, |v| as large as the
// rotation makes them.
void randomRow(std::mt19937& random, std::vector<float>& u, std::vector<float>& v) {
    std::uniform_real_distribution<float> coordinate(-260.0f, 260.0f);
    for (size_t i = 0; i < u.size(); ++i) {
        u[i] = coordinate(random);
        v[i] = coordinate(random);
    }
}

}  // namespace

TEST(TwistedPattern, SampledDemoFramesMatchTheFormula) {
    for (int32_t e : sceneTimes({0, 128000}, 23)) {
        DrawTwistedPattern(e);
        ASSERT_EQ(countMismatches(patternPixel, e), 0) << "e=" << e;
    }
}

TEST(TwistedPattern, FarTimesMatchTheFormula) {
    for (int32_t e : farTimes(4)) {
        DrawTwistedPattern(e);
        ASSERT_EQ(countMismatches(patternPixel, e), 0) << "e=" << e;
    }
}

TEST(TwistedPattern, FastSumsStayWithinTheirBound) {
    std::mt19937 random(7);
    std::vector<float> u(ScreenWidth), v(ScreenWidth);
    double sums[ScreenWidth];
    std::vector<int32_t> times = farTimes(20);
    for (int32_t e : sceneTimes({0, 128000}, 97)) times.push_back(e);
    for (int32_t e : times) {
        randomRow(random, u, v);
        TwistedPatternFastSums(u.data(), v.data(), ScreenWidth, e, sums);
        const double bound = TwistedPatternBound(e);
        for (int i = 0; i < ScreenWidth; ++i)
            ASSERT_LE(std::fabs(sums[i] - patternSum(u[i], v[i], e)), bound)
                << "e=" << e << " u=" << u[i] << " v=" << v[i];
    }
}

TEST(TwistedPattern, SumsAtTheEdgeTakeTheExactPath) {
    // At e = 0 the terms are sin((10 + v 0.1) 0.0234) and sin(u 0.1 0.0234):
    // u = -(100 + v) puts A + B within a few roundings of 0, some just
    // above, some below, and u = -100, v = 0 exactly on it (black).
    std::vector<float> u, v;
    for (int k = -9600; k <= 9600; k += 37) {
        v.push_back(static_cast<float>(k) / 64.0f);
        u.push_back(-(100.0f + v.back()));
    }
    u.push_back(-100.0f);
    v.push_back(0.0f);
    ASSERT_EQ(patternSum(-100.0f, 0.0f, 0), 0.0);

    const int n = static_cast<int>(u.size());
    std::vector<uint32_t> out(u.size(), 0x12345678u);
    EXPECT_EQ(TwistedPatternRow(u.data(), v.data(), n, 0, out.data()), n);
    int white = 0;
    for (size_t i = 0; i < u.size(); ++i) {
        ASSERT_EQ(out[i], patternColour(u[i], v[i], 0)) << "u=" << u[i] << " v=" << v[i];
        white += out[i] != 0;
    }
    EXPECT_GT(white, 0);
    EXPECT_LT(white, n);
    EXPECT_EQ(out.back(), 0u);
}

TEST(TwistedPattern, DemoFramesRarelyNeedTheExactPath) {
    // The fast path must decide nearly every pixel, or it is no faster.
    int exact = 0, pixels = 0;
    std::vector<float> u(ScreenWidth), v(ScreenWidth);
    uint32_t row[ScreenWidth];
    for (int32_t e : sceneTimes({0, 128000}, 101))
        for (int32_t y = 0; y < ScreenHeight; ++y) {
            rotatedRow(e, y, u, v);
            exact += TwistedPatternRow(u.data(), v.data(), ScreenWidth, e, row);
            pixels += ScreenWidth;
        }
    EXPECT_LT(exact, pixels / 10000);
    EXPECT_LT(TwistedPatternBound(178000), 1e-7);
}

TEST(TwistedFractal, SampledDemoFramesMatchTheFormula) {
    for (int32_t e : sceneTimes({16000, 160000}, 23)) {
        DrawTwistedFractal(e);
        ASSERT_EQ(countMismatches(fractalPixel, e), 0) << "e=" << e;
    }
}

TEST(TwistedFractal, FarTimesMatchTheFormula) {
    for (int32_t e : farTimes(4)) {
        DrawTwistedFractal(e);
        ASSERT_EQ(countMismatches(fractalPixel, e), 0) << "e=" << e;
    }
}

TEST(TwistedFractal, RowsOfAnyLengthMatchTheFormula) {
    // Pixels are stepped in groups: rows that end inside a group, and rows
    // longer than the screen, must still give every pixel its own colour.
    std::mt19937 random(11);
    for (int n : {1, 15, 16, 17, 37, 320, 333, 700}) {
        std::vector<float> u(static_cast<size_t>(n)), v(static_cast<size_t>(n));
        randomRow(random, u, v);
        const Distortion k = distortionAt(static_cast<int32_t>(random()));
        std::vector<uint32_t> out(static_cast<size_t>(n) + 1, 0x12345678u);
        TwistedFractalRow(u.data(), v.data(), n, k.p, k.q, out.data());
        for (size_t i = 0; i < u.size(); ++i)
            ASSERT_EQ(out[i], escapeColour(gridPointOf(u[i], v[i]), k)) << "n=" << n << " i=" << i;
        EXPECT_EQ(out.back(), 0x12345678u) << "n=" << n;
    }
}
