// Which cells a terminal of a given size shows: the console's own 80x50
// (exact) or the whole picture converted to the largest grid that fits the
// terminal in the console's shape, 640:600 pixels (fit). Pure functions, no
// terminal needed; the POSIX console and the render tool both use them.
#pragma once

#include <cstdint>

#include "effects/buffers.h"

inline constexpr int MaxGridColumns = 400;
inline constexpr int MaxGridRows = 200;

// auto: exact when the terminal has room for 80x50 cells, fit otherwise;
// fill: fit whatever the size; exact: 80x50 always (cropped when too small).
enum class FitMode : uint8_t { Auto, Fill, Exact };

// The shape of one terminal cell, width : height in pixels (any scale).
struct CellShape {
    int64_t width = 1;
    int64_t height = 2;
};
// Cells taken as twice as tall as wide, when the terminal does not say.
inline constexpr CellShape DefaultCellShape{1, 2};

// The cell shape of a terminal of `columns` x `rows` cells whose text area
// is `xPixels` x `yPixels` (TIOCGWINSZ); the default when any is 0.
CellShape cellShapeFor(int columns, int rows, int xPixels, int yPixels);

struct PictureGrid {
    bool exact = true;  // the 80x50 cells themselves
    int columns = CellColumns;
    int rows = CellRows;
};

// Fit: the largest grid of at most the terminal's size (and 400 x 200)
// whose cells, `shape`d, make a picture of 640:600, each side rounded to
// the nearest cell; at least 1 x 1.
PictureGrid pictureGridFor(int terminalColumns, int terminalRows, CellShape shape, FitMode mode);
