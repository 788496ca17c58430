// Loading sound files into a Wav: PCM WAVE in its accepted shapes and its
// broken ones, from memory and from a file. The Ogg Vorbis streams, which
// need the encoder, are in vorbis_loader_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "audio/aurix.h"
#include "tests/audio/audio_support.h"
#include "tests/support/files.h"

using namespace Aurix;
using audiotest::expectEmpty;
using audiotest::loadBytes;
using audiotest::makeWave;
using audiotest::WaveShape;

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

// The other ways of writing 16-bit PCM: an 18-byte format chunk (an empty
// extension) and the extensible format with the PCM subtype.
TEST(WaveLoader, LongerFormatChunksOfPcmLoad) {
    WaveShape shape;
    shape.samples = {1000, -1000, 2000, -2000};
    for (const auto& [tag, size] : {std::pair{1u, 18u}, std::pair{0xFFFEu, 40u}}) {
        SCOPED_TRACE(testing::Message() << "format tag " << tag << ", chunk of " << size);
        shape.formatTag = tag;
        shape.formatChunkSize = size;
        Wav wav;
        ASSERT_EQ(loadBytes(wav, makeWave(shape)), Success) << wav.loadProblem;
        EXPECT_EQ(wav.channelCount, 2u);
        ASSERT_EQ(wav.sampleCount, 2u);
        EXPECT_EQ(wav.data[1], 2000.0f * 0.000030517578f);
        EXPECT_EQ(wav.data[3], -2000.0f * 0.000030517578f);
    }
}

// Files that parse but cannot be meant as a soundtrack, each refused before
// its samples are allocated, with what is wrong in words.
TEST(WaveLoader, FilesThatAreNotWhatTheyClaimAreRefusedWithTheReason) {
    struct Case {
        const char* what;
        WaveShape shape;
        const char* problem;
    };
    auto shaped = [](uint32_t rate, uint32_t frames, uint32_t bits = 16, uint32_t channels = 2) {
        WaveShape shape;
        shape.rate = rate;
        shape.bits = bits;
        shape.channels = channels;
        shape.samples.assign(size_t(frames) * channels, bits == 8 ? 128 : 0);
        return shape;
    };
    auto extensible = [&](uint32_t subFormat, uint32_t bits) {
        WaveShape shape = shaped(44100, 4, bits);
        shape.formatTag = 0xFFFE;
        shape.formatChunkSize = 40;
        shape.subFormat = subFormat;
        return shape;
    };
    WaveShape mp3 = shaped(44100, 4);
    mp3.formatTag = 0x55;
    const Case cases[] = {
        {"no samples", shaped(44100, 0), "holds no samples"},
        {"1 Hz", shaped(1, 12000), "a sample rate of 1 Hz (8000 to 192000 Hz expected)"},
        {"just below the range", shaped(7999, 100), "a sample rate of 7999 Hz (8000 to 192000 Hz expected)"},
        {"just above the range", shaped(192001, 100), "a sample rate of 192001 Hz (8000 to 192000 Hz expected)"},
        {"longer than 20 minutes", shaped(8000, 8000 * 1260, 8, 1),
         "21.0 minutes of sound, more than the 20 a soundtrack may last"},
        {"extensible floats", extensible(3, 32), "8- or 16-bit PCM WAVE expected (this one holds floats)"},
        {"extensible 24-bit PCM", extensible(1, 24), "8- or 16-bit PCM WAVE expected (this one is 24-bit)"},
        {"MP3 in WAVE", mp3, "8- or 16-bit PCM WAVE expected (this one holds MP3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Wav wav;
        EXPECT_EQ(loadBytes(wav, makeWave(c.shape)), UnreadableContent);
        EXPECT_EQ(wav.loadProblem, c.problem);
        expectEmpty(wav);
    }
    // The ends of the range are taken.
    for (const uint32_t rate : {Wav::MinSampleRate, Wav::MaxSampleRate}) {
        Wav wav;
        EXPECT_EQ(loadBytes(wav, makeWave(shaped(rate, 100))), Success) << rate;
    }
}

TEST(FileLoader, MissingPathAndAFileOnDisk) {
    Wav wav;
    EXPECT_EQ(wav.loadFromPath("/nonexistent/hazelglow.ogg"), CannotOpenFile);
    const testfiles::TempDir dir("loader");
    const std::string path = (dir / "tone.wav").string();
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
}
