// The frame clock: frames and their t as the console demo had them, shown
// when their moment of the soundtrack is heard, and moved only when the
// sound says it stands elsewhere.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "demo/frame_clock.h"
#include "demo/ticks.h"

namespace {

constexpr uint64_t Millisecond = 1000000u;

// The moments (ns) at which the next `count` frames start, and their t.
struct Frames {
    std::vector<uint64_t> starts;
    std::vector<int32_t> ts;
};
Frames take(FrameClock& clock, int count, uint64_t now) {
    Frames frames;
    for (int i = 0; i < count; ++i) {
        frames.starts.push_back(tickPassMoment(clock.waitTarget(), now));
        frames.ts.push_back(clock.advance());
    }
    return frames;
}

TEST(FrameClockOnTicks, FramesStartOnTheTicksAfterTheStart) {
    FrameClock clock;
    clock.startOnTick(5000);
    EXPECT_EQ(clock.waitTarget(), 5000u);
    const Frames frames = take(clock, 3, 5000 * Millisecond);
    EXPECT_EQ(frames.ts, (std::vector<int32_t>{40, 80, 120}));
    EXPECT_EQ(frames.starts, (std::vector<uint64_t>{5001 * Millisecond, 5041 * Millisecond, 5081 * Millisecond}));
    EXPECT_EQ(clock.frameTarget(), 5120u);
    // Without the sound there is nothing to follow.
    EXPECT_FALSE(clock.observeSound(9000 * Millisecond, true));
    EXPECT_EQ(clock.waitTarget(), 5120u);
}

TEST(FrameClockOnSound, FrameTStartsWhenMillisecondTIsHeard) {
    FrameClock clock;
    const uint64_t heardZero = 7000 * Millisecond + 300000;  // 7000.3 ms
    clock.startFromSound(heardZero);
    EXPECT_TRUE(clock.followsSound());
    const Frames frames = take(clock, 3, 6800 * Millisecond);
    EXPECT_EQ(frames.ts, (std::vector<int32_t>{40, 80, 120}));
    EXPECT_EQ(frames.starts, (std::vector<uint64_t>{7040 * Millisecond, 7080 * Millisecond, 7120 * Millisecond}));
    // Rounded to the nearest millisecond.
    clock.startFromSound(7000 * Millisecond + 600000);
    EXPECT_EQ(tickPassMoment(clock.waitTarget(), 6800 * Millisecond), 7041 * Millisecond);
}

TEST(FrameClockOnSound, SmallDisagreementsAndSingleReadingsLeaveItAlone) {
    FrameClock clock;
    const uint64_t heardZero = 1000 * Millisecond;
    clock.startFromSound(heardZero);
    const uint32_t target = clock.waitTarget();
    EXPECT_FALSE(clock.observeSound(heardZero + 10 * Millisecond, false));
    EXPECT_FALSE(clock.observeSound(heardZero - 10 * Millisecond, false));
    // One coarse answer 30 ms off, then one in step again: no move.
    EXPECT_FALSE(clock.observeSound(heardZero + 30 * Millisecond, false));
    EXPECT_FALSE(clock.observeSound(heardZero, false));
    EXPECT_FALSE(clock.observeSound(heardZero + 30 * Millisecond, false));
    EXPECT_EQ(clock.waitTarget(), target);
    EXPECT_EQ(clock.shift(), 0);
}

TEST(FrameClockOnSound, DriftMovesWhenFramesAppearNotWhichOrTheirT) {
    FrameClock clock;
    const uint64_t heardZero = 1000 * Millisecond;
    clock.startFromSound(heardZero);
    const Frames before = take(clock, 10, 900 * Millisecond);
    const uint32_t frameTarget = clock.frameTarget();
    // The device clock runs 12 ms behind the system's, twice in a row.
    EXPECT_FALSE(clock.observeSound(heardZero + 12 * Millisecond, false));
    EXPECT_TRUE(clock.observeSound(heardZero + 12 * Millisecond, false));
    EXPECT_EQ(clock.shift(), 12);
    EXPECT_EQ(clock.frameTarget(), frameTarget);  // the pipeline's tick is untouched
    const Frames after = take(clock, 2, 1300 * Millisecond);
    EXPECT_EQ(after.ts, (std::vector<int32_t>{440, 480}));
    EXPECT_EQ(after.starts[0], before.starts.back() + 52 * Millisecond);
    // Ahead of the clock (sound skipped forward): frames come sooner.
    EXPECT_FALSE(clock.observeSound(heardZero - 20 * Millisecond, false));
    EXPECT_TRUE(clock.observeSound(heardZero - 20 * Millisecond, false));
    EXPECT_EQ(clock.shift(), -20);
}

TEST(FrameClockOnSound, AfterAStopItGoesOnFromWhereTheSoundStood) {
    FrameClock clock;
    const uint64_t heardZero = 1000 * Millisecond;
    clock.startFromSound(heardZero);
    take(clock, 250, 900 * Millisecond);  // 10 s of frames
    // Stopped for 5 s: the sound stood still, so its first sample now
    // counts as heard 5 s later. One trusted reading moves the clock.
    EXPECT_TRUE(clock.observeSound(heardZero + 5000 * Millisecond, true));
    const Frames next = take(clock, 1, 15000 * Millisecond);
    EXPECT_EQ(next.ts[0], 10040);
    EXPECT_EQ(next.starts[0], heardZero + 5000 * Millisecond + 10040 * Millisecond);
}

TEST(FrameClockOnSound, RunsAcrossTheWrapOfTheTickCount) {
    FrameClock clock;
    const uint64_t heardZero = (uint64_t(1) << 32) * Millisecond - 60 * Millisecond;  // 60 ms before the wrap
    clock.startFromSound(heardZero);
    const Frames frames = take(clock, 3, heardZero - 100 * Millisecond);
    EXPECT_EQ(frames.ts, (std::vector<int32_t>{40, 80, 120}));
    EXPECT_EQ(frames.starts[1], heardZero + 80 * Millisecond);
    EXPECT_EQ(frames.starts[2], heardZero + 120 * Millisecond);
    EXPECT_FALSE(clock.observeSound(heardZero + 5 * Millisecond, false));
    EXPECT_EQ(clock.shift(), 0);
}

}  // namespace
