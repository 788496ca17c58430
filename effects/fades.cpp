// Fade in and fade out: the finished picture turned grey and dimmed, at the
// start of the demo in slanted bands, at its end evenly down to black.
#include "effects/effects.h"

namespace {

// Levels outside 0..1 act as the nearer end; a NaN level acts as 0.
inline float clampLevel(float t) {
    if (!(t > 0.0f)) return 0.0f;
    return t > 1.0f ? 1.0f : t;
}

// Red + green + blue of a pixel; the top byte is ignored.
inline int32_t channelSum(uint32_t word) {
    return static_cast<int32_t>(((word >> 16) & 0xFFu) + ((word >> 8) & 0xFFu) + (word & 0xFFu));
}

constexpr int32_t MaxChannelSum = 3 * 255;

}  // namespace

void FadeOut(float t) {
    const float k = clampLevel(t) / 3.0f;
    // The grey depends only on the channel sum: work out all 766 once.
    uint32_t grey[MaxChannelSum + 1];
    for (int32_t s = 0; s <= MaxChannelSum; ++s)
        grey[s] = static_cast<uint32_t>(static_cast<int32_t>(static_cast<float>(s) * k)) * 0x010101u;
    for (uint32_t& word : FrameBuffer) word = grey[channelSum(word)];
}

void FadeIn(float t) {
    const float b = (clampLevel(t) / 3.0f) * 4.0f;
    uint32_t* out = FrameBuffer;
    for (int32_t y = 0; y < ScreenHeight; ++y) {
        // n = 51 i mod 64 000 with i = 320 y + x: each row starts 16 320
        // further on and steps by 51, wrapping at most once in the row.
        int32_t n = (16320 * y) % ScreenPixels;
        for (int32_t x = 0; x < ScreenWidth; ++x, ++out) {
            const float f = (static_cast<float>(n) / 64000.0f + b) - 1.0f;
            int32_t v = static_cast<int32_t>(static_cast<float>(channelSum(*out)) * f);
            v = v < 0 ? 0 : (v > 255 ? 255 : v);
            *out = static_cast<uint32_t>(v) * 0x010101u;
            n += 51;
            if (n >= ScreenPixels) n -= ScreenPixels;
        }
    }
}
