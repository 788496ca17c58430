// What a terminal of a given size shows of each frame: the grid rule
// (display/terminal_grid.h) picks exact 80x50 cells or a fitted grid, the
// fitted cells come from the FrameBuffer and the CellBuffer's colours
// (display/grid_converter.h), and the frame's bytes from AnsiFrameBuilder.
// A presentation step only: it reads the frame pipeline's buffers and
// changes neither. Shared by the POSIX console and the render tool; no
// terminal needed. Allocates when made and when the grid grows, never per
// frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "display/ansi_frame.h"
#include "display/grid_converter.h"
#include "display/terminal_grid.h"

class TerminalPicture {
public:
    TerminalPicture(ColourMode mode, FitMode fit, int columns = CellColumns, int rows = CellRows,
                    CellShape shape = DefaultCellShape);

    // The terminal's size or cell shape changed: the grid is chosen again
    // and the next frame clears the screen and repaints everything.
    void setTerminal(int columns, int rows, CellShape shape);

    // The cells of the grid for this frame: `consoleCells` itself when
    // exact, else the picture converted from `pixels` (with `glyphLut`, the
    // ASCII-art pattern table). grid().columns per row; valid until the
    // next call.
    const uint16_t* cells(const uint8_t* glyphLut, const uint32_t* pixels, const uint16_t* consoleCells);

    // The bytes that show this frame (cells() put on screen).
    std::string_view build(const uint8_t* glyphLut, const uint32_t* pixels, const uint16_t* consoleCells);

    const PictureGrid& grid() const { return grid_; }
    AnsiFrameBuilder& frames() { return frames_; }

private:
    FitMode fit_;
    PictureGrid grid_;
    AnsiFrameBuilder frames_;
    GridConverter converter_;
    std::unique_ptr<uint16_t[]> fitted_;
};
