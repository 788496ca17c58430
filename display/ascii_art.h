// The ASCII-art converter: every 2x2 pixel cell becomes the printable
// character (32..126) of the 8x12 font whose blurred quadrants match the
// cell's four brightness levels best. init() builds the 65 536-entry pattern
// table once; a conversion is four brightness sums and one lookup per cell.
// Flag bit 0 turns on error feedback, which carries each cell's quantisation
// error over to the next conversion of the same cell.
#pragma once

#include <cstdint>

#include "display/converter.h"

// Blurred brightness sums of one glyph's four 4x6 quadrants: top-left,
// top-right, bottom-left, bottom-right. The blur peaks at 510, so a sum is
// at most 24 x 510 = 12 240.
struct GlyphQuadrants {
    int32_t sum[4];
};

class PKR_AsciiArt : public PKR_TCConverter {
public:
    constexpr PKR_AsciiArt() = default;
    PKR_AsciiArt(const PKR_AsciiArt&) = delete;
    PKR_AsciiArt& operator=(const PKR_AsciiArt&) = delete;

    void init() override;
    void convertCells(const uint32_t* pixels, const SourceRect* rect, int32_t pitch, int32_t cellColumn,
                      int32_t cellRow, uint16_t* cells) override;
    ~PKR_AsciiArt() override;

    // The table build of init() for any glyph measurements (records indexed
    // by character code, 32..126 read): fills 65 536 lut entries and
    // 4 x 65 536 levels with the closest character, lowest code on a tie.
    static void matchPatterns(const GlyphQuadrants* records, uint8_t* lut, uint8_t* levels);

    uint8_t* glyphLut = nullptr;     // 65 536 character codes, one per quadrant pattern
    uint8_t* glyphLevels = nullptr;  // 4 quadrant levels per pattern, saturated at 255
    int8_t* errorBuffer = nullptr;   // 4 error terms per cell, 80 cells x 200 rows
};
