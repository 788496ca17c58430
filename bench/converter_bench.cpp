// The converter's two costs: building the pattern table once at start-up,
// and turning one 320x200 frame into 80x50 cells every frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "display/ascii_art.h"

namespace {

void BM_AsciiArtInit(benchmark::State& state) {
    for (auto _ : state) {
        PKR_AsciiArt art;
        art.init();
        benchmark::DoNotOptimize(art.glyphLut[0x8888]);
    }
}
BENCHMARK(BM_AsciiArtInit)->Unit(benchmark::kMillisecond);

void BM_ConvertHighResFrame(benchmark::State& state) {
    PKR_AsciiArt art;
    art.init();
    // Gradients, a checker and scattered noise, so every cell pattern class
    // and every table region gets visited.
    std::vector<uint32_t> frame(320 * 200);
    uint32_t noise = 12345;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const uint32_t checker = ((x >> 3) ^ (y >> 3)) & 1 ? 0x00C0C0C0 : 0;
            const uint32_t gradient = static_cast<uint32_t>(x * 255 / 319) << 16 | static_cast<uint32_t>(y * 255 / 199)
                                                                                       << 8;
            frame[y * 320 + x] = y < 100 ? gradient | (noise >> 24) : checker ^ (noise >> 8 & 0x3F3F3F);
        }
    std::vector<uint16_t> cells(80 * 50);
    const SourceRect whole{0, 0, 320, 200};
    for (auto _ : state) {
        art.PKR_TCConverter::convertHighRes(frame.data(), &whole, 320, 0, 0, cells.data());
        benchmark::DoNotOptimize(cells.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ConvertHighResFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
