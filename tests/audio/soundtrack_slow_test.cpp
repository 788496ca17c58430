// End to end: the generated soundtrack decodes whole and its --wav mix has
// the length and range a device would get.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "audio/aurix.h"
#include "tools/render/frame_audio.h"

TEST(Soundtrack, DecodesWholeAndMixesToTheEnd) {
    const std::string path = std::string(HAZELGLOW_BUILD_DATA_DIR) + "/hazelglow.ogg";
    if (FILE* probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        GTEST_SKIP() << path << " is not built";
    }
    Aurix::Wav soundtrack;
    ASSERT_EQ(soundtrack.loadFromPath(path.c_str()), Aurix::Success);
    EXPECT_EQ(soundtrack.channelCount, 2u);
    EXPECT_EQ(soundtrack.baseSampleRate, 44100.0f);
    const double seconds = soundtrack.sampleCount / 44100.0;
    EXPECT_GT(seconds, 178.0);
    EXPECT_LT(seconds, 180.0);

    const std::vector<int16_t> mix = mixSoundtrack(soundtrack);
    // 512-frame fetches until the voice is finished, in blocks of 4096 frames.
    const size_t fetches = (soundtrack.sampleCount + 511) / 512;
    const size_t blocks = (fetches + 7) / 8;
    ASSERT_EQ(mix.size(), blocks * 8192);
    const auto [low, high] = std::minmax_element(mix.begin(), mix.end());
    EXPECT_GE(*low, -30702);
    EXPECT_LE(*high, 30701);
    EXPECT_GT(*high, 1000);  // not silence
    // Past the last source frame (one frame late) the block is silent.
    for (size_t i = 2 * (size_t(soundtrack.sampleCount) + 1); i < mix.size(); ++i) ASSERT_EQ(mix[i], 0) << i;
}
