// Which cells a terminal of a given size shows: the console's own 80x50
// (exact) or the whole picture converted to the largest grid that fits the
// terminal in the console's shape, 640:600 pixels (fit). Pure functions, no
// terminal needed; the POSIX console and the render tool both use them.
//
// The 80x50 cells have the picture's shape only on cells of the console's
// 8x12 shape; on any other cells (most terminals' are about 1:2) they come
// out too narrow or too wide, so there the picture is fitted instead.
#pragma once

#include <cstdint>

inline constexpr int MaxGridColumns = 400;
inline constexpr int MaxGridRows = 200;

// fill: the picture in its true shape, as large as the terminal allows:
// exact where the terminal has room for 80x50 cells of the console's shape,
// fit otherwise; auto: nothing asked for, which is fill; exact: 80x50
// always, whatever the cells' shape (cropped when too small).
enum class FitMode : uint8_t { Auto, Fill, Exact };

// The shape of one terminal cell, width : height in pixels (any scale).
struct CellShape {
    int64_t width = 1;
    int64_t height = 2;
};
// Cells taken as twice as tall as wide, when the terminal does not say.
inline constexpr CellShape DefaultCellShape{1, 2};
// The console's own cells, 8x12 pixels.
inline constexpr CellShape ConsoleCellShape{8, 12};

// True when `shape` is the console's to within 4 % (a terminal's cells are
// whole pixels: 8x12 scaled is rarely exact).
bool consoleShaped(CellShape shape);

// The cell shape of a terminal of `columns` x `rows` cells whose text area
// is `xPixels` x `yPixels` (TIOCGWINSZ); the default when any is 0.
CellShape cellShapeFor(int columns, int rows, int xPixels, int yPixels);

struct PictureGrid {
    bool exact = true;  // the 80x50 cells themselves
    int columns = 80;
    int rows = 50;
};

// Fit: the largest grid of at most the terminal's size (and 400 x 200)
// whose cells, `shape`d, make a picture of 640:600, each side rounded to
// the nearest cell; at least 1 x 1.
PictureGrid pictureGridFor(int terminalColumns, int terminalRows, CellShape shape, FitMode mode);

// The console's picture in pixels: 80x50 cells of 8x12.
inline constexpr int ConsolePictureWidth = 640;
inline constexpr int ConsolePictureHeight = 600;

// The text area, in pixels, to ask a terminal whose text area is `xPixels`
// x `yPixels` to grow to: the smallest of the picture's shape (16:15) that
// holds both it and the console's 640x600, so that no side shrinks. False
// when the area is unknown (0) or holds 640x600 already: nothing to ask.
bool growRequestFor(int xPixels, int yPixels, int& width, int& height);
