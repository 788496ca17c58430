#include "display/terminal_grid.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "effects/buffers.h"

namespace {

// The console's picture is 640 x 600 pixels: 80 x 50 cells of 8 x 12.
constexpr int64_t PictureWidth = 16;
constexpr int64_t PictureHeight = 15;

// n / d rounded to the nearest whole number, halves up (n, d > 0).
int64_t roundedQuotient(int64_t n, int64_t d) {
    return (2 * n + d) / (2 * d);
}

}  // namespace

CellShape cellShapeFor(int columns, int rows, int xPixels, int yPixels) {
    if (columns <= 0 || rows <= 0 || xPixels <= 0 || yPixels <= 0) return DefaultCellShape;
    // A cell is xPixels / columns wide and yPixels / rows tall.
    const int64_t width = int64_t{xPixels} * rows, height = int64_t{yPixels} * columns;
    const int64_t common = std::gcd(width, height);
    return {width / common, height / common};
}

bool consoleShaped(CellShape shape) {
    if (shape.width <= 0 || shape.height <= 0) return false;
    // width / height against 8 / 12, both sides times 12 height.
    const int64_t wide = shape.width * ConsoleCellShape.height, tall = shape.height * ConsoleCellShape.width;
    return 25 * std::llabs(wide - tall) <= tall;
}

PictureGrid pictureGridFor(int terminalColumns, int terminalRows, CellShape shape, FitMode mode) {
    if (shape.width <= 0 || shape.height <= 0) shape = DefaultCellShape;
    const bool roomForConsole = terminalColumns >= CellColumns && terminalRows >= CellRows;
    if (mode == FitMode::Exact || (roomForConsole && consoleShaped(shape))) return {};

    const int64_t maxColumns = std::clamp(terminalColumns, 1, MaxGridColumns);
    const int64_t maxRows = std::clamp(terminalRows, 1, MaxGridRows);
    // columns x shape.width : rows x shape.height = 16 : 15. As tall as the
    // terminal allows, unless that is too wide; then as wide as it allows.
    int64_t rows = maxRows;
    int64_t columns = roundedQuotient(rows * PictureWidth * shape.height, PictureHeight * shape.width);
    if (columns > maxColumns) {
        columns = maxColumns;
        rows = std::clamp<int64_t>(roundedQuotient(columns * PictureHeight * shape.width, PictureWidth * shape.height),
                                   1, maxRows);
    }
    columns = std::max<int64_t>(columns, 1);
    return {false, static_cast<int>(columns), static_cast<int>(rows)};
}

bool growRequestFor(int xPixels, int yPixels, int& width, int& height) {
    if (xPixels <= 0 || yPixels <= 0) return false;
    if (xPixels >= ConsolePictureWidth && yPixels >= ConsolePictureHeight) return false;
    const int64_t w = std::max(xPixels, ConsolePictureWidth), h = std::max(yPixels, ConsolePictureHeight);
    // Rounded up, so the area of the picture's shape holds w x h.
    if (w * PictureHeight > h * PictureWidth) {
        width = static_cast<int>(w);
        height = static_cast<int>((w * PictureHeight + PictureWidth - 1) / PictureWidth);
    } else {
        width = static_cast<int>((h * PictureWidth + PictureHeight - 1) / PictureHeight);
        height = static_cast<int>(h);
    }
    return true;
}
