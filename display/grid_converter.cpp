#include "display/grid_converter.h"

#include <algorithm>
#include <cstddef>
#include <numeric>

#include "effects/buffers.h"

namespace {

// The 80x50 conversion averages each channel with its two low bits dropped;
// 3 R + 6 G + B of such channels is 4 (3 r + 6 g + b) for their six high
// bits r, g, b. So a pixel's value 3 r + 6 g + b (0..630) is 10 / 4 x its
// brightness, and a quarter's level, its mean brightness / 16, is its mean
// value / 40 (the divisions truncating, which is the same as one).
constexpr int ValuePerLevel = 40;
constexpr uint32_t MaxValue = 3 * 63 + 6 * 63 + 63;

inline uint16_t pixelValue(uint32_t p) {
    return static_cast<uint16_t>(3 * (p >> 18 & 63) + 6 * (p >> 10 & 63) + (p >> 2 & 63));
}

// Room for the weights of one axis: quarters x taps is at most pixels + 2
// quarters (each quarter spans pixels / quarters + 2 pixels at most).
constexpr size_t axisWeights(int pixels, int maxQuarters) {
    return static_cast<size_t>(pixels + 2 * maxQuarters);
}

// x / d for the level, by a multiplication: with m = 2^48 / d + 1 the
// product's top bits are exact for quotients up to 15 as long as 16 d^2 <
// 2^48, and d is at most 160 x 100 x 40.
constexpr int LevelShift = 48;
static_assert(16.0 * 640000.0 * 640000.0 < static_cast<double>(uint64_t{1} << LevelShift));

}  // namespace

// One row of cells from the weighted pixel columns of its upper and lower
// quarters. The usual grids have quarters of one to five pixels, and a
// fixed count of taps lets the compiler unroll them; Taps 0 counts them at
// run time. Each quarter column's weights serve both quarter rows.
template <int Taps>
void GridConverter::cellRow(const uint8_t* glyphLut, const uint16_t* upper, const uint16_t* lower,
                            const uint16_t* consoleRow, uint16_t* cells) const {
    // Locals, so that the stores (which may alias them) do not make the
    // compiler load them again for every cell.
    const int taps = Taps > 0 ? Taps : across_.taps;
    const int columns = columns_;
    const uint16_t* w = across_.weights.get();
    const int32_t* first = across_.first.get();
    const int16_t* consoleColumn = consoleColumn_.get();
    const uint64_t multiplier = levelMultiplier_;
    for (int j = 0; j < columns; ++j) {
        uint32_t pattern = 0;
        uint32_t lowerLevels = 0;
        for (int half = 0; half < 2; ++half, w += taps) {
            const int k = 2 * j + half;
            const uint16_t* u = upper + first[k];
            const uint16_t* l = lower + first[k];
            uint32_t top = 0, bottom = 0;
            for (int t = 0; t < taps; ++t) {
                top += uint32_t{w[t]} * u[t];
                bottom += uint32_t{w[t]} * l[t];
            }
            pattern = pattern << 4 | static_cast<uint32_t>(top * multiplier >> LevelShift);
            lowerLevels = lowerLevels << 4 | static_cast<uint32_t>(bottom * multiplier >> LevelShift);
        }
        pattern = pattern << 8 | lowerLevels;
        cells[j] = static_cast<uint16_t>((consoleRow[consoleColumn[j]] & 0xFF00u) | glyphLut[pattern]);
    }
}

GridConverter::GridConverter()
    : consoleColumn_(new int16_t[MaxGridColumns]),
      consoleRow_(new int16_t[MaxGridRows]),
      values_(new uint16_t[ScreenPixels]),
      columnSums_(new uint16_t[2 * ScreenWidth]) {
    across_.first.reset(new int32_t[2 * MaxGridColumns]);
    across_.weights.reset(new uint16_t[axisWeights(ScreenWidth, 2 * MaxGridColumns)]);
    down_.first.reset(new int32_t[2 * MaxGridRows]);
    down_.weights.reset(new uint16_t[axisWeights(ScreenHeight, 2 * MaxGridRows)]);
}

// Along an axis of `pixels` pixels cut into `quarters`, lengths are counted
// in 1/quarters of a pixel: quarter k spans [pixels k, pixels (k + 1)) and
// pixel x spans [quarters x, quarters (x + 1)), so every overlap is whole.
// Every overlap is a multiple of gcd(pixels, quarters), which is divided
// out: a quarter then weighs pixels / gcd in all, at most half the pixels
// as the quarters are always even in number.
void GridConverter::buildAxis(Axis& axis, int quarters, int pixels, int maxQuarters) {
    const int64_t p = pixels, q = quarters;
    const int64_t unit = std::gcd(p, q);
    int taps = 1;
    for (int k = 0; k < quarters; ++k) {
        const int64_t first = p * k / q, last = (p * (k + 1) - 1) / q;
        taps = std::max(taps, static_cast<int>(last - first + 1));
    }
    axis.quarters = quarters;
    axis.taps = taps;
    axis.total = static_cast<uint32_t>(p / unit);
    std::fill_n(axis.weights.get(), axisWeights(pixels, maxQuarters), uint16_t{0});
    for (int k = 0; k < quarters; ++k) {
        const int64_t begin = p * k, end = p * (k + 1);
        const int64_t first = begin / q;
        // Quarters near the far edge start early enough that all their taps
        // stay inside the picture; the extra ones weigh nothing.
        const int64_t start = std::min<int64_t>(first, pixels - taps);
        axis.first[k] = static_cast<int32_t>(start);
        uint16_t* w = &axis.weights[static_cast<size_t>(k) * static_cast<size_t>(taps)];
        for (int t = 0; t < taps; ++t) {
            const int64_t x = start + t;
            const int64_t overlap = std::min(end, q * (x + 1)) - std::max(begin, q * x);
            w[t] = overlap > 0 ? static_cast<uint16_t>(overlap / unit) : uint16_t{0};
        }
    }
}

void GridConverter::prepare(int columns, int rows) {
    if (columns == columns_ && rows == rows_) return;
    columns_ = columns;
    rows_ = rows;
    buildAxis(across_, 2 * columns, ScreenWidth, 2 * MaxGridColumns);
    buildAxis(down_, 2 * rows, ScreenHeight, 2 * MaxGridRows);
    // A column sum is at most 100 x 630 and fits 16 bits; a quarter's total
    // at most 160 x 100 x 630 fits 32.
    const uint64_t divisor = uint64_t{across_.total} * down_.total * ValuePerLevel;
    levelMultiplier_ = (uint64_t{1} << LevelShift) / divisor + 1;
    // The centre of cell j is at pixel (j + 1/2) 320 / W, in the 80x50 cell
    // column (2j + 1) 40 / W; a centre on a border takes the cell after it.
    for (int j = 0; j < columns; ++j)
        consoleColumn_[j] = static_cast<int16_t>((2 * j + 1) * (CellColumns / 2) / columns);
    for (int i = 0; i < rows; ++i) consoleRow_[i] = static_cast<int16_t>((2 * i + 1) * (CellRows / 2) / rows);
}

void GridConverter::convert(const uint8_t* glyphLut, const uint32_t* pixels, const uint16_t* consoleCells, int columns,
                            int rows, uint16_t* out) {
    if (columns < 1 || columns > MaxGridColumns || rows < 1 || rows > MaxGridRows) return;
    prepare(columns, rows);
    static_assert(MaxValue * (ScreenHeight / 2) <= UINT16_MAX);

    uint16_t* const values = values_.get();
    for (int i = 0; i < ScreenPixels; ++i) values[i] = pixelValue(pixels[i]);

    const int tapsDown = down_.taps;
    uint16_t* const sums[2] = {columnSums_.get(), columnSums_.get() + ScreenWidth};
    for (int m = 0; m < down_.quarters; ++m) {
        // Down first: each pixel column of this quarter row, weighted by
        // how much of each pixel row lies inside it.
        const uint16_t* wy = &down_.weights[static_cast<size_t>(m) * static_cast<size_t>(tapsDown)];
        const uint16_t* source = values + static_cast<ptrdiff_t>(down_.first[m]) * ScreenWidth;
        uint16_t* sum = sums[m & 1];
        bool started = false;
        for (int t = 0; t < tapsDown; ++t, source += ScreenWidth) {
            const uint16_t w = wy[t];
            if (w == 0) continue;
            if (started) {
                for (int x = 0; x < ScreenWidth; ++x) sum[x] = static_cast<uint16_t>(sum[x] + w * source[x]);
            } else {
                for (int x = 0; x < ScreenWidth; ++x) sum[x] = static_cast<uint16_t>(w * source[x]);
                started = true;
            }
        }
        if ((m & 1) == 0) continue;

        // Then across, a row of cells at a time.
        const int i = m / 2;
        const uint16_t* consoleRow = consoleCells + consoleRow_[i] * CellColumns;
        uint16_t* cells = out + static_cast<ptrdiff_t>(i) * columns;
        switch (across_.taps) {
        case 1:
            cellRow<1>(glyphLut, sums[0], sums[1], consoleRow, cells);
            break;
        case 2:
            cellRow<2>(glyphLut, sums[0], sums[1], consoleRow, cells);
            break;
        case 3:
            cellRow<3>(glyphLut, sums[0], sums[1], consoleRow, cells);
            break;
        case 4:
            cellRow<4>(glyphLut, sums[0], sums[1], consoleRow, cells);
            break;
        case 5:
            cellRow<5>(glyphLut, sums[0], sums[1], consoleRow, cells);
            break;
        default:
            cellRow<0>(glyphLut, sums[0], sums[1], consoleRow, cells);
            break;
        }
    }
}
