// Loading Ogg Vorbis streams into a Wav: streams made here with libvorbisenc,
// cut short, lying about their length, or damaged. The encoder is built for
// the Linux host only, so these stay out of the Windows build.
#include <gtest/gtest.h>
#include <numbers>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "audio/aurix.h"
#include "tests/audio/audio_support.h"
#include "tests/audio/ogg_support.h"

using namespace Aurix;
using audiotest::expectEmpty;
using audiotest::loadBytes;
using audiotest::makeOggVorbis;

namespace {

std::vector<float> tone(uint32_t frames, uint32_t channels, uint32_t rate) {
    std::vector<float> planar(size_t(frames) * channels);
    for (uint32_t ch = 0; ch < channels; ++ch)
        for (uint32_t i = 0; i < frames; ++i)
            planar[size_t(ch) * frames + i] =
                float(0.4 * std::sin(2.0 * std::numbers::pi * (220.0 * (ch + 1)) * i / rate));
    return planar;
}

// Largest difference between a decoded channel and the original's channel
// `from`, away from the ends.
float worstError(const Wav& wav, uint32_t channel, const std::vector<float>& planar, uint32_t frames, uint32_t from) {
    float worst = 0.0f;
    for (uint32_t i = 1000; i + 1000 < frames; ++i)
        worst = std::max(
            worst, std::fabs(wav.data[size_t(channel) * wav.sampleCount + i] - planar[size_t(from) * frames + i]));
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

// Vorbis fixes where each speaker's channel is: the left and right fronts
// are kept (left, centre, right, ... for three, five, seven and eight
// channels; the fronts first for four). 5.1 is refused (below).
TEST(VorbisLoader, StereoMonoAndMultichannelStreams) {
    struct Case {
        uint32_t channels, rate, frames, right;
    };
    for (const Case c : {Case{2, 44100, 30000, 1}, Case{1, 22050, 12345, 0}, Case{3, 48000, 20000, 2},
                         Case{4, 44100, 20000, 1}, Case{5, 48000, 20000, 2}, Case{8, 44100, 20000, 2}}) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels at " << c.rate);
        const std::vector<float> planar = tone(c.frames, c.channels, c.rate);
        const std::vector<uint8_t> ogg = makeOggVorbis(planar, c.channels, c.rate);
        ASSERT_FALSE(ogg.empty());
        Wav wav;
        ASSERT_EQ(loadBytes(wav, ogg), Success);
        EXPECT_EQ(wav.channelCount, c.channels > 1 ? 2u : 1u);
        EXPECT_EQ(wav.baseSampleRate, float(c.rate));
        EXPECT_EQ(wav.sampleCount, c.frames);
        EXPECT_LT(worstError(wav, 0, planar, c.frames, 0), 0.05f);
        if (c.channels > 1) {
            EXPECT_LT(worstError(wav, 1, planar, c.frames, c.right), 0.05f);
        }
    }
}

namespace {

// Offset of the stream's last page.
size_t lastPage(const std::vector<uint8_t>& ogg) {
    size_t last = 0;
    for (size_t i = 0; i + 4 <= ogg.size(); ++i)
        if (std::memcmp(ogg.data() + i, "OggS", 4) == 0) last = i;
    return last;
}

// Declares `frames` in the last page's granule position, checksum mended.
void declareLength(std::vector<uint8_t>& ogg, uint64_t frames) {
    const size_t last = lastPage(ogg);
    std::memcpy(ogg.data() + last + 6, &frames, 8);
    std::memset(ogg.data() + last + 22, 0, 4);
    const uint32_t crc = oggCrc(ogg.data() + last, ogg.size() - last);
    std::memcpy(ogg.data() + last + 22, &crc, 4);
}

// A tone with noise on it, so every second of the encoded stream takes
// about as many bytes.
std::vector<float> noisyTone(uint32_t frames, uint32_t channels, uint32_t rate, uint32_t seed) {
    std::vector<float> planar = tone(frames, channels, rate);
    uint32_t noise = seed;
    for (float& x : planar) {
        noise = noise * 1103515245u + 12345u;
        x += float(int(noise >> 16 & 0xFF) - 128) / 1024.0f;
    }
    return planar;
}

}  // namespace

// Streams that decode without a fault yet are not what a soundtrack must
// be: cut short (the end-of-stream page lost with the rest), empty, or
// declaring more sound than may be decoded. The decode would end early or
// allocate what the header says, so each is refused with the reason.
TEST(VorbisLoader, StreamsThatAreNotWhatTheyClaimAreRefusedWithTheReason) {
    const uint32_t rate = 22050, frames = 8 * rate;
    const std::vector<uint8_t> ogg = makeOggVorbis(noisyTone(frames, 2, rate, 4321), 2, rate);
    ASSERT_GT(ogg.size(), 100000u);
    auto prefix = [&](size_t bytes) { return std::vector<uint8_t>(ogg.begin(), ogg.begin() + std::ptrdiff_t(bytes)); };
    std::vector<uint8_t> longer = ogg;
    declareLength(longer, uint64_t(rate) * 21 * 60);
    std::vector<uint8_t> larger = makeOggVorbis(tone(frames, 2, 44100), 2, 44100);
    declareLength(larger, uint64_t(44100) * 15 * 60);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* problem;                 // the start of the message
        double lowest = 0.0, highest = 0.0;  // for "ends after S s": where S may be
    };
    const Case cases[] = {
        {"half of it", prefix(ogg.size() / 2), "ends after ", 3.0, 4.5},
        {"8 000 bytes", prefix(8000), "ends after ", 0.0, 0.5},
        {"without its last page", prefix(lastPage(ogg)), "ends after ", 7.0, 8.0},
        {"no samples", makeOggVorbis({}, 2, rate), "holds no samples"},
        {"21 minutes declared", longer, "21.0 minutes of sound, more than the 20 a soundtrack may last"},
        {"15 minutes at 44.1 kHz declared", larger, "302.8 MiB of samples, more than the 256 MiB allowed"},
#ifndef __SANITIZE_ADDRESS__  // libvorbisenc's 5.1 set-up leaks a block of its own
        {"5.1", makeOggVorbis(tone(20000, 6, 48000), 6, 48000),
         "5.1 surround sound (6 channels), which the decoder cannot separate; stereo or mono expected"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Wav wav;
        EXPECT_EQ(loadBytes(wav, c.bytes), UnreadableContent);
        expectEmpty(wav);
        EXPECT_EQ(wav.loadProblem.rfind(c.problem, 0), 0u) << wav.loadProblem;
        if (c.highest > 0.0) {
            double at = -1.0;
            ASSERT_EQ(std::sscanf(wav.loadProblem.c_str(), "ends after %lf s,", &at), 1) << wav.loadProblem;
            EXPECT_GE(at, c.lowest);
            EXPECT_LE(at, c.highest);
            EXPECT_NE(wav.loadProblem.find(" s, before its last page (cut short?)"), std::string::npos);
        }
    }
    Wav whole;
    EXPECT_EQ(loadBytes(whole, ogg), Success) << whole.loadProblem;
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

// Bytes overwritten or lost in the middle: the pages after the damage do
// not decode, so the stream stops short of the length its last page
// declares. Playing what decoded would end the soundtrack early, silently.
TEST(VorbisLoader, AStreamThatBreaksOffIsRefusedWithTheSecond) {
    const uint32_t rate = 22050, frames = 6 * rate;
    const std::vector<uint8_t> ogg = makeOggVorbis(noisyTone(frames, 1, rate, 12345), 1, rate);
    ASSERT_GT(ogg.size(), 30000u);
    const size_t third = ogg.size() / 3;
    std::vector<uint8_t> overwritten = ogg;
    uint32_t noise = 12345;
    for (size_t i = third; i < third + 5000; ++i) {
        noise = noise * 1103515245u + 12345u;
        overwritten[i] = uint8_t(noise >> 16);
    }
    std::vector<uint8_t> holed = ogg;
    holed.erase(holed.begin() + std::ptrdiff_t(third), holed.begin() + std::ptrdiff_t(third + 5000));
    for (const auto& [what, bytes] : {std::pair{"overwritten", overwritten}, std::pair{"cut out", holed}}) {
        SCOPED_TRACE(what);
        Wav wav;
        EXPECT_EQ(loadBytes(wav, bytes), UnreadableContent);
        expectEmpty(wav);
        // "... at S s of its 6.0 s ...", S about a third of the way in.
        double at = -1.0, of = -1.0;
        ASSERT_EQ(std::sscanf(wav.loadProblem.c_str(), "the sound stops decoding at %lf s of its %lf s", &at, &of), 2)
            << wav.loadProblem;
        EXPECT_EQ(of, 6.0);
        EXPECT_GT(at, 0.5);
        EXPECT_LT(at, 3.0);
    }
    Wav whole;
    EXPECT_EQ(loadBytes(whole, ogg), Success);
    EXPECT_EQ(whole.sampleCount, frames);
    EXPECT_EQ(whole.loadProblem, "");
}
