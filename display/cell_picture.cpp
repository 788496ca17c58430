#include "display/cell_picture.h"

#include "display/palette.h"

void drawCellsAsConsole(const uint16_t* cells, uint8_t* rgb) {
    for (int row = 0; row < CellRows; ++row) {
        for (int column = 0; column < CellColumns; ++column) {
            const uint16_t cell = cells[row * CellColumns + column];
            const uint8_t character = static_cast<uint8_t>(cell);
            const uint8_t attribute = static_cast<uint8_t>(cell >> 8);
            const Rgb fg = ConsolePalette[attribute & 0x0F];
            const Rgb bg = ConsolePalette[attribute >> 4];
            for (int y = 0; y < GlyphHeight; ++y) {
                const uint8_t bits = Font8x12[character * GlyphHeight + y];
                uint8_t* out = rgb + ((row * GlyphHeight + y) * ScreenshotWidth + column * GlyphWidth) * 3;
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
