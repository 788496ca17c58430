// In-memory image strips for the overlay and wipe tests, so they do not
// depend on the generated data files, and frames filled for the effects' tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "effects/buffers.h"

// A strip of k 320x200 RGBA frames, all unlit unless `lit` is set. It is
// installed into `target` (textStrip or wipeStrip) for the object's lifetime.
class ScopedStrip {
public:
    ScopedStrip(ImageStrip& target, int32_t frames, bool lit = false)
        : target_(target),
          saved_(target),
          bytes_(static_cast<size_t>(frames) * ImageStrip::FrameBytes, lit ? 0xFF : 0x00) {
        target_.pixels = bytes_.empty() ? nullptr : bytes_.data();
        target_.frameCount = frames;
    }
    ~ScopedStrip() { target_ = saved_; }
    ScopedStrip(const ScopedStrip&) = delete;
    ScopedStrip& operator=(const ScopedStrip&) = delete;

    // Sets the red byte of pixel (x, y) of frame k; only it decides "lit".
    // The other bytes are filled with noise that must be ignored.
    void set(int32_t k, int32_t x, int32_t y, bool lit) {
        uint8_t* p = bytes_.data() + static_cast<size_t>(k) * ImageStrip::FrameBytes +
                     (static_cast<size_t>(y) * ScreenWidth + static_cast<size_t>(x)) * 4;
        p[0] = lit ? 0x01 : 0x00;
        p[1] = 0xFF;
        p[2] = 0x80;
        p[3] = 0xFF;
    }
    void fillFrame(int32_t k, bool lit) {
        for (int32_t y = 0; y < ScreenHeight; ++y)
            for (int32_t x = 0; x < ScreenWidth; ++x) set(k, x, y, lit);
    }

private:
    ImageStrip& target_;
    ImageStrip saved_;
    std::vector<uint8_t> bytes_;
};

inline void fillFrameBuffer(uint32_t value) {
    for (uint32_t& word : FrameBuffer) word = value;
}

// A picture of every kind of word, top byte included.
inline void fillWithNoise(uint32_t seed) {
    std::mt19937 random(seed);
    for (uint32_t& word : FrameBuffer) word = static_cast<uint32_t>(random());
}
