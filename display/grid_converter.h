// The picture at any cell grid: the 320x200 FrameBuffer as W x H cells
// (1 <= W <= 400, 1 <= H <= 200), for terminals that cannot show 80x50.
//
// Each cell covers 320/W x 200/H pixels and each of its quarters gets the
// mean brightness of the pixels under it, every pixel weighted by the area
// it covers (a box filter, so the picture does not flicker as the grid
// changes). Brightness is taken and quantised exactly as the 80x50
// conversion does (channels with their two low bits dropped, (3R + 6G +
// B) / 10, then 16 levels) and the four levels are looked up in the
// ASCII-art converter's pattern table, so at 80x50 the result is the
// CellBuffer's characters. Colour: the attribute of the 80x50 cell under
// the cell's centre, so the colour passes carry over unchanged.
//
// The weights are whole numbers (overlaps counted in 1/(2W) and 1/(2H) of
// a pixel), so no rounding enters anywhere. Main thread only; allocates only when constructed.
#pragma once

#include <cstdint>
#include <memory>

#include "display/terminal_grid.h"

class GridConverter {
public:
    GridConverter();

    // The FrameBuffer-sized `pixels` and the 80x50 `consoleCells` (for the
    // attributes) into columns x rows cells at `out`, row-major, `columns`
    // per row. `glyphLut` is PKR_AsciiArt's 65 536-entry pattern table.
    // Sizes outside 1..400 x 1..200 write nothing.
    void convert(const uint8_t* glyphLut, const uint32_t* pixels, const uint16_t* consoleCells, int columns, int rows,
                 uint16_t* out);

private:
    // The pixels a run of quarters covers along one axis, with their overlaps:
    // quarter k starts at pixel first[k] and weighs taps pixels from there
    // (zero weights pad the short ones).
    struct Axis {
        int quarters = 0;
        int taps = 0;
        uint32_t total = 0;  // what each quarter's weights add up to
        std::unique_ptr<int32_t[]> first;
        std::unique_ptr<uint16_t[]> weights;  // quarters x taps
    };
    static void buildAxis(Axis& axis, int quarters, int pixels, int maxQuarters);
    template <int Taps>
    void cellRow(const uint8_t* glyphLut, const uint16_t* upper, const uint16_t* lower, const uint16_t* consoleRow,
                 uint16_t* cells) const;

    void prepare(int columns, int rows);

    int columns_ = 0, rows_ = 0;
    Axis across_, down_;
    std::unique_ptr<int16_t[]> consoleColumn_;  // 80x50 cell column under each cell's centre
    std::unique_ptr<int16_t[]> consoleRow_;
    uint64_t levelMultiplier_ = 0;            // divides a quarter's weighted sum down to its level
    std::unique_ptr<uint16_t[]> values_;      // per pixel, 40 x the brightness
    std::unique_ptr<uint16_t[]> columnSums_;  // a cell row's two quarter rows, weighted pixel columns
};
