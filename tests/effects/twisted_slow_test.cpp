// The twisted pattern and the twisted fractal against their formulas on
// every frame the demo draws with them, and on many more times the
// functions allow.
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "effects/effects.h"
#include "effects/twist.h"
#include "tests/effects/twist_reference.h"

namespace {

std::vector<int32_t> everyFrameOf(std::initializer_list<int32_t> sceneStarts) {
    std::vector<int32_t> times;
    for (int32_t start : sceneStarts)
        for (int32_t e = start + 40; e <= start + 16000; e += 40) times.push_back(e);
    return times;
}

// Half of them with magnitudes like the demo's, half anywhere in 32 bits.
std::vector<int32_t> drawnTimes(int count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<int32_t> times;
    for (int i = 0; i < count; ++i) {
        const auto drawn = static_cast<int32_t>(random());
        times.push_back(i % 2 == 0 ? drawn % 400000 : drawn);
    }
    return times;
}

}  // namespace

TEST(TwistedPatternSlow, EveryDemoFrameMatchesTheFormula) {
    for (int32_t e : everyFrameOf({0, 128000})) {
        DrawTwistedPattern(e);
        ASSERT_EQ(countMismatches(patternPixel, e), 0) << "e=" << e;
    }
}

TEST(TwistedPatternSlow, DrawnTimesMatchTheFormula) {
    for (int32_t e : drawnTimes(200, 1)) {
        DrawTwistedPattern(e);
        ASSERT_EQ(countMismatches(patternPixel, e), 0) << "e=" << e;
    }
}

TEST(TwistedPatternSlow, FastSumsStayWithinTheirBound) {
    // Every rotated coordinate pair of a frame, at drawn times; the largest
    // error seen is printed as a share of the bound.
    std::vector<float> u(ScreenWidth), v(ScreenWidth);
    double sums[ScreenWidth];
    double worstShare = 0.0;
    for (int32_t e : drawnTimes(40, 2)) {
        const double bound = TwistedPatternBound(e);
        for (int32_t y = 0; y < ScreenHeight; ++y) {
            rotatedRow(e, y, u, v);
            TwistedPatternFastSums(u.data(), v.data(), ScreenWidth, e, sums);
            for (size_t i = 0; i < u.size(); ++i) {
                const double error = std::fabs(sums[i] - patternSum(u[i], v[i], e));
                ASSERT_LE(error, bound) << "e=" << e << " u=" << u[i] << " v=" << v[i];
                worstShare = std::max(worstShare, error / bound);
            }
        }
    }
    std::printf("largest error: %.3g of the bound\n", worstShare);
}

TEST(TwistedPatternSlow, DemoFramesTakeTheExactPathOnlyNowAndThen) {
    std::vector<float> u(ScreenWidth), v(ScreenWidth);
    uint32_t row[ScreenWidth];
    long exact = 0;
    const std::vector<int32_t> times = everyFrameOf({0, 128000});
    for (int32_t e : times)
        for (int32_t y = 0; y < ScreenHeight; ++y) {
            rotatedRow(e, y, u, v);
            exact += TwistedPatternRow(u.data(), v.data(), ScreenWidth, e, row);
        }
    std::printf("pixels on the exact path: %ld in %zu frames\n", exact, times.size());
    EXPECT_LT(exact, static_cast<long>(times.size()));
}

TEST(TwistedFractalSlow, EveryDemoFrameMatchesTheFormula) {
    for (int32_t e : everyFrameOf({16000, 160000})) {
        DrawTwistedFractal(e);
        ASSERT_EQ(countMismatches(fractalPixel, e), 0) << "e=" << e;
    }
}

TEST(TwistedFractalSlow, DrawnTimesMatchTheFormula) {
    for (int32_t e : drawnTimes(200, 3)) {
        DrawTwistedFractal(e);
        ASSERT_EQ(countMismatches(fractalPixel, e), 0) << "e=" << e;
    }
}
