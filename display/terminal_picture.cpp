#include "display/terminal_picture.h"

TerminalPicture::TerminalPicture(ColourMode mode, FitMode fit, int columns, int rows, CellShape shape)
    : fit_(fit), frames_(mode, columns, rows), fitted_(new uint16_t[MaxGridColumns * MaxGridRows]) {
    setTerminal(columns, rows, shape);
}

void TerminalPicture::setTerminal(int columns, int rows, CellShape shape) {
    grid_ = pictureGridFor(columns, rows, shape, fit_);
    frames_.setTerminalSize(columns, rows);
    frames_.setGrid(grid_.columns, grid_.rows);
}

const uint16_t* TerminalPicture::cells(const uint8_t* glyphLut, const uint32_t* pixels, const uint16_t* consoleCells) {
    if (grid_.exact) return consoleCells;
    converter_.convert(glyphLut, pixels, consoleCells, grid_.columns, grid_.rows, fitted_.get());
    return fitted_.get();
}

std::string_view TerminalPicture::build(const uint8_t* glyphLut, const uint32_t* pixels, const uint16_t* consoleCells) {
    return frames_.build(cells(glyphLut, pixels, consoleCells));
}
