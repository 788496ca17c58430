// Zoom feedback, blob scenes, parity curves and the rotation pass, each on
// the frames of the demo where it runs, in frame order so the pictures they
// carry from frame to frame look as in the demo (per-frame figures: see
// frame_timer.h).
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/frame_timer.h"
#include "demo/schedule.h"
#include "effects/effects.h"

namespace {

void seedPicture() {
    for (int i = 0; i < ScreenPixels; ++i) FrameBuffer[i] = static_cast<uint32_t>(i) * 2654435761u & 0xFFFFFFu;
    std::memcpy(FeedbackBuffer, FrameBuffer, sizeof FrameBuffer);
}

void benchScene(benchmark::State& state, SceneEffect effect) {
    const std::vector<int32_t> frames = timesOfEffect(effect);
    seedPicture();
    FrameTimer(state).run([&](size_t i) {
        effect(frames[i % frames.size()]);
        benchmark::DoNotOptimize(FrameBuffer);
        benchmark::ClobberMemory();
    });
}

void BM_ZoomFeedback(benchmark::State& state) {
    benchScene(state, DrawZoomFeedback);
}
void BM_BlobSwarm(benchmark::State& state) {
    benchScene(state, DrawBlobSwarm);
}
void BM_BlobTrail(benchmark::State& state) {
    benchScene(state, DrawBlobTrail);
}
void BM_ParityCurves(benchmark::State& state) {
    benchScene(state, DrawParityCurves);
}

void BM_RotateFrame(benchmark::State& state) {
    seedPicture();
    FrameTimer(state).run([](size_t i) {
        RotateFrame((i & 1) != 0 ? 0.02f : -0.02f);
        benchmark::ClobberMemory();
    });
}

void BM_InvertBlobLargest(benchmark::State& state) {
    seedPicture();
    FrameTimer(state).run([](size_t) {
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
