// The scene-change wipe: around each scene boundary one frame of the wipe
// strip masks the picture, black wherever the mask is dark.
#include <cmath>

#include "effects/effects.h"

void ApplyWipe(float t) {
    const int32_t n = wipeStrip.frameCount;
    if (wipeStrip.pixels == nullptr || n <= 0) return;

    const float scaled = static_cast<float>(static_cast<int64_t>(n) + 1) * t;
    const float k = static_cast<float>(std::floor(static_cast<double>(scaled)));
    // Compared before the conversion to an integer, so a huge or NaN time
    // simply finds no frame.
    if (!(k >= 0.0f) || static_cast<double>(k) >= static_cast<double>(n)) return;

    const uint8_t* red = wipeStrip.pixels + static_cast<size_t>(k) * ImageStrip::FrameBytes;
    for (int32_t i = 0; i < ScreenPixels; ++i)
        FrameBuffer[i] &= red[static_cast<size_t>(i) * 4] != 0 ? 0xFFFFFFFFu : 0u;
}
