// The mixing thread's CPU cost per device block: renderBlock of 4096 frames
// and the conversion to 16-bit, as the output backends run it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "audio/aurix.h"

namespace {

constexpr uint32_t BlockFrames = 4096;

// Ten seconds of a stereo tone, looping so the voice never ends.
void fillTone(Aurix::Wav& wav, float rate) {
    const uint32_t frames = uint32_t(rate) * 10;
    wav.data = std::make_unique<float[]>(2 * size_t(frames));
    for (uint32_t i = 0; i < frames; ++i) {
        wav.data[i] = float(0.5 * std::sin(i * 0.031));
        wav.data[frames + i] = float(0.4 * std::sin(i * 0.017));
    }
    wav.sampleCount = frames;
    wav.channelCount = 2;
    wav.baseSampleRate = rate;
    wav.flags = Aurix::AudioSource::LoopFlag;
}

void mixBlocks(benchmark::State& state, float sourceRate, int voices) {
    Aurix::Wav wav;
    fillTone(wav, sourceRate);
    Aurix::AudioEngine engine;
    engine.configureOutput(Aurix::AudioEngine::OutputRate, 2 * BlockFrames);
    for (int v = 0; v < voices; ++v) {
        const Aurix::VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
        engine.setChannelVolumes(handle, 1.0f, 1.0f);
    }
    std::vector<float> mix(2 * BlockFrames);
    std::vector<int16_t> block(2 * BlockFrames);
    for (auto _ : state) {
        engine.renderBlock(mix.data(), BlockFrames);
        for (size_t i = 0; i < mix.size(); ++i) block[i] = Aurix::toPcm16(mix[i]);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * BlockFrames);
    // Seconds of sound mixed per second of work: how far ahead of real time the thread runs.
    state.counters["times_realtime"] = benchmark::Counter(
        double(state.iterations()) * BlockFrames / double(Aurix::AudioEngine::OutputRate), benchmark::Counter::kIsRate);
}

// The demo: one stereo voice at the output rate.
void BM_MixBlockSoundtrack(benchmark::State& state) {
    mixBlocks(state, float(Aurix::AudioEngine::OutputRate), 1);
}
BENCHMARK(BM_MixBlockSoundtrack)->Unit(benchmark::kMicrosecond);

// One voice resampled from 48 000 Hz.
void BM_MixBlockResampled(benchmark::State& state) {
    mixBlocks(state, 48000.0f, 1);
}
BENCHMARK(BM_MixBlockResampled)->Unit(benchmark::kMicrosecond);

// The most the engine mixes: 16 audible voices.
void BM_MixBlockSixteenVoices(benchmark::State& state) {
    mixBlocks(state, float(Aurix::AudioEngine::OutputRate), 16);
}
BENCHMARK(BM_MixBlockSixteenVoices)->Unit(benchmark::kMicrosecond);

}  // namespace
