// The cells as the classic console shows them: each cell 8x12 pixels of the
// font, foreground and background from the console palette. The render
// tool's screenshots and video, and the browser edition, all draw with this.
#pragma once

#include <cstdint>

#include "display/font8x12.h"
#include "effects/buffers.h"

inline constexpr int ScreenshotWidth = CellColumns * GlyphWidth;  // 640
inline constexpr int ScreenshotHeight = CellRows * GlyphHeight;   // 600

// The CellBuffer's 80x50 cells into 640x600 RGB bytes, rows top to bottom.
void drawCellsAsConsole(const uint16_t* cells, uint8_t* rgb);

// Any grid the same way: `columns` x `rows` cells, `pitch` cells from one
// row to the next, into (8 columns) x (12 rows) RGB bytes.
void drawCells(const uint16_t* cells, int columns, int rows, int pitch, uint8_t* rgb);
