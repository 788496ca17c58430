// The colour passes: attribute flashes on the converted cells. Characters
// are never touched; each pass replaces whole attribute bytes with entries
// of a ramp that starts bright and decays to light grey.
#include "effects/effects.h"

int32_t FlashStep = 9;
int32_t BlockAge[16] = {};
int32_t BlockPickCounter = 0;
int32_t NextBlockPickTime = 0;

namespace {

constexpr int RampLength = 10;
using FlashRamp = uint8_t[RampLength];

constexpr FlashRamp CyanRamp = {15, 11, 11, 3, 3, 7, 7, 7, 7, 7};
constexpr FlashRamp RedRamp = {12, 12, 12, 4, 4, 4, 7, 7, 7, 7};
constexpr FlashRamp BlockRamp = {15, 11, 11, 3, 3, 9, 1, 3, 7, 7};

constexpr int BlockCount = 16;
constexpr int BlockColumns = 4;
constexpr int BlockWidth = CellColumns / BlockColumns;  // 20 cells
constexpr int MaxBlockAge = 19;
constexpr int32_t BlockPickStride = 581;
constexpr int32_t BlockPickInterval = 80;  // ms

// First cell row of each band of blocks, and the end of the last.
constexpr int BandStart[5] = {0, 12, 25, 38, 50};

// Ramp positions come from state that tests may set freely; keep them in range.
inline int rampIndex(int32_t i) {
    return i < 0 ? 0 : (i >= RampLength ? RampLength - 1 : i);
}

inline void paintCells(uint16_t* cells, int count, uint8_t attribute) {
    const uint16_t high = static_cast<uint16_t>(attribute << 8);
    for (int i = 0; i < count; ++i) cells[i] = static_cast<uint16_t>((cells[i] & 0x00FFu) | high);
}

// The whole screen flashes once a second: ramp[0] for the five frames with
// e mod 1000 in 720..880, then one step further down the ramp per frame.
void flashWholeScreen(int32_t e, const FlashRamp& ramp) {
    const int64_t phase = ((static_cast<int64_t>(e) + 300) % 1000) / 100;
    const int32_t i = phase < 2 ? 0 : rampIndex(FlashStep);
    paintCells(CellBuffer, CellCount, ramp[i]);
    FlashStep = i + 1 < RampLength - 1 ? i + 1 : RampLength - 1;
}

}  // namespace

void resetColourPassState() {
    FlashStep = 9;
    for (int32_t& age : BlockAge) age = 0;
    BlockPickCounter = 0;
    NextBlockPickTime = 0;
}

void CyanFlashPass(int32_t e) {
    flashWholeScreen(e, CyanRamp);
}

void RedFlashPass(int32_t e) {
    flashWholeScreen(e, RedRamp);
}

void BlockFlashPass(int32_t e) {
    if (NextBlockPickTime == 0 || e >= NextBlockPickTime) {
        int32_t b = (BlockPickCounter / 64) % BlockCount;
        if (b < 0) b += BlockCount;  // only after the counter has wrapped
        BlockAge[b] = 0;
        // Wrapping arithmetic: days of running must not overflow.
        BlockPickCounter = static_cast<int32_t>(static_cast<uint32_t>(BlockPickCounter) + BlockPickStride);
        NextBlockPickTime = static_cast<int32_t>(static_cast<uint32_t>(e) + BlockPickInterval);
    }

    uint8_t attribute[BlockCount];
    for (int k = 0; k < BlockCount; ++k) attribute[k] = BlockRamp[rampIndex(BlockAge[k] / 2)];
    for (int band = 0; band < 4; ++band)
        for (int row = BandStart[band]; row < BandStart[band + 1]; ++row)
            for (int column = 0; column < BlockColumns; ++column)
                paintCells(CellBuffer + row * CellColumns + column * BlockWidth, BlockWidth,
                           attribute[band * BlockColumns + column]);

    for (int32_t& age : BlockAge)
        if (age < MaxBlockAge) ++age;
}
