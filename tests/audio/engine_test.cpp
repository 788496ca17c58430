// The engine core without a device: handles, the voice table, the resampler
// and its block carry, gain ramps and the limiter, checked against the pinned
// single-precision arithmetic.
#include <gtest/gtest.h>
#include <numbers>

#include <cmath>
#include <set>
#include <vector>

#include "audio/aurix.h"
#include "tests/audio/audio_support.h"

using namespace Aurix;
using audiotest::fillWav;
using audiotest::limitReference;

namespace {

constexpr uint32_t Block = 4096;

// An engine configured as a device would configure it, with no device.
struct Headless : AudioEngine {
    Headless() { configureOutput(44100, 8192); }
    std::vector<float> render(uint32_t frames = Block) {
        std::vector<float> out(2 * size_t(frames));
        renderBlock(out.data(), frames);
        return out;
    }
};

std::vector<float> ramp(uint32_t frames, float scale, float offset = 0.0f) {
    std::vector<float> values(frames);
    for (uint32_t i = 0; i < frames; ++i) values[i] = offset + scale * float(i % 1000) / 1000.0f;
    return values;
}

std::vector<float> join(const std::vector<float>& a, const std::vector<float>& b) {
    std::vector<float> out(a);
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// Counts the blocks the mixer pulls and hands out a steady tone.
class CountingVoice final : public AudioSourceInstance {
public:
    explicit CountingVoice(uint32_t* counter) : fetches(counter) {}
    void fetchSamples(float* buffer, uint32_t frames) override {
        ++*fetches;
        for (uint32_t i = 0; i < frames * channelCount; ++i) buffer[i] = 0.25f;
    }
    bool isFinished() override { return false; }
    uint32_t* fetches;
};

class CountingSource final : public AudioSource {
public:
    AudioSourceInstance* createVoice() override { return new CountingVoice(&fetches); }
    uint32_t fetches = 0;
};

}  // namespace

TEST(EngineHandles, StartVoiceFormsHandlesAndPanGains) {
    Headless engine;
    Wav wav;
    fillWav(wav, std::vector<float>(1000, 0.1f), 1, 44100.0f);
    const VoiceHandle first = engine.startVoice(wav, -1.0f, 0.0f);
    const VoiceHandle second = engine.startVoice(wav, 0.5f, 1.0f);
    EXPECT_EQ(first, (0u << 12) | 1u);
    EXPECT_EQ(second, (1u << 12) | 2u);
    AudioSourceInstance* voice = engine.voiceForHandle(first);
    ASSERT_NE(voice, nullptr);
    EXPECT_EQ(voice->leftGain, 0.70710677f);
    EXPECT_EQ(voice->rightGain, 0.70710677f);
    EXPECT_EQ(voice->volume, 1.0f);  // the source's own volume
    EXPECT_EQ(voice->bus, 0);
    EXPECT_EQ(engine.voiceForHandle(second)->volume, 0.5f);
    EXPECT_EQ(engine.voiceForHandle(second)->leftGain, float(std::cos(PanLawPi * 0.5)));
    EXPECT_EQ(wav.sourceId, 1u);
    EXPECT_EQ(engine.slotHighWater, 2);

    EXPECT_EQ(engine.voiceForHandle(0), nullptr);
    EXPECT_EQ(engine.voiceForHandle(0x1000), nullptr);  // slot bits 0
    EXPECT_EQ(engine.voiceForHandle(first + (5u << 12)), nullptr);
    EXPECT_EQ(engine.voiceForHandle(0xFFFFF001u), nullptr);
    // Slot bits beyond the table's 1024 slots name nothing (and read nothing).
    EXPECT_EQ(engine.voiceForHandle(0x401u), nullptr);
    EXPECT_EQ(engine.voiceForHandle(0xFFFu), nullptr);
    engine.setChannelVolumes(0xFFFu, 1.0f, 1.0f);
}

TEST(EngineHandles, StaleHandleDoesNotResolveAfterItsSlotIsReused) {
    Headless engine;
    Wav empty;
    Wav tone;
    fillWav(tone, std::vector<float>(100000, 0.1f), 1, 44100.0f);
    const VoiceHandle old = engine.startVoice(empty, -1.0f, 0.0f);
    engine.render();  // an empty source plays as finished at once
    EXPECT_EQ(engine.voiceForHandle(old), nullptr);
    const VoiceHandle fresh = engine.startVoice(tone, -1.0f, 0.0f);
    EXPECT_EQ(fresh & 0xFFF, old & 0xFFF);
    EXPECT_EQ(engine.voiceForHandle(old), nullptr);
    EXPECT_NE(engine.voiceForHandle(fresh), nullptr);
}

TEST(EngineHandles, VoiceBeyondTheTableReplacesTheLowestPlayIndex) {
    Headless engine;
    Wav tone;
    fillWav(tone, std::vector<float>(10, 0.0f), 1, 44100.0f);
    std::vector<VoiceHandle> handles;
    for (uint32_t i = 0; i < AudioEngine::MaxVoices; ++i) handles.push_back(engine.startVoice(tone, -1.0f, 0.0f));
    const VoiceHandle extra = engine.startVoice(tone, -1.0f, 0.0f);
    EXPECT_EQ(extra, (1024u << 12) | 1u);
    EXPECT_EQ(engine.voiceForHandle(handles[0]), nullptr);
    EXPECT_NE(engine.voiceForHandle(handles[1]), nullptr);
    EXPECT_NE(engine.voiceForHandle(extra), nullptr);
    EXPECT_TRUE(engine.audibleSetDirty);
}

TEST(EngineHandles, PlayIndexWrapsBeforeTheReservedValue) {
    Headless engine;
    Wav tone;
    fillWav(tone, std::vector<float>(10, 0.0f), 1, 44100.0f);
    engine.nextPlayIndex = 0xFFFFE;
    const VoiceHandle last = engine.startVoice(tone, -1.0f, 0.0f);
    EXPECT_EQ(last >> 12, 0xFFFFEu);
    EXPECT_EQ(engine.nextPlayIndex, 0u);
    EXPECT_LT(last, AudioEngine::ReservedHandleBase);
}

TEST(EngineStart, SelectorsOutOfRangeOrWithoutBackend) {
    AudioEngine engine;
    EXPECT_EQ(engine.start(11), BadArgument);
    EXPECT_EQ(engine.start(5), Unsupported);
    EXPECT_EQ(engine.backendKind, 0u);
    EXPECT_EQ(engine.backendState, nullptr);
    engine.shutdown();  // no backend: nothing to close, nothing to wait for
    engine.shutdown();
}

TEST(EngineStart, ConfigureOutputSetsTheMixingDefaults) {
    AudioEngine engine;
    EXPECT_EQ(engine.audibleVoiceLimit, 16u);
    EXPECT_EQ(engine.nextSourceId, 1u);
    EXPECT_TRUE(engine.audibleSetDirty);
    engine.configureOutput(44100, 2048);
    EXPECT_EQ(engine.scratchFrames, 4096u);  // raised to one device block
    engine.configureOutput(44100, 8192);
    EXPECT_EQ(engine.sampleRate, 44100u);
    EXPECT_EQ(engine.scratchFrames, 8192u);
    EXPECT_EQ(engine.engineFlags, 1u);
    EXPECT_EQ(engine.masterVolume, 1.0f);
    EXPECT_EQ(engine.postLimitGain, 0.95f);
}

TEST(EngineMix, SourceAtTheOutputRateComesOutOneFrameLate) {
    Headless engine;
    Wav wav;
    const uint32_t frames = 3 * Block;
    fillWav(wav, join(ramp(frames, 0.8f), ramp(frames, -0.6f, 0.1f)), 2, 44100.0f);
    const VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
    engine.setChannelVolumes(handle, 1.0f, 1.0f);
    const std::vector<float> first = engine.render();
    EXPECT_EQ(first[0], 0.0f);
    EXPECT_EQ(first[1], 0.0f);
    // From the second block on the gains stand at 1 and each frame is the source's previous one.
    const std::vector<float> second = engine.render();
    for (uint32_t j = 0; j < Block; ++j) {
        const uint32_t source = Block + j - 1;
        ASSERT_EQ(second[2 * j], limitReference(wav.data[source])) << j;
        ASSERT_EQ(second[2 * j + 1], limitReference(wav.data[frames + source])) << j;
    }
}

TEST(EngineMix, GainsRampLinearlyToTheNewChannelVolumes) {
    Headless engine;
    Wav wav;
    fillWav(wav, std::vector<float>(2 * 3 * Block, 0.5f), 2, 44100.0f);
    const VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
    // First block: from the zero start to the pan gains.
    engine.render();
    EXPECT_EQ(engine.voiceForHandle(handle)->appliedGain[0], 0.70710677f);
    engine.setChannelVolumes(handle, 1.0f, 0.25f);
    const std::vector<float> out = engine.render();
    const float deltaL = (1.0f - 0.70710677f) / float(Block);
    const float deltaR = (0.25f - 0.70710677f) / float(Block);
    for (uint32_t k = 0; k < Block; ++k) {
        const float gainL = 0.70710677f + float(k) * deltaL;
        const float gainR = 0.70710677f + float(k) * deltaR;
        ASSERT_EQ(out[2 * k], limitReference(0.5f * gainL)) << k;
        ASSERT_EQ(out[2 * k + 1], limitReference(0.5f * gainR)) << k;
    }
    EXPECT_EQ(engine.voiceForHandle(handle)->appliedGain[1], 0.25f);
}

TEST(EngineMix, MonoSourceFeedsBothSides) {
    Headless engine;
    Wav wav;
    fillWav(wav, std::vector<float>(3 * Block, 0.4f), 1, 44100.0f);
    const VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
    engine.setChannelVolumes(handle, 1.0f, 0.5f);
    engine.render();
    const std::vector<float> out = engine.render();
    EXPECT_EQ(out[100], limitReference(0.4f));
    EXPECT_EQ(out[101], limitReference(0.4f * 0.5f));
}

TEST(EngineMix, LimiterValuesAtTheKneeAndAtOne) {
    Headless engine;
    Wav wav;
    fillWav(wav, std::vector<float>(2 * 3 * Block, 1.0f), 2, 44100.0f);
    const VoiceHandle loud = engine.startVoice(wav, 1.65f, 0.0f);
    engine.setChannelVolumes(loud, 1.0f, 1.0f);
    engine.render();
    std::vector<float> out = engine.render();
    EXPECT_EQ(out[10], 0.95f * 0.9862875f);
    engine.stopSource(wav);
    const VoiceHandle unit = engine.startVoice(wav, 1.0f, 0.0f);
    engine.setChannelVolumes(unit, 1.0f, -1.0f);
    engine.render();
    out = engine.render();
    const float atOne = 0.87f - 0.1f;
    EXPECT_EQ(out[10], 0.95f * atOne);
    EXPECT_EQ(out[11], -(0.95f * atOne));
    EXPECT_NEAR(out[10], 0.77f * 0.95f, 1e-6f);
}

TEST(EngineMix, FortyEightKilohertzSourceIsResampledContinuously) {
    Headless engine;
    Wav wav;
    const uint32_t frames = 48000;
    std::vector<float> tone(frames);
    for (uint32_t i = 0; i < frames; ++i) tone[i] = float(0.5 * std::sin(2.0 * std::numbers::pi * 997.0 * i / 48000.0));
    fillWav(wav, tone, 1, 48000.0f);
    const VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
    engine.setChannelVolumes(handle, 1.0f, 1.0f);
    std::vector<float> out;
    for (int b = 0; b < 6; ++b) {
        const std::vector<float> block = engine.render();
        out.insert(out.end(), block.begin(), block.end());
    }
    // Output frame j reads the source at j * step (12.20), one frame late,
    // with no restart at any 512-frame block boundary.
    const uint64_t step = 1141307;
    for (uint32_t j = Block; j < 6 * Block; ++j) {
        const uint64_t pos = uint64_t(j) * step;
        const uint32_t idx = uint32_t(pos >> 20);
        const uint32_t frac = uint32_t(pos & 0xFFFFF);
        const float s1 = idx > 0 ? tone[idx - 1] : 0.0f;
        const float s2 = tone[idx];
        const float expected = (s2 - s1) * float(frac) * (1.0f / 1048576.0f) + s1;
        ASSERT_EQ(out[2 * j], limitReference(expected)) << "frame " << j;
    }
}

TEST(EngineMix, FortyEightKilohertzBlocksLastFourHundredSeventyFrames) {
    Headless engine;
    CountingSource source;
    source.baseSampleRate = 48000.0f;
    engine.startVoice(source, -1.0f, 0.0f);
    std::vector<uint32_t> fetchFrames;
    float out[2];
    for (uint32_t frame = 0; fetchFrames.size() < 101; ++frame) {
        const uint32_t before = source.fetches;
        engine.renderBlock(out, 1);
        if (source.fetches != before) fetchFrames.push_back(frame);
    }
    std::set<uint32_t> lengths;
    for (size_t i = 1; i < fetchFrames.size(); ++i) lengths.insert(fetchFrames[i] - fetchFrames[i - 1]);
    EXPECT_EQ(lengths, (std::set<uint32_t>{470, 471}));
    // 100 blocks of 512 source frames: 100 * 512 * 44100 / 48000 = 47040 output frames.
    const uint32_t total = fetchFrames.back() - fetchFrames.front();
    EXPECT_GE(total, 47039u);
    EXPECT_LE(total, 47041u);
}

TEST(EngineMix, NonLoopingVoiceIsRemovedAfterTheBlockThatFinishesIt) {
    Headless engine;
    Wav wav;
    fillWav(wav, std::vector<float>(Block + 1000, 0.2f), 1, 44100.0f);
    const VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
    engine.render();
    EXPECT_NE(engine.voiceForHandle(handle), nullptr);
    engine.render();
    EXPECT_EQ(engine.voiceForHandle(handle), nullptr);
    EXPECT_TRUE(engine.audibleSetDirty);
    const std::vector<float> after = engine.render();
    for (float sample : after) ASSERT_EQ(sample, 0.0f);
}

TEST(EngineMix, LoopingVoiceWrapsAndNeverEnds) {
    Headless engine;
    Wav wav;
    std::vector<float> cycle(300);
    for (uint32_t i = 0; i < 300; ++i) cycle[i] = float(i) / 600.0f;
    fillWav(wav, cycle, 1, 44100.0f);
    wav.flags = AudioSource::LoopFlag;
    const VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
    engine.setChannelVolumes(handle, 1.0f, 1.0f);
    engine.render();
    const std::vector<float> out = engine.render();
    for (uint32_t j = 0; j < Block; ++j) ASSERT_EQ(out[2 * j], limitReference(cycle[(Block + j - 1) % 300])) << j;
    AudioSourceInstance* voice = engine.voiceForHandle(handle);
    ASSERT_NE(voice, nullptr);
    EXPECT_GE(voice->loopCount, 27u);
}

TEST(EngineMix, OnlyTheLoudestVoicesAreMixed) {
    Headless engine;
    Wav wav;
    fillWav(wav, std::vector<float>(100000, 0.0f), 1, 44100.0f);
    // Volumes in a scrambled order; slot s gets volume ((s * 7) % 40) / 40.
    std::set<uint32_t> loudest;
    for (uint32_t s = 0; s < 40; ++s) {
        const uint32_t rank = (s * 7) % 40;
        engine.startVoice(wav, float(rank) / 40.0f, 0.0f);
        if (rank >= 24) loudest.insert(s);
    }
    engine.render();
    ASSERT_EQ(engine.audibleCount, 16u);
    EXPECT_EQ(std::set<uint32_t>(engine.audibleSlots, engine.audibleSlots + 16), loudest);
    EXPECT_FALSE(engine.audibleSetDirty);
}

TEST(EngineMix, RenderingBeforeConfigurationGivesSilence) {
    AudioEngine engine;
    std::vector<float> out(64, 1.0f);
    engine.renderBlock(out.data(), 32);
    for (float sample : out) EXPECT_EQ(sample, 0.0f);
}

TEST(EngineSources, DestroyingOrReloadingASourceStopsItsVoices) {
    Headless engine;
    VoiceHandle handle;
    {
        Wav wav;
        fillWav(wav, std::vector<float>(100000, 0.3f), 1, 44100.0f);
        handle = engine.startVoice(wav, -1.0f, 0.0f);
        ASSERT_NE(engine.voiceForHandle(handle), nullptr);
    }
    EXPECT_EQ(engine.voiceForHandle(handle), nullptr);
    engine.render();

    Wav wav;
    fillWav(wav, std::vector<float>(100000, 0.3f), 1, 44100.0f);
    handle = engine.startVoice(wav, -1.0f, 0.0f);
    const std::vector<uint8_t> silence = audiotest::makeWave({1, 8000, 16, std::vector<int32_t>(10, 0), "", -1});
    EXPECT_EQ(audiotest::loadBytes(wav, silence), Success);
    EXPECT_EQ(engine.voiceForHandle(handle), nullptr);
}

TEST(EngineSources, SourceOutlivingItsEngineIsSafe) {
    // The demo's static order: the Wav is made first and destroyed last.
    Wav wav;
    fillWav(wav, std::vector<float>(1000, 0.3f), 1, 44100.0f);
    {
        Headless engine;
        engine.startVoice(wav, -1.0f, 0.0f);
        EXPECT_EQ(wav.engine, &engine);
    }
    EXPECT_EQ(wav.engine, nullptr);
}

// A voice lasts until its last frame has been played, not until its last
// 512-frame block was fetched: at 1 kHz one block lasts 0.5 s of output.
// At the output rate the end is where it always was (the mix of 30 000
// frames still takes 8 blocks) but for a length of whole device blocks,
// whose last frame used to be cut.
TEST(EngineMix, AVoiceEndsWhenItsLastFrameHasBeenPlayed) {
    struct Case {
        uint32_t frames;
        float rate;
        uint32_t blocks;  // device blocks until the voice is gone
    };
    for (const Case c : {Case{900, 1000.0f, 10}, Case{90, 100.0f, 10}, Case{30000, 44100.0f, 8},
                         Case{2 * Block, 44100.0f, 3}, Case{48000, 48000.0f, 11}}) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames at " << c.rate << " Hz");
        Headless engine;
        Wav wav;
        fillWav(wav, std::vector<float>(c.frames, 0.5f), 1, c.rate);
        const VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
        std::vector<float> out;
        while (engine.voiceForHandle(handle) != nullptr && out.size() < 2 * 100 * size_t(Block)) {
            const std::vector<float> block = engine.render();
            out.insert(out.end(), block.begin(), block.end());
        }
        EXPECT_EQ(out.size(), 2 * size_t(c.blocks) * Block);
        // Sound up to the frame where the source's last one is due.
        const size_t lastFrame = size_t(double(c.frames) * 44100.0 / double(c.rate));
        ASSERT_LT(lastFrame, out.size() / 2);
        EXPECT_GT(out[2 * (lastFrame - 1)], 0.25f);  // 0.5 at the centre gain, limited
    }
}

TEST(WavVoice, ShortFetchCopiesWhatIsLeftThenZeros) {
    Wav wav;
    std::vector<float> values(612);
    for (uint32_t i = 0; i < 612; ++i) values[i] = float(i + 1);
    fillWav(wav, values, 1, 44100.0f);
    std::unique_ptr<AudioSourceInstance> voice(wav.createVoice());
    std::vector<float> block(512, -1.0f);
    voice->fetchSamples(block.data(), 512);
    EXPECT_FALSE(voice->isFinished());
    voice->fetchSamples(block.data(), 512);
    EXPECT_EQ(block[0], 513.0f);
    EXPECT_EQ(block[99], 612.0f);
    for (uint32_t i = 100; i < 512; ++i) ASSERT_EQ(block[i], 0.0f);
    EXPECT_TRUE(voice->isFinished());
    voice->fetchSamples(block.data(), 512);  // past the end: silence, no read past the data
    EXPECT_EQ(block[0], 0.0f);
}

TEST(WavVoice, EmptySourcesNeverHangTheMixer) {
    Headless engine;
    Wav empty;
    empty.flags = AudioSource::LoopFlag;
    const VoiceHandle looping = engine.startVoice(empty, -1.0f, 0.0f);
    engine.render();
    EXPECT_NE(engine.voiceForHandle(looping), nullptr);
    std::unique_ptr<AudioSourceInstance> voice(empty.createVoice());
    EXPECT_TRUE(voice->isFinished());
}

TEST(WavVoice, SkipToMovesForwardAndIgnoresNegativeSeconds) {
    Wav wav;
    fillWav(wav, std::vector<float>(44100, 0.1f), 1, 44100.0f);
    std::unique_ptr<AudioSourceInstance> voice(wav.createVoice());
    auto* wavVoice = static_cast<WavInstance*>(voice.get());
    std::vector<float> scratch(1024);
    voice->skipTo(0.5, scratch.data(), uint32_t(scratch.size()));
    EXPECT_EQ(wavVoice->offset, 22050u);
    voice->skipTo(-3.0, scratch.data(), uint32_t(scratch.size()));
    EXPECT_EQ(wavVoice->offset, 0u);
    EXPECT_EQ(voice->streamSeconds, 0.0);
    voice->skipTo(0.25, scratch.data(), 1);  // too small a scratch: nothing decoded, nothing hangs
    EXPECT_EQ(wavVoice->offset, 0u);
}

TEST(PcmConversion, FloorThenTruncate) {
    EXPECT_EQ(toPcm16(0.5f), 16383);
    EXPECT_EQ(toPcm16(-0.5f), -16384);
    EXPECT_EQ(toPcm16(0.95f * 0.9862875f), 30701);
    EXPECT_EQ(toPcm16(-(0.95f * 0.9862875f)), -30702);
    EXPECT_EQ(toPcm16(0.0f), 0);
    EXPECT_EQ(toPcm16(std::nanf("")), 0);
}
