// The picture at a terminal's own grid, once per frame: 80x24 (the usual
// window, ~51x24 fitted, the whole width at most) and 240x100 (a large
// window filled). The pictures come from a ring bigger than the last-level
// cache, so every frame is read from memory, as the demo's is after the
// effects have run over their own buffers.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/frame_timer.h"
#include "display/ascii_art.h"
#include "display/grid_converter.h"
#include "effects/buffers.h"

namespace {

constexpr int RingPictures = 192;  // 48 MiB of pictures

const std::vector<uint32_t>& pictureRing() {
    static const std::vector<uint32_t> ring = [] {
        std::vector<uint32_t> pictures(static_cast<size_t>(RingPictures) * ScreenPixels);
        uint32_t noise = 12345;
        for (auto& p : pictures) {
            noise = noise * 1664525u + 1013904223u;
            p = noise >> 8;
        }
        return pictures;
    }();
    return ring;
}

void BM_GridConversion(benchmark::State& state) {
    const int columns = static_cast<int>(state.range(0)), rows = static_cast<int>(state.range(1));
    static PKR_AsciiArt art;
    if (art.glyphLut == nullptr) art.init();
    const std::vector<uint32_t>& ring = pictureRing();
    std::vector<uint16_t> console(CellCount, 0x0700);
    std::vector<uint16_t> cells(static_cast<size_t>(columns) * static_cast<size_t>(rows));
    GridConverter converter;
    FrameTimer timer(state);
    timer.run([&](size_t i) {
        const uint32_t* picture = ring.data() + (i % RingPictures) * ScreenPixels;
        converter.convert(art.glyphLut, picture, console.data(), columns, rows, cells.data());
        benchmark::DoNotOptimize(cells.data());
        benchmark::ClobberMemory();
    });
}
BENCHMARK(BM_GridConversion)
    ->Args({80, 24})
    ->Args({51, 24})
    ->Args({240, 100})
    ->Args({80, 50})
    ->ArgNames({"columns", "rows"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
