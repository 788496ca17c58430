#include <gtest/gtest.h>

#include "demo/pipeline.h"
#include "demo/schedule.h"
#include "effects/effects.h"

TEST(Schedule, WindowsAreClosedAtBothEnds) {
    EXPECT_EQ(sceneIndexAt(16000), 0);
    EXPECT_EQ(sceneIndexAt(16040), 1);
    EXPECT_EQ(sceneIndexAt(176000), 10);
    EXPECT_EQ(sceneIndexAt(176040), -1);
    EXPECT_EQ(sceneIndexAt(0), -1);
    for (int i = 1; i < SceneCount; ++i) {
        EXPECT_EQ(sceneIndexAt(i * SceneLength), i - 1) << "last t of scene " << i;
        EXPECT_EQ(sceneIndexAt(i * SceneLength + 1), i) << "first t of scene " << i + 1;
    }
}

TEST(Schedule, TextsAndColourPassesChangeWithTheScene) {
    const Scene& first = Timeline[sceneIndexAt(16000)];
    const Scene& second = Timeline[sceneIndexAt(16040)];
    EXPECT_EQ(textFrameFor(first, 16000), 0);
    EXPECT_EQ(first.colourPass, nullptr);
    EXPECT_EQ(textFrameFor(second, 16040), 1);
    EXPECT_EQ(second.colourPass, &CyanFlashPass);
    EXPECT_EQ(textFrameFor(Timeline[5], 0), 2);
    EXPECT_EQ(textFrameFor(Timeline[10], 0), 5);
    for (int i : {2, 3, 4, 6, 8, 9}) EXPECT_EQ(textFrameFor(Timeline[i], 0), -1) << "scene " << i + 1;
}

// Scene 8's page comes from the absolute tick read as a signed number,
// divided with truncation toward zero; t plays no part.
TEST(Schedule, AlternatingTextFollowsTheSignedAbsoluteTick) {
    const Scene& scene8 = Timeline[sceneIndexAt(112040)];
    ASSERT_EQ(scene8.text, TextChoice::AlternateEachSecond);
    EXPECT_EQ(textFrameFor(scene8, 112040), 3);
    EXPECT_EQ(textFrameFor(scene8, 112999), 3);
    EXPECT_EQ(textFrameFor(scene8, 113000), 4);
    EXPECT_EQ(textFrameFor(scene8, 987654u + 112040u), 4);  // 1099 s
    // Past 2^31 the tick is negative: -2000 / 1000 = -2, an even page
    // (read unsigned it would be 4 294 965, odd).
    EXPECT_EQ(textFrameFor(scene8, static_cast<uint32_t>(-2000)), 3);
    // -2999 / 1000 truncates to -2 (floor would give -3, odd).
    EXPECT_EQ(textFrameFor(scene8, static_cast<uint32_t>(-2999)), 3);
    EXPECT_EQ(textFrameFor(scene8, static_cast<uint32_t>(-1999)), 4);
}

TEST(Pipeline, WipeAndFadeArgumentsAtTheirEdges) {
    EXPECT_EQ(wipeTimeAt(40), 0.54f);
    EXPECT_EQ(wipeTimeAt(15480), 15.98f);
    EXPECT_EQ(wipeTimeAt(15520), 0.02f);  // wraps 500 ms before the scene boundary
    // Weeks of running (no sound, no key): the clock keeps its phase.
    EXPECT_EQ(wipeTimeAt(2147483640), static_cast<float>((2147483640LL + 500) % 16000) / 1000.0f);
    EXPECT_EQ(fadeInLevelAt(7960), 0.995f);
    EXPECT_EQ(fadeOutLevelAt(170040), 0.995f);
    EXPECT_EQ(fadeOutLevelAt(178000), 0.0f);
    EXPECT_LT(fadeOutLevelAt(178040), 0.0f);  // FadeOut clamps it
}
