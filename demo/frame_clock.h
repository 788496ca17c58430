// The frame clock: which frame comes next and when it is shown.
//
// Which frame: frameTarget and t run exactly as they always did (t = 40 on
// the first frame and 40 more on each, whatever the real time taken).
// When: a frame is drawn once the tick count passes waitTarget(). Started
// on a tick, waitTarget() is frameTarget, the console demo's clock. Started
// from the sound, frame t is due at the moment the soundtrack's millisecond
// t is heard, and later observations of the sound move only that moment:
// when they disagree with the clock by more than DriftLimit (a device clock
// running apart from the system's, an underrun, a stopped process) the
// clock follows them. Pure arithmetic on ticks; the driver feeds it.
#pragma once

#include <cstdint>

#include "demo/pipeline.h"

class FrameClock {
public:
    static constexpr uint32_t FrameMilliseconds = FramePeriod;
    static constexpr int32_t DriftLimit = 10;  // milliseconds

    // Frame t is due when the tick count passes tick + t - 40.
    void startOnTick(uint32_t tick);
    // Frame t is due when the tick count reaches heardZero + t, heardZero
    // being the moment (tickNanoseconds) the soundtrack's first sample is heard.
    void startFromSound(uint64_t heardZero);
    // The sound says its first sample was heard at heardZero. Counts as a
    // disagreement when the clock's moment is more than DriftLimit away;
    // the clock moves to it on the second disagreement in a row, or on the
    // first when `trusted` (the frame loop found itself stopped). True when
    // it moved.
    bool observeSound(uint64_t heardZero, bool trusted);

    // The tick count to pass before the next frame.
    uint32_t waitTarget() const { return frameTarget_ + shift_; }
    // Takes the next frame: frameTarget += 40; returns its t.
    int32_t advance() {
        frameTarget_ += FrameMilliseconds;
        return static_cast<int32_t>(frameTarget_ - startTick_);
    }
    uint32_t startTick() const { return startTick_; }
    uint32_t frameTarget() const { return frameTarget_; }
    // Milliseconds the showing of frames has been moved since the start.
    int32_t shift() const { return static_cast<int32_t>(shift_); }
    bool followsSound() const { return followsSound_; }

private:
    uint32_t startTick_ = 0;
    uint32_t frameTarget_ = 0;
    uint32_t shift_ = 0;  // waitTarget - frameTarget, modulo 2^32
    bool followsSound_ = false;
    bool disagreed_ = false;
};

// The tick whose passing starts frame t = 40 when the soundtrack's first
// sample is heard at heardZero (tickNanoseconds): frame t starts at the
// start of millisecond heardZero + t, rounded to the nearest millisecond.
constexpr uint32_t startTickForSound(uint64_t heardZero) {
    return static_cast<uint32_t>((heardZero + 500000u) / 1000000u) + FrameClock::FrameMilliseconds - 1;
}
