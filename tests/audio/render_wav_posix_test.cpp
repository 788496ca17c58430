// hazelglow-render --wav on a soundtrack made here: a 16-bit stereo 44 100 Hz
// WAVE file holding exactly the mix a device would receive.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "audio/aurix.h"
#include "tests/audio/audio_support.h"
#include "tests/audio/ogg_support.h"
#include "tests/support/files.h"
#include "tools/render/frame_audio.h"

namespace {

uint32_t word32(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

uint16_t word16(const std::vector<uint8_t>& bytes, size_t at) {
    uint16_t value;
    std::memcpy(&value, bytes.data() + at, 2);
    return value;
}

// `ogg` as DIR/hazelglow.ogg, then hazelglow-render --data DIR --wav DIR/mix.wav
// with its standard error in DIR/errors.txt; the exit status.
int renderWav(const testfiles::TempDir& dir, const std::vector<uint8_t>& ogg) {
    std::ofstream((dir / "hazelglow.ogg").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(ogg.data()), std::streamsize(ogg.size()));
    const std::string command = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow-render --data " + dir.path().string() +
                                " --wav " + (dir / "mix.wav").string() + " 2>" + (dir / "errors.txt").string();
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(RenderWav, WritesTheDeviceMixOfTheSoundtrack) {
    const testfiles::TempDir dir("wav");
    std::vector<float> planar(2 * 30000);
    for (size_t i = 0; i < 30000; ++i) {
        planar[i] = float(0.7 * std::sin(double(i) * 0.05));
        planar[30000 + i] = float(0.2 * std::sin(double(i) * 0.013));
    }
    ASSERT_EQ(renderWav(dir, audiotest::makeOggVorbis(planar, 2, 44100)), 0) << testfiles::readFile(dir / "errors.txt");

    const std::string file = testfiles::readFile(dir / "mix.wav");
    const std::vector<uint8_t> bytes(file.begin(), file.end());
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
    EXPECT_EQ(word32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(word32(bytes, 16), 16u);
    EXPECT_EQ(word16(bytes, 20), 1u);  // PCM
    EXPECT_EQ(word16(bytes, 22), 2u);  // stereo
    EXPECT_EQ(word32(bytes, 24), 44100u);
    EXPECT_EQ(word32(bytes, 28), 176400u);
    EXPECT_EQ(word16(bytes, 32), 4u);
    EXPECT_EQ(word16(bytes, 34), 16u);
    EXPECT_EQ(std::memcmp(bytes.data() + 36, "data", 4), 0);
    ASSERT_EQ(word32(bytes, 40), bytes.size() - 44);

    Aurix::Wav soundtrack;
    ASSERT_EQ(soundtrack.loadFromPath((dir / "hazelglow.ogg").c_str()), Aurix::Success);
    const std::vector<int16_t> mix = mixSoundtrack(soundtrack);
    EXPECT_EQ(mix.size(), 8 * 8192u);  // 30 000 frames: 59 fetches of 512, in 8 blocks of 4096
    ASSERT_EQ(bytes.size() - 44, mix.size() * 2);
    EXPECT_EQ(std::memcmp(bytes.data() + 44, mix.data(), mix.size() * 2), 0);

    const std::string missing = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow-render --data " + dir.path().string() +
                                "/nowhere --wav " + (dir / "mix.wav").string() + " 2>/dev/null";
    EXPECT_NE(std::system(missing.c_str()), 0);
}

// 5 KB of noise a third of the way in: --wav refuses the soundtrack, names
// it and the second where it breaks, and writes nothing.
TEST(RenderWav, ADamagedSoundtrackIsRefusedWithTheSecond) {
    const testfiles::TempDir dir("wav");
    std::vector<float> planar(2 * 4 * 44100);
    uint32_t noise = 99;
    for (float& x : planar) {
        noise = noise * 1103515245u + 12345u;
        x = float(int(noise >> 16 & 0xFFF) - 2048) / 8192.0f;
    }
    std::vector<uint8_t> ogg = audiotest::makeOggVorbis(planar, 2, 44100);
    for (size_t i = ogg.size() / 3; i < ogg.size() / 3 + 5000 && i < ogg.size(); ++i) {
        noise = noise * 1103515245u + 12345u;
        ogg[i] = uint8_t(noise >> 16);
    }
    EXPECT_EQ(renderWav(dir, ogg), 2);
    const std::string errors = testfiles::readFile(dir / "errors.txt");
    const std::string expected = "hazelglow-render: " + (dir / "hazelglow.ogg").string() +
                                 ": cannot load the soundtrack: the sound stops decoding at ";
    EXPECT_EQ(errors.rfind(expected, 0), 0u) << errors;
    EXPECT_NE(errors.find(" s of its 4.0 s"), std::string::npos) << errors;
    EXPECT_FALSE(std::ifstream(dir / "mix.wav").good());
}
