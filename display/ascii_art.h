// The ASCII-art converter: every 2x2 pixel cell becomes the printable
// character (32..126) of the 8x12 font whose blurred quadrants match the
// cell's four brightness levels best. init() builds the 65 536-entry pattern
// table once; a conversion is four brightness sums and one lookup per cell.
// Flag bit 0 turns on error feedback, which carries each cell's quantisation
// error over to the next conversion of the same cell.
#pragma once

#include <cstdint>

#include "display/converter.h"

class PKR_AsciiArt : public PKR_TCConverter {
public:
    constexpr PKR_AsciiArt() = default;
    PKR_AsciiArt(const PKR_AsciiArt&) = delete;
    PKR_AsciiArt& operator=(const PKR_AsciiArt&) = delete;

    void init() override;
    void convertCells(const uint32_t* pixels, const SourceRect* rect, int32_t pitch,
                      int32_t cellColumn, int32_t cellRow, uint16_t* cells) override;
    ~PKR_AsciiArt() override;

    uint8_t* glyphLut = nullptr;     // 65 536 character codes, one per quadrant pattern
    uint8_t* glyphLevels = nullptr;  // 4 quadrant levels per pattern, saturated at 255
    int8_t* errorBuffer = nullptr;   // 4 error terms per cell, 80 cells x 200 rows
};
