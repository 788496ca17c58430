// Fade in and fade out.
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "effects/effects.h"
#include "tests/effects/strip_fixture.h"

namespace {

using Picture = std::vector<uint32_t>;

Picture snapshot() {
    return Picture(FrameBuffer, FrameBuffer + ScreenPixels);
}

int32_t channelSum(uint32_t word) {
    return static_cast<int32_t>(((word >> 16) & 0xFF) + ((word >> 8) & 0xFF) + (word & 0xFF));
}

}  // namespace

TEST(FadeOut, FullLevelKeepsAThirdOfTheChannelSum) {
    FrameBuffer[0] = 0x00FFFFFFu;
    FrameBuffer[1] = 0xFFFFFFFFu;  // a text pixel: top byte ignored
    FrameBuffer[2] = 0x00010101u;  // s = 3
    FrameBuffer[3] = 0x00010100u;  // s = 2: 2 * 0.33333334f < 1
    FrameBuffer[4] = 0x00FF0000u;  // s = 255 -> 85
    FadeOut(1.0f);
    EXPECT_EQ(FrameBuffer[0], 0x00FFFFFFu);
    EXPECT_EQ(FrameBuffer[1], 0x00FFFFFFu);
    EXPECT_EQ(FrameBuffer[2], 0x00010101u);
    EXPECT_EQ(FrameBuffer[3], 0u);
    EXPECT_EQ(FrameBuffer[4], 0x00555555u);
}

TEST(FadeOut, GreyIsTheTruncatedSinglePrecisionProduct) {
    for (float level : {0.995f, 0.5f, 0.3f, 0.005f}) {
        fillWithNoise(1);
        const Picture before = snapshot();
        FadeOut(level);
        const float k = level / 3.0f;
        for (int32_t i = 0; i < ScreenPixels; ++i) {
            const uint32_t g = static_cast<uint32_t>(static_cast<float>(channelSum(before[i])) * k);
            ASSERT_EQ(FrameBuffer[i], g * 0x010101u) << "level=" << level << " i=" << i;
        }
    }
}

TEST(FadeOut, LevelsOutsideZeroToOneAreClamped) {
    fillWithNoise(2);
    const Picture before = snapshot();
    FadeOut(1.0f);
    const Picture full = snapshot();
    for (float level : {1.5f, 1e30f}) {
        std::copy(before.begin(), before.end(), FrameBuffer);
        FadeOut(level);
        EXPECT_EQ(snapshot(), full) << level;
    }
    for (float level : {0.0f, -0.005f, -1e30f, std::nanf("")}) {
        std::copy(before.begin(), before.end(), FrameBuffer);
        FadeOut(level);
        EXPECT_EQ(snapshot(), Picture(ScreenPixels, 0u)) << level;
    }
}

TEST(FadeIn, FullLevelExamples) {
    fillFrameBuffer(0xFFFFFFFFu);
    FadeIn(1.0f);
    EXPECT_EQ(snapshot(), Picture(ScreenPixels, 0x00FFFFFFu));

    fillFrameBuffer(0x00646464u);  // s = 300; pixel 0 has n = 0, f = 1/3
    FadeIn(1.0f);
    EXPECT_EQ(FrameBuffer[0], 0x00646464u);
}

TEST(FadeIn, SlantedBandsFollowFiftyOneTimesTheIndex) {
    for (float level : {0.005f, 0.3f, 0.75f, 0.995f, 1.0f}) {
        fillWithNoise(3);
        const Picture before = snapshot();
        FadeIn(level);
        const float b = (level / 3.0f) * 4.0f;
        for (int32_t i = 0; i < ScreenPixels; ++i) {
            const int32_t n = (51 * i) % 64000;
            const float f = (static_cast<float>(n) / 64000.0f + b) - 1.0f;
            int32_t v = static_cast<int32_t>(static_cast<float>(channelSum(before[i])) * f);
            v = std::clamp(v, 0, 255);
            ASSERT_EQ(FrameBuffer[i], static_cast<uint32_t>(v) * 0x010101u) << "level=" << level << " i=" << i;
        }
    }
}

TEST(FadeIn, LevelsOutsideZeroToOneAreClamped) {
    fillWithNoise(4);
    const Picture before = snapshot();
    FadeIn(1.0f);
    const Picture full = snapshot();
    std::copy(before.begin(), before.end(), FrameBuffer);
    FadeIn(4.0f);
    EXPECT_EQ(snapshot(), full);
    for (float level : {0.0f, -2.0f, std::nanf("")}) {
        std::copy(before.begin(), before.end(), FrameBuffer);
        FadeIn(level);
        EXPECT_EQ(snapshot(), Picture(ScreenPixels, 0u)) << level;
    }
}
