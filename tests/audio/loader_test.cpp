// Loading sound files into a Wav: PCM WAVE in its accepted shapes and its
// broken ones, and Ogg Vorbis streams made here with libvorbisenc.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <vector>

#include "audio/aurix.h"
#include "tests/audio/audio_support.h"

using namespace Aurix;
using audiotest::loadBytes;
using audiotest::makeOggVorbis;
using audiotest::makeWave;
using audiotest::WaveShape;

namespace {

void expectEmpty(const Wav& wav) {
    EXPECT_EQ(wav.data, nullptr);
    EXPECT_EQ(wav.sampleCount, 0u);
}

std::vector<float> tone(uint32_t frames, uint32_t channels, uint32_t rate) {
    std::vector<float> planar(size_t(frames) * channels);
    for (uint32_t ch = 0; ch < channels; ++ch)
        for (uint32_t i = 0; i < frames; ++i)
            planar[size_t(ch) * frames + i] =
                float(0.4 * std::sin(2.0 * 3.141592653589793 * (220.0 * (ch + 1)) * i / rate));
    return planar;
}

// Largest difference between a decoded channel and the original, away from the ends.
float worstError(const Wav& wav, uint32_t channel, const std::vector<float>& planar, uint32_t frames) {
    float worst = 0.0f;
    for (uint32_t i = 1000; i + 1000 < frames; ++i)
        worst = std::max(worst, std::fabs(wav.data[size_t(channel) * wav.sampleCount + i] - planar[size_t(channel) * frames + i]));
    return worst;
}

// Ogg's page checksum: CRC-32, polynomial 0x04C11DB7, no reflection, zero start.
uint32_t oggCrc(const uint8_t* bytes, size_t length) {
    uint32_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= uint32_t(bytes[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

}  // namespace

TEST(WaveLoader, SixteenBitStereo) {
    WaveShape shape;
    shape.samples = {0, 16384, -32768, 32767, 100, -100};
    Wav wav;
    ASSERT_EQ(loadBytes(wav, makeWave(shape)), Success);
    EXPECT_EQ(wav.channelCount, 2u);
    EXPECT_EQ(wav.sampleCount, 3u);
    EXPECT_EQ(wav.baseSampleRate, 44100.0f);
    EXPECT_EQ(wav.data[0], 0.0f);
    EXPECT_EQ(wav.data[1], -1.0f);
    EXPECT_EQ(wav.data[2], 100.0f * 0.000030517578f);
    EXPECT_EQ(wav.data[3], 0.5f);
    EXPECT_EQ(wav.data[4], 32767.0f * 0.000030517578f);
}

TEST(WaveLoader, EightBitMonoIsUnsigned) {
    WaveShape shape;
    shape.channels = 1;
    shape.bits = 8;
    shape.rate = 22050;
    shape.samples = {128, 255, 0, 129};
    Wav wav;
    ASSERT_EQ(loadBytes(wav, makeWave(shape)), Success);
    EXPECT_EQ(wav.channelCount, 1u);
    EXPECT_EQ(wav.sampleCount, 4u);
    EXPECT_EQ(wav.baseSampleRate, 22050.0f);
    EXPECT_EQ(wav.data[0], 0.0f);
    EXPECT_EQ(wav.data[1], 0.9921875f);
    EXPECT_EQ(wav.data[2], -1.0f);
    EXPECT_EQ(wav.data[3], 0.0078125f);
}

TEST(WaveLoader, SixChannelsKeepTheFirstTwo) {
    WaveShape shape;
    shape.channels = 6;
    for (int frame = 0; frame < 4; ++frame)
        for (int ch = 0; ch < 6; ++ch) shape.samples.push_back((ch + 1) * 1000 + frame);
    Wav wav;
    ASSERT_EQ(loadBytes(wav, makeWave(shape)), Success);
    EXPECT_EQ(wav.channelCount, 2u);
    ASSERT_EQ(wav.sampleCount, 4u);
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(wav.data[i], float(1000 + i) * 0.000030517578f);
        EXPECT_EQ(wav.data[4 + i], float(2000 + i) * 0.000030517578f);
    }
}

TEST(WaveLoader, ListChunkIsSkippedAnyOtherChunkIsRefused) {
    WaveShape shape;
    shape.samples = {1, 2, 3, 4};
    shape.chunkBeforeData = "LIST";
    Wav wav;
    ASSERT_EQ(loadBytes(wav, makeWave(shape)), Success);
    EXPECT_EQ(wav.sampleCount, 2u);
    shape.chunkBeforeData = "fact";
    EXPECT_EQ(loadBytes(wav, makeWave(shape)), UnreadableContent);
    expectEmpty(wav);
}

TEST(WaveLoader, BrokenHeadersAreUnreadableAndLeaveTheWavEmpty) {
    WaveShape good;
    good.samples = std::vector<int32_t>(64, 7);
    Wav wav;
    auto refuse = [&](std::vector<uint8_t> bytes, const char* what) {
        ASSERT_EQ(loadBytes(wav, makeWave(good)), Success);
        EXPECT_EQ(loadBytes(wav, bytes), UnreadableContent) << what;
        expectEmpty(wav);
    };
    WaveShape shape = good;
    shape.channels = 0;
    refuse(makeWave(shape), "zero channels");
    shape = good;
    shape.rate = 0;
    refuse(makeWave(shape), "rate 0");
    shape.rate = Wav::MaxSampleRate + 1;
    refuse(makeWave(shape), "rate past a block per step");
    shape = good;
    shape.bits = 24;
    refuse(makeWave(shape), "24 bits");
    shape = good;
    shape.dataSizeOverride = 0xFFFFFFF0;
    refuse(makeWave(shape), "data size beyond the file");
    shape.dataSizeOverride = 130;
    refuse(makeWave(shape), "data size two bytes beyond the file");

    std::vector<uint8_t> bytes = makeWave(good);
    refuse(std::vector<uint8_t>(bytes.begin(), bytes.end() - 10), "truncated samples");
    refuse(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 30), "truncated header");
    bytes = makeWave(good);
    bytes[20] = 3;  // IEEE float format tag
    refuse(bytes, "not PCM");
    bytes = makeWave(good);
    bytes[16] = 18;  // format chunk of 18 bytes
    refuse(bytes, "long format chunk");
    bytes = makeWave(good);
    std::memcpy(bytes.data() + 8, "AVI ", 4);
    refuse(bytes, "not WAVE");

    shape = good;
    shape.chunkBeforeData = "LIST";
    bytes = makeWave(shape);
    const uint32_t hugeList = 0xFFFFFF00u;
    std::memcpy(bytes.data() + 40, &hugeList, 4);
    refuse(bytes, "LIST chunk larger than the file");

    refuse({'M', 'T', 'h', 'd', 0, 0}, "unknown tag");
    refuse({'R', 'I'}, "shorter than a tag");
}

TEST(WaveLoader, EmptyDataChunkLoadsAsAnEmptySource) {
    WaveShape shape;
    Wav wav;
    ASSERT_EQ(loadBytes(wav, makeWave(shape)), Success);
    expectEmpty(wav);
}

TEST(FileLoader, MissingPathAndAFileOnDisk) {
    Wav wav;
    EXPECT_EQ(wav.loadFromPath("/nonexistent/hazelglow.ogg"), CannotOpenFile);
    const std::string dir = audiotest::temporaryDirectory();
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/tone.wav";
    WaveShape shape;
    shape.channels = 1;
    shape.samples = {1000, 2000, 3000};
    const std::vector<uint8_t> bytes = makeWave(shape);
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    EXPECT_EQ(wav.loadFromPath(path.c_str()), Success);
    EXPECT_EQ(wav.sampleCount, 3u);
    std::remove(path.c_str());
    std::remove(dir.c_str());
}

TEST(VorbisLoader, StereoMonoAndMultichannelStreams) {
    struct Case {
        uint32_t channels, rate, frames;
    };
    for (const Case c : {Case{2, 44100, 30000}, Case{1, 22050, 12345}, Case{3, 48000, 20000}}) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels at " << c.rate);
        const std::vector<float> planar = tone(c.frames, c.channels, c.rate);
        const std::vector<uint8_t> ogg = makeOggVorbis(planar, c.channels, c.rate);
        ASSERT_FALSE(ogg.empty());
        Wav wav;
        ASSERT_EQ(loadBytes(wav, ogg), Success);
        EXPECT_EQ(wav.channelCount, c.channels > 1 ? 2u : 1u);
        EXPECT_EQ(wav.baseSampleRate, float(c.rate));
        EXPECT_EQ(wav.sampleCount, c.frames);
        EXPECT_LT(worstError(wav, 0, planar, c.frames), 0.05f);
        if (c.channels > 1) {
            EXPECT_LT(worstError(wav, 1, planar, c.frames), 0.05f);
        }
    }
}

TEST(VorbisLoader, DecodingStopsAtTheDeclaredLength) {
    const uint32_t frames = 30000;
    const std::vector<float> planar = tone(frames, 2, 44100);
    std::vector<uint8_t> ogg = makeOggVorbis(planar, 2, 44100);
    Wav full;
    ASSERT_EQ(loadBytes(full, ogg), Success);
    // Declare a shorter stream in the last page's granule position.
    size_t last = 0;
    for (size_t i = 0; i + 4 <= ogg.size(); ++i)
        if (std::memcmp(ogg.data() + i, "OggS", 4) == 0) last = i;
    const uint64_t declared = 20000;
    std::memcpy(ogg.data() + last + 6, &declared, 8);
    std::memset(ogg.data() + last + 22, 0, 4);
    const size_t pageLength = ogg.size() - last;
    const uint32_t crc = oggCrc(ogg.data() + last, pageLength);
    std::memcpy(ogg.data() + last + 22, &crc, 4);

    Wav cut;
    ASSERT_EQ(loadBytes(cut, ogg), Success);
    ASSERT_EQ(cut.sampleCount, 20000u);
    for (uint32_t i = 0; i < 20000; i += 97) {
        ASSERT_EQ(cut.data[i], full.data[i]) << i;
        ASSERT_EQ(cut.data[20000 + i], full.data[frames + i]) << i;
    }
}

TEST(VorbisLoader, DamagedStreamsAreUnreadable) {
    std::vector<uint8_t> ogg = makeOggVorbis(tone(5000, 1, 44100), 1, 44100);
    Wav wav;
    EXPECT_EQ(loadBytes(wav, std::vector<uint8_t>(ogg.begin(), ogg.begin() + 40)), UnreadableContent);
    expectEmpty(wav);
    // A comment header whose lengths run past its packet (the decoder would write past its buffers).
    const uint8_t commentHeader[] = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    auto at = std::search(ogg.begin(), ogg.end(), std::begin(commentHeader), std::end(commentHeader));
    ASSERT_NE(at, ogg.end());
    for (const uint32_t vendorLength : {0xFFFFFFFFu, 0x00FFFFFFu}) {
        std::vector<uint8_t> lying = ogg;
        std::memcpy(lying.data() + (at - ogg.begin()) + 7, &vendorLength, 4);
        EXPECT_EQ(loadBytes(wav, lying), UnreadableContent);
        expectEmpty(wav);
    }
    std::vector<uint8_t> garbage = {'O', 'g', 'g', 'S'};
    garbage.resize(300, 0xA5);
    EXPECT_EQ(loadBytes(wav, garbage), UnreadableContent);
    expectEmpty(wav);
}
