// Zoom feedback, blob scenes, parity curves and the rotation pass, each on
// the frames of the demo where it runs, in frame order so the pictures they
// carry from frame to frame look as in the demo. Every case also reports
// the 99th percentile of its per-frame thread CPU time as p99_ms.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

#include <benchmark/benchmark.h>

#include "demo/schedule.h"
#include "effects/effects.h"

namespace {

// Demo times of the scenes (1-based) that run `effect`, in frame order.
std::vector<int32_t> framesOf(SceneEffect effect) {
    std::vector<int32_t> times;
    for (int32_t t = 40; t <= LastSceneEnd; t += 40) {
        const int scene = sceneIndexAt(t);
        if (scene >= 0 && Timeline[scene].effect == effect) times.push_back(t);
    }
    return times;
}

double threadMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

// Runs draw(frame index) once per iteration and reports the 99th
// percentile of the single-iteration times.
template <typename Draw>
void timeFrames(benchmark::State& state, Draw&& draw) {
    std::vector<double> samples;
    samples.reserve(1 << 16);
    size_t i = 0;
    for (auto _ : state) {
        const double start = threadMilliseconds();
        draw(i++);
        const double end = threadMilliseconds();
        if (samples.size() < samples.capacity()) samples.push_back(end - start);
    }
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    state.counters["p99_ms"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    state.counters["max_ms"] = samples.back();
}

void seedPicture() {
    for (int i = 0; i < ScreenPixels; ++i) FrameBuffer[i] = static_cast<uint32_t>(i) * 2654435761u & 0xFFFFFFu;
    std::memcpy(FeedbackBuffer, FrameBuffer, sizeof FrameBuffer);
}

void benchScene(benchmark::State& state, SceneEffect effect) {
    const std::vector<int32_t> frames = framesOf(effect);
    seedPicture();
    timeFrames(state, [&](size_t i) {
        effect(frames[i % frames.size()]);
        benchmark::DoNotOptimize(FrameBuffer);
        benchmark::ClobberMemory();
    });
}

void BM_ZoomFeedback(benchmark::State& state) { benchScene(state, DrawZoomFeedback); }
void BM_BlobSwarm(benchmark::State& state) { benchScene(state, DrawBlobSwarm); }
void BM_BlobTrail(benchmark::State& state) { benchScene(state, DrawBlobTrail); }
void BM_ParityCurves(benchmark::State& state) { benchScene(state, DrawParityCurves); }

void BM_RotateFrame(benchmark::State& state) {
    seedPicture();
    timeFrames(state, [](size_t i) {
        RotateFrame((i & 1) != 0 ? 0.02f : -0.02f);
        benchmark::ClobberMemory();
    });
}

void BM_InvertBlobLargest(benchmark::State& state) {
    seedPicture();
    timeFrames(state, [](size_t) {
        InvertBlob(160, 100, 90);
        benchmark::ClobberMemory();
    });
}

}  // namespace

BENCHMARK(BM_ZoomFeedback)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlobSwarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlobTrail)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParityCurves)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InvertBlobLargest)->Unit(benchmark::kMicrosecond);
