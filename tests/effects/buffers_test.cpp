#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <stb_image.h>

#include "effects/buffers.h"

namespace {

// A refused strip leaves the strip empty and names the file and the reason
// in the one line that stops start-up.
TEST(ImageStripLoad, RefusalsNameTheFileAndTheReason) {
    ImageStrip strip;
    strip.frameCount = 3;
    const std::string missing = testing::TempDir() + "/no_such_strip.png";
    Result loaded = loadImageStrip(missing.c_str(), strip);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(loaded.message(), missing + ": No such file or directory");
    EXPECT_EQ(strip.pixels, nullptr);
    EXPECT_EQ(strip.frameCount, 0);

    const std::string garbage = testing::TempDir() + "/not_a_strip.png";
    std::ofstream(garbage, std::ios::binary) << "no picture in here";
    loaded = loadImageStrip(garbage.c_str(), strip);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(loaded.message().rfind(garbage + ": not a PNG image", 0), 0u) << loaded.message();
    EXPECT_EQ(strip.pixels, nullptr);
}

TEST(ImageStripLoad, TheGeneratedStripsLoadWholeFrames) {
    ImageStrip strip;
    const std::string wipe = std::string(HAZELGLOW_BUILD_DATA_DIR) + "/wipe.png";
    const Result loaded = loadImageStrip(wipe.c_str(), strip);
    ASSERT_TRUE(loaded) << loaded.message();
    EXPECT_EQ(strip.frameCount, 24);
    EXPECT_NE(strip.pixels, nullptr);
    // The demo keeps its strips until exit; a test gives this one back.
    stbi_image_free(const_cast<uint8_t*>(strip.pixels));
}

}  // namespace
