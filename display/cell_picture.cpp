#include "display/cell_picture.h"

#include <cstddef>

#include "display/palette.h"

void drawCellsAsConsole(const uint16_t* cells, uint8_t* rgb) {
    drawCells(cells, CellColumns, CellRows, CellColumns, rgb);
}

void drawCells(const uint16_t* cells, int columns, int rows, int pitch, uint8_t* rgb) {
    const size_t width = static_cast<size_t>(columns) * GlyphWidth;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const uint16_t cell =
                cells[static_cast<size_t>(row) * static_cast<size_t>(pitch) + static_cast<size_t>(column)];
            const uint8_t character = static_cast<uint8_t>(cell);
            const uint8_t attribute = static_cast<uint8_t>(cell >> 8);
            const Rgb fg = ConsolePalette[attribute & 0x0F];
            const Rgb bg = ConsolePalette[attribute >> 4];
            for (int y = 0; y < GlyphHeight; ++y) {
                const uint8_t bits = Font8x12[character * GlyphHeight + y];
                uint8_t* out =
                    rgb +
                    (static_cast<size_t>(row * GlyphHeight + y) * width + static_cast<size_t>(column) * GlyphWidth) * 3;
                for (int x = 0; x < GlyphWidth; ++x, out += 3) {
                    const Rgb& c = (bits >> x) & 1 ? fg : bg;
                    out[0] = c.r;
                    out[1] = c.g;
                    out[2] = c.b;
                }
            }
        }
    }
}
