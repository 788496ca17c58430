#include "display/ascii_art.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "display/font8x12.h"
#include "effects/buffers.h"

namespace {

constexpr int FirstChar = 32;
constexpr int LastChar = 126;
constexpr int CharCount = LastChar - FirstChar + 1;  // 95
constexpr int Lanes = 96;                            // CharCount rounded up for the vector loops
constexpr int PatternCount = 65536;
constexpr int Levels = 16;
constexpr int LevelStep = 384;  // 24 pixels of a quadrant x 16 brightness steps
constexpr int QuadrantPixels = 24;
constexpr int ErrorBytes = 64000;  // 4 terms x 80 cells x 200 rows

// Expands a glyph to 0/255 pixels, blurs it with the 1-2-1 kernel over 8
// (so the blur peaks at 510, not 255) and sums its four 4x6 quadrants.
GlyphQuadrants measureGlyph(const uint8_t* rows) {
    int32_t lit[GlyphHeight + 2][GlyphWidth + 2] = {};  // one blank pixel of border all round
    for (int r = 0; r < GlyphHeight; ++r)
        for (int k = 0; k < GlyphWidth; ++k) lit[r + 1][k + 1] = (rows[r] >> k) & 1 ? 255 : 0;

    GlyphQuadrants q{};
    for (int r = 0; r < GlyphHeight; ++r) {
        for (int k = 0; k < GlyphWidth; ++k) {
            const int y = r + 1, x = k + 1;
            const int32_t blurred =
                (4 * lit[y][x] + 2 * (lit[y][x - 1] + lit[y][x + 1] + lit[y - 1][x] + lit[y + 1][x]) +
                 lit[y - 1][x - 1] + lit[y - 1][x + 1] + lit[y + 1][x - 1] + lit[y + 1][x + 1]) /
                8;
            q.sum[(r >= GlyphHeight / 2 ? 2 : 0) + (k >= GlyphWidth / 2 ? 1 : 0)] += blurred;
        }
    }
    return q;
}

inline uint32_t brightness(uint32_t pixel) {
    return (3 * ((pixel >> 16) & 0xFF) + 6 * ((pixel >> 8) & 0xFF) + (pixel & 0xFF)) / 10;
}

}  // namespace

void PKR_AsciiArt::init() {
    GlyphQuadrants glyphs[256] = {};
    if (glyphLut == nullptr) glyphLut = static_cast<uint8_t*>(allocateOrAbort(PatternCount));
    if (glyphLevels == nullptr) glyphLevels = static_cast<uint8_t*>(allocateOrAbort(PatternCount * 4));
    if (errorBuffer == nullptr) errorBuffer = static_cast<int8_t*>(allocateOrAbort(ErrorBytes));
    std::memset(errorBuffer, 0, ErrorBytes);

    for (int ch = FirstChar; ch <= LastChar; ++ch) glyphs[ch] = measureGlyph(&Font8x12[ch * GlyphHeight]);
    matchPatterns(glyphs, glyphLut, glyphLevels);
}

void PKR_AsciiArt::matchPatterns(const GlyphQuadrants* glyphs, uint8_t* lut, uint8_t* levels) {
    // The distance of a character to a pattern is a sum of four independent
    // per-quadrant squares, so tabulate (sum - target)^2 per quadrant, level
    // and character, and build the sum up as the loops over the levels nest.
    // The largest real distance is below 2^30; the padding lane's 2^28 per
    // quadrant keeps it from ever winning.
    alignas(32) int32_t quadDistance[4][Levels][Lanes];
    for (int q = 0; q < 4; ++q) {
        for (int level = 0; level < Levels; ++level) {
            for (int c = 0; c < Lanes; ++c) {
                if (c < CharCount) {
                    const int32_t d = glyphs[FirstChar + c].sum[q] - LevelStep * level;
                    quadDistance[q][level][c] = d * d;
                } else {
                    quadDistance[q][level][c] = 1 << 28;
                }
            }
        }
    }

    // Every character's four levels as they are stored (one byte each, so
    // the few blurred quadrants brighter than 255 saturate).
    uint8_t levelsOf[CharCount][4];
    for (int c = 0; c < CharCount; ++c)
        for (int q = 0; q < 4; ++q)
            levelsOf[c][q] = static_cast<uint8_t>(std::min(glyphs[FirstChar + c].sum[q] / QuadrantPixels, 255));

    alignas(32) int32_t top[Lanes];
    alignas(32) int32_t upper3[Lanes];
    alignas(32) int32_t total[Lanes];
    int pattern = 0;
    for (int tl = 0; tl < Levels; ++tl) {
        for (int tr = 0; tr < Levels; ++tr) {
            for (int c = 0; c < Lanes; ++c) top[c] = quadDistance[0][tl][c] + quadDistance[1][tr][c];
            for (int bl = 0; bl < Levels; ++bl) {
                for (int c = 0; c < Lanes; ++c) upper3[c] = top[c] + quadDistance[2][bl][c];
                for (int br = 0; br < Levels; ++br, ++pattern) {
                    int32_t best = INT_MAX;
                    for (int c = 0; c < Lanes; ++c) {
                        total[c] = upper3[c] + quadDistance[3][br][c];
                        best = std::min(best, total[c]);
                    }
                    // The first character at the minimum is the lowest code,
                    // as a search keeping only strictly better ones would pick.
                    int c = 0;
                    while (total[c] != best) ++c;
                    lut[pattern] = static_cast<uint8_t>(FirstChar + c);
                    std::memcpy(&levels[4 * pattern], levelsOf[c], 4);
                }
            }
        }
    }
}

void PKR_AsciiArt::convertCells(const uint32_t* pixels, const SourceRect* rect, int32_t pitch, int32_t cellColumn,
                                int32_t cellRow, uint16_t* cells) {
    const int32_t cols = (rect->right - rect->left) / 2;
    const int32_t rows = (rect->bottom - rect->top) / 2;
    if (rows < 1 || cols < 1) return;
    const bool feedback = (flags & 1u) != 0;

    for (int32_t i = 0; i < rows; ++i) {
        const uint32_t* upper = pixels + static_cast<std::ptrdiff_t>(rect->top + 2 * i) * pitch + rect->left;
        const uint32_t* lower = upper + pitch;
        const std::ptrdiff_t firstCell = static_cast<std::ptrdiff_t>(cellRow + i) * CellColumns + cellColumn;
        uint16_t* out = cells + firstCell;

        if (!feedback) {
            for (int32_t j = 0; j < cols; ++j) {
                const uint32_t pattern = (brightness(upper[2 * j]) >> 4) << 12 |
                                         (brightness(upper[2 * j + 1]) >> 4) << 8 |
                                         (brightness(lower[2 * j]) >> 4) << 4 | (brightness(lower[2 * j + 1]) >> 4);
                out[j] = static_cast<uint16_t>(0x0700 | glyphLut[pattern]);
            }
            continue;
        }

        for (int32_t j = 0; j < cols; ++j) {
            int8_t* error = errorBuffer + 4 * (firstCell + j);
            const uint32_t quadrant[4] = {upper[2 * j], upper[2 * j + 1], lower[2 * j], lower[2 * j + 1]};
            int32_t adjusted[4];
            uint32_t pattern = 0;
            for (int q = 0; q < 4; ++q) {
                adjusted[q] = std::clamp(static_cast<int32_t>(brightness(quadrant[q])) + error[q], 0, 255);
                pattern = pattern << 4 | static_cast<uint32_t>(adjusted[q]) >> 4;
            }
            out[j] = static_cast<uint16_t>(0x0700 | glyphLut[pattern]);
            // The difference spans -255..255; clamping keeps its sign where
            // keeping the low byte would turn a large error around.
            for (int q = 0; q < 4; ++q)
                error[q] = static_cast<int8_t>(std::clamp(glyphLevels[4 * pattern + q] - adjusted[q], -128, 127));
        }
    }
}

PKR_AsciiArt::~PKR_AsciiArt() {
    std::free(glyphLut);
    std::free(glyphLevels);
    std::free(errorBuffer);
}
