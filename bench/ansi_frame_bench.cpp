// Building a frame's terminal bytes: all cells (first frame, resize) and the
// usual case of a picture that changes in part.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "display/ansi_frame.h"

namespace {

// Two alternating pictures of ASCII art that differ in about `changedPercent` of their cells.
std::vector<std::vector<uint16_t>> pictures(int changedPercent) {
    std::mt19937 random(3);
    std::vector<uint16_t> a(CellCount);
    for (auto& c : a) c = static_cast<uint16_t>((32 + random() % 95) | 0x0700);
    std::vector<uint16_t> b = a;
    for (auto& c : b)
        if (static_cast<int>(random() % 100) < changedPercent) c = static_cast<uint16_t>((32 + random() % 95) | 0x0F00);
    return {a, b};
}

void BM_FullRepaint(benchmark::State& state) {
    const auto frames = pictures(100);
    AnsiFrameBuilder builder(static_cast<ColourMode>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        builder.repaintAll();
        bytes += builder.build(frames[0].data()).size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_FullRepaint)->Arg(0)->Arg(1)->ArgName("truecolour");

void BM_ChangedCells(benchmark::State& state) {
    const auto frames = pictures(static_cast<int>(state.range(0)));
    AnsiFrameBuilder builder(ColourMode::Ansi16);
    size_t bytes = 0, n = 0;
    for (auto _ : state) bytes += builder.build(frames[n++ & 1].data()).size();
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ChangedCells)->Arg(5)->Arg(30)->Arg(70)->ArgName("percent");

}  // namespace
