// What hazelglow-render can do with each rendered frame. Every output is a
// FrameOutput: told of each frame after it is finished (FrameBuffer and
// CellBuffer hold it), then told once that the run is over.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "demo/pipeline.h"
#include "effects/result.h"

class FrameOutput {
public:
    virtual ~FrameOutput() = default;
    // n counts frames from 1, t = 40 n. A failure stops the run.
    virtual Result frame(int n, int32_t t) = 0;
    virtual Result finish() { return Result::ok(); }
};

// 64-bit FNV-1a over a byte run, continuing from `hash`.
inline constexpr uint64_t FnvOffsetBasis = 0xcbf29ce484222325ull;
uint64_t fnv1a64(const void* bytes, size_t count, uint64_t hash = FnvOffsetBasis);
// The two hashes of the --hashes contract.
uint64_t frameBufferHash();  // 64 000 words & 0x00FFFFFF, 4 little-endian bytes each
uint64_t cellBufferHash();   // 4 000 cells, 2 little-endian bytes each

std::unique_ptr<FrameOutput> makeHashOutput(FILE* out);
std::unique_ptr<FrameOutput> makeDumpOutput(const std::string& dir);
struct TerminalSpec;
class PKR_AsciiArt;
// frame_<n>.png: the cells a terminal of that size shows (the part of its
// grid inside it), drawn with the console's font and palette; 640x600 for
// the default 80x50.
std::unique_ptr<FrameOutput> makePngOutput(const std::string& dir, const TerminalSpec& terminal,
                                           const PKR_AsciiArt* converter);

// --stats: times every stage of every frame; prints a table per scene at the end.
class StatsOutput : public FrameOutput, public StageObserver {
public:
    virtual void frameStarting() = 0;
};
std::unique_ptr<StatsOutput> makeStatsOutput(FILE* out);
