// The generated image strips as the build leaves them, for the data tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <stb_image.h>

#include "effects/buffers.h"

inline const std::string DataDir = HAZELGLOW_BUILD_DATA_DIR;

struct Strip {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> red;  // red byte of every pixel

    int frames() const { return height / ScreenHeight; }
    bool lit(int frame, int x, int y) const {
        return red[static_cast<size_t>(frame) * ScreenPixels + static_cast<size_t>(y) * ScreenWidth + x] != 0;
    }
    int litCount(int frame) const {
        const auto begin = red.begin() + static_cast<std::ptrdiff_t>(frame) * ScreenPixels;
        return static_cast<int>(std::count_if(begin, begin + ScreenPixels, [](uint8_t v) { return v != 0; }));
    }
};

inline Strip loadStrip(const std::string& name) {
    Strip strip;
    int channels = 0;
    stbi_uc* pixels = stbi_load((DataDir + "/" + name).c_str(), &strip.width, &strip.height, &channels, 4);
    if (pixels == nullptr) return strip;
    strip.red.resize(static_cast<size_t>(strip.width) * static_cast<size_t>(strip.height));
    for (size_t i = 0; i < strip.red.size(); ++i) strip.red[i] = pixels[4 * i];
    stbi_image_free(pixels);
    return strip;
}

inline const Strip& texts() {
    static const Strip strip = loadStrip("texts.png");
    return strip;
}

inline const Strip& wipe() {
    static const Strip strip = loadStrip("wipe.png");
    return strip;
}
