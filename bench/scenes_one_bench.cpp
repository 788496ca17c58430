// Twisted pattern and fractal, text overlay, wipe, fades and colour passes,
// each on the frames of the demo where it runs (per-frame figures: see
// frame_timer.h).
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/frame_timer.h"
#include "demo/pipeline.h"
#include "demo/schedule.h"
#include "display/font8x12.h"
#include "effects/effects.h"

namespace {

// The generated strips when the build has made them; otherwise stand-ins of
// the same kind (lines of 16x24 text; masks that open from the centre).
struct Strips {
    std::vector<uint8_t> textBytes, wipeBytes;

    Strips() {
        const std::string dir = HAZELGLOW_BUILD_DATA_DIR;
        if (!loadImageStrip((dir + "/texts.png").c_str(), textStrip)) makeTexts();
        if (!loadImageStrip((dir + "/wipe.png").c_str(), wipeStrip)) makeWipes();
    }

    void makeTexts() {
        constexpr int Frames = 6;
        textBytes.assign(static_cast<size_t>(Frames) * ImageStrip::FrameBytes, 0);
        const char* line = "HAZEL GLOW  ZKPW07";
        for (int k = 0; k < Frames; ++k)
            for (int row = 0; row < 4; ++row)
                for (int ch = 0; line[ch] != '\0'; ++ch)
                    for (int gy = 0; gy < GlyphHeight * 2; ++gy)
                        for (int gx = 0; gx < GlyphWidth * 2; ++gx) {
                            const uint8_t bits = Font8x12[static_cast<uint8_t>(line[ch]) * GlyphHeight + gy / 2];
                            if (((bits >> (gx / 2)) & 1) == 0) continue;
                            const int x = 16 + ch * 16 + gx;
                            const int y = 30 + row * 36 + gy;
                            textBytes[static_cast<size_t>(k) * ImageStrip::FrameBytes +
                                      static_cast<size_t>(y * ScreenWidth + x) * 4] = 255;
                        }
        textStrip = {textBytes.data(), Frames};
    }

    void makeWipes() {
        constexpr int Frames = 24;
        wipeBytes.assign(static_cast<size_t>(Frames) * ImageStrip::FrameBytes, 0);
        for (int k = 0; k < Frames; ++k)
            for (int y = 0; y < ScreenHeight; ++y)
                for (int x = 0; x < ScreenWidth; ++x) {
                    const int dx = x - 160, dy = y - 100;
                    const bool lit = dx * dx + dy * dy < (k * 8) * (k * 8);
                    wipeBytes[static_cast<size_t>(k) * ImageStrip::FrameBytes +
                              static_cast<size_t>(y * ScreenWidth + x) * 4] = lit ? 255 : 0;
                }
        wipeStrip = {wipeBytes.data(), Frames};
    }
};

const Strips& strips() {
    static const Strips s;
    return s;
}

void BM_TwistedPattern(benchmark::State& state) {
    const std::vector<int32_t> times = timesInScenes({1, 9});
    FrameTimer(state).run([&](size_t i) { DrawTwistedPattern(times[i % times.size()]); });
    benchmark::DoNotOptimize(FrameBuffer);
}
BENCHMARK(BM_TwistedPattern)->Unit(benchmark::kMillisecond)->Iterations(800);

void BM_TwistedFractal(benchmark::State& state) {
    const std::vector<int32_t> times = timesInScenes({2, 11});
    FrameTimer(state).run([&](size_t i) { DrawTwistedFractal(times[i % times.size()]); });
    benchmark::DoNotOptimize(FrameBuffer);
}
BENCHMARK(BM_TwistedFractal)->Unit(benchmark::kMillisecond)->Iterations(800);

// Every frame of the demo that carries text, each over its scene's picture.
void BM_TextOverlay(benchmark::State& state) {
    strips();
    struct Job {
        int32_t t;
        int32_t frame;
    };
    std::vector<Job> jobs;
    for (int32_t t = 40; t <= LastSceneEnd; t += 40) {
        const int scene = sceneIndexAt(t);
        const int32_t frame = textFrameFor(Timeline[scene], static_cast<uint32_t>(t));
        if (frame >= 0) jobs.push_back({t, frame});
    }
    DrawTwistedPattern(40);
    std::vector<uint32_t> picture(FrameBuffer, FrameBuffer + ScreenPixels);
    FrameTimer(state).run(
        [&](size_t i) {
            const Job& job = jobs[i % jobs.size()];
            DrawTextOverlay(job.frame, job.t);
        },
        [&] { std::memcpy(FrameBuffer, picture.data(), sizeof FrameBuffer); });
    benchmark::DoNotOptimize(FrameBuffer);
}
BENCHMARK(BM_TextOverlay)->Unit(benchmark::kMillisecond)->Iterations(2000);

// Only the frames in which a mask is shown; the others return at once.
void BM_Wipe(benchmark::State& state) {
    strips();
    std::vector<float> times;
    const float idle = static_cast<float>(wipeStrip.frameCount) / static_cast<float>(wipeStrip.frameCount + 1);
    for (int32_t t = 40; t <= LastSceneEnd; t += 40)
        if (wipeTimeAt(t) < idle) times.push_back(wipeTimeAt(t));
    FrameTimer(state).run([&](size_t i) { ApplyWipe(times[i % times.size()]); });
    benchmark::DoNotOptimize(FrameBuffer);
}
BENCHMARK(BM_Wipe)->Unit(benchmark::kMillisecond)->Iterations(4000);

void BM_FadeIn(benchmark::State& state) {
    DrawTwistedPattern(40);
    FrameTimer(state).run([&](size_t i) { FadeIn(fadeInLevelAt(static_cast<int32_t>(40 + 40 * (i % 199)))); });
    benchmark::DoNotOptimize(FrameBuffer);
}
BENCHMARK(BM_FadeIn)->Unit(benchmark::kMillisecond)->Iterations(4000);

void BM_FadeOut(benchmark::State& state) {
    DrawTwistedPattern(40);
    FrameTimer(state).run([&](size_t i) { FadeOut(fadeOutLevelAt(static_cast<int32_t>(170040 + 40 * (i % 200)))); });
    benchmark::DoNotOptimize(FrameBuffer);
}
BENCHMARK(BM_FadeOut)->Unit(benchmark::kMillisecond)->Iterations(4000);

void runColourPass(benchmark::State& state, void (*pass)(int32_t), std::initializer_list<int> scenes) {
    const std::vector<int32_t> times = timesInScenes(scenes);
    resetColourPassState();
    FrameTimer(state).run([&](size_t i) { pass(times[i % times.size()]); });
    benchmark::DoNotOptimize(CellBuffer);
}

void BM_CyanFlashPass(benchmark::State& state) {
    runColourPass(state, CyanFlashPass, {2, 4});
}
void BM_RedFlashPass(benchmark::State& state) {
    runColourPass(state, RedFlashPass, {3, 8});
}
void BM_BlockFlashPass(benchmark::State& state) {
    runColourPass(state, BlockFlashPass, {5, 7, 9});
}
BENCHMARK(BM_CyanFlashPass)->Unit(benchmark::kMillisecond)->Iterations(4000);
BENCHMARK(BM_RedFlashPass)->Unit(benchmark::kMillisecond)->Iterations(4000);
BENCHMARK(BM_BlockFlashPass)->Unit(benchmark::kMillisecond)->Iterations(4000);

}  // namespace
