// libFuzzer target: any bytes through the image-strip loader, as if they
// were wipe.png; whatever loads is read end to end the way the effects
// read it, so a size that slipped through shows up as a bad read.
#include <cstddef>
#include <cstdint>

#include <stb_image.h>

#include "effects/buffers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ImageStrip strip;
    if (!loadImageStripFromMemory(data, size, "wipe.png", strip)) return 0;
    if (strip.frameCount < 1 || strip.frameCount > MaxStripFrames) __builtin_trap();
    unsigned lit = 0;
    for (int32_t frame = 0; frame < strip.frameCount; ++frame)
        for (int32_t pixel = 0; pixel < ScreenPixels; pixel += 97) lit += strip.lit(frame, pixel);
    stbi_image_free(const_cast<uint8_t*>(strip.pixels));
    return lit == ~0u;
}
