#include "demo/frame_clock.h"

void FrameClock::startOnTick(uint32_t tick) {
    startTick_ = tick;
    frameTarget_ = tick;
    shift_ = 0;
    followsSound_ = false;
    disagreed_ = false;
}

void FrameClock::startFromSound(uint64_t heardZero) {
    startOnTick(startTickForSound(heardZero));
    followsSound_ = true;
}

bool FrameClock::observeSound(uint64_t heardZero, bool trusted) {
    if (!followsSound_) return false;
    const auto drift = static_cast<int32_t>(startTickForSound(heardZero) - (startTick_ + shift_));
    if (drift >= -DriftLimit && drift <= DriftLimit) {
        disagreed_ = false;
        return false;
    }
    // One reading off may be a device's coarse answer; two in a row are not.
    if (!trusted && !disagreed_) {
        disagreed_ = true;
        return false;
    }
    disagreed_ = false;
    shift_ += static_cast<uint32_t>(drift);
    return true;
}
