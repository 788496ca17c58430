// The ASCII-art converter and the converter front ends: the pattern table
// against a plain exhaustive search, the box filter and the doubling, and the
// cell conversion with and without error feedback.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <vector>

#include "display/ascii_art.h"
#include "display/font8x12.h"

namespace {

constexpr int Width = 320;
constexpr int Height = 200;
constexpr int GridCells = 80 * 50;

// Blurred quadrant sums of one character, computed the slow, obvious way.
std::array<int32_t, 4> referenceQuadrants(int ch) {
    auto lit = [ch](int r, int k) {
        if (r < 0 || r >= GlyphHeight || k < 0 || k >= GlyphWidth) return 0;
        return (Font8x12[ch * GlyphHeight + r] >> k) & 1 ? 255 : 0;
    };
    std::array<int32_t, 4> sums{};
    for (int r = 0; r < GlyphHeight; ++r)
        for (int k = 0; k < GlyphWidth; ++k) {
            const int b = (4 * lit(r, k) + 2 * (lit(r, k - 1) + lit(r, k + 1) + lit(r - 1, k) + lit(r + 1, k)) +
                           lit(r - 1, k - 1) + lit(r - 1, k + 1) + lit(r + 1, k - 1) + lit(r + 1, k + 1)) /
                          8;
            sums[(r < 6 ? 0 : 2) + (k < 4 ? 0 : 1)] += b;
        }
    return sums;
}

struct Reference {
    std::array<std::array<int32_t, 4>, 127> sums{};
    std::vector<uint8_t> lut = std::vector<uint8_t>(65536);

    Reference() {
        for (int ch = 32; ch <= 126; ++ch) sums[ch] = referenceQuadrants(ch);
        for (int p = 0; p < 65536; ++p) {
            const int target[4] = {384 * (p >> 12), 384 * (p >> 8 & 15), 384 * (p >> 4 & 15), 384 * (p & 15)};
            int32_t best = 2147483647;
            for (int ch = 32; ch <= 126; ++ch) {
                int32_t d = 0;
                for (int q = 0; q < 4; ++q) d += (sums[ch][q] - target[q]) * (sums[ch][q] - target[q]);
                if (d < best) best = d, lut[p] = static_cast<uint8_t>(ch);
            }
        }
    }
    int level(int ch, int q) const { return sums[ch][q] / 24; }
};

class AsciiArtTable : public testing::Test {
protected:
    static void SetUpTestSuite() {
        art = new PKR_AsciiArt;
        art->init();
        reference = new Reference;
    }
    static void TearDownTestSuite() {
        delete art;
        delete reference;
    }
    static PKR_AsciiArt* art;
    static Reference* reference;
};
PKR_AsciiArt* AsciiArtTable::art = nullptr;
Reference* AsciiArtTable::reference = nullptr;

TEST_F(AsciiArtTable, NamedPatternsPickTheirCharacters) {
    const std::pair<uint16_t, int> named[] = {{0x0000, 32}, {0xFFFF, 48},  {0xFF00, 126}, {0x00FF, 121}, {0xF0F0, 102},
                                              {0x0F0F, 93}, {0x8888, 108}, {0x4444, 61},  {0x2222, 45},  {0x1111, 32},
                                              {0x000F, 95}, {0x00F0, 44},  {0xF000, 39},  {0x0F00, 34}};
    for (auto [pattern, ch] : named) EXPECT_EQ(art->glyphLut[pattern], ch) << std::hex << pattern;

    std::set<int> used(art->glyphLut, art->glyphLut + 65536);
    EXPECT_EQ(used.size(), 93u);
    EXPECT_GE(*used.begin(), 32);
    EXPECT_LE(*used.rbegin(), 126);
}

TEST_F(AsciiArtTable, EqualsExhaustiveSearch) {
    int lutMismatches = 0, levelMismatches = 0;
    for (int p = 0; p < 65536; ++p) {
        const int ch = reference->lut[p];
        lutMismatches += art->glyphLut[p] != ch;
        for (int q = 0; q < 4; ++q)
            levelMismatches += art->glyphLevels[4 * p + q] != std::min(reference->level(ch, q), 255);
    }
    EXPECT_EQ(lutMismatches, 0);
    EXPECT_EQ(levelMismatches, 0);
}

TEST(GlyphMatching, TiesGoToTheLowerCode) {
    // The font has no ties, so build some: every character far off, a few
    // at equal distance from the levels-1 pattern 0x1111 and its neighbours.
    GlyphQuadrants records[256];
    for (auto& r : records) r = {{12240, 12240, 12240, 12240}};
    records[40] = {{768, 768, 768, 768}};
    records[41] = {{0, 0, 0, 0}};
    records[90] = {{0, 0, 0, 0}};             // same as 41
    records[60] = {{0, 768, 0, 768}};         // ties 40 and 41 on 0x1111, but later
    records[70] = {{384 * 15 + 1, 0, 0, 0}};  // ties 71 on 0xF000, each 1 away
    records[71] = {{384 * 15 - 1, 0, 0, 0}};
    std::vector<uint8_t> lut(65536), levels(4 * 65536);
    PKR_AsciiArt::matchPatterns(records, lut.data(), levels.data());
    EXPECT_EQ(lut[0x1111], 40);
    EXPECT_EQ(lut[0x0000], 41);
    EXPECT_EQ(lut[0x0202], 60);
    EXPECT_EQ(lut[0xF000], 70);
    EXPECT_EQ(levels[4 * 0x1111], 32);
    EXPECT_EQ(levels[4 * 0xF000], 240);
}

TEST_F(AsciiArtTable, QuadrantLevelsAboveByteRangeSaturate) {
    std::set<int> bright;
    for (int ch = 32; ch <= 126; ++ch)
        for (int q = 0; q < 4; ++q)
            if (reference->level(ch, q) > 255) bright.insert(ch);
    EXPECT_EQ(bright.size(), 14u);

    int saturated = 0;
    for (int p = 0; p < 65536; ++p)
        for (int q = 0; q < 4; ++q)
            if (reference->level(art->glyphLut[p], q) > 255) {
                EXPECT_EQ(art->glyphLevels[4 * p + q], 255) << std::hex << p;
                ++saturated;
            }
    EXPECT_GT(saturated, 0);
    EXPECT_EQ(art->glyphLevels[4 * 0xFFFF], 255);  // '0' top-left is 259
}

// Records what the front ends hand to the core conversion.
class RecordingConverter : public PKR_TCConverter {
public:
    void init() override {}
    void convertCells(const uint32_t* pixels, const SourceRect* rect, int32_t pitch, int32_t cellColumn,
                      int32_t cellRow, uint16_t*) override {
        seen = *rect;
        seenPitch = pitch;
        seenColumn = cellColumn;
        seenRow = cellRow;
        seenPixels = pixels;
        picture.assign(pixels, pixels + std::max(0, rect->right * rect->bottom));
        ++calls;
    }
    SourceRect seen{};
    int32_t seenPitch = -1, seenColumn = -1, seenRow = -1;
    const uint32_t* seenPixels = nullptr;
    std::vector<uint32_t> picture;
    int calls = 0;
};

TEST(BoxFilter, AveragesMaskedChannelsOfEachFourPixels) {
    RecordingConverter rec;
    std::vector<uint32_t> frame(Width * Height, 0x00FFFFFF);
    const SourceRect whole{0, 0, Width, Height};
    rec.convertHighRes(frame.data(), &whole, Width, 7, 9, nullptr);
    ASSERT_EQ(rec.calls, 1);
    EXPECT_EQ(rec.seen.left, 0);
    EXPECT_EQ(rec.seen.top, 0);
    EXPECT_EQ(rec.seen.right, 160);
    EXPECT_EQ(rec.seen.bottom, 100);
    EXPECT_EQ(rec.seenPitch, 160);
    EXPECT_EQ(rec.seenColumn, 7);
    EXPECT_EQ(rec.seenRow, 9);
    EXPECT_EQ(std::count(rec.picture.begin(), rec.picture.end(), 0x00FCFCFCu), 160 * 100);

    for (uint32_t lost : {0x00030303u, 0xFF000000u}) {
        std::fill(frame.begin(), frame.end(), lost);
        rec.convertHighRes(frame.data(), &whole, Width, 0, 0, nullptr);
        EXPECT_EQ(std::count(rec.picture.begin(), rec.picture.end(), 0u), 160 * 100) << std::hex << lost;
    }

    // One 2x2 block inside a wider picture, read through pitch and offsets.
    std::vector<uint32_t> small(10 * 4, 0x00FFFFFF);
    small[1 * 10 + 3] = small[1 * 10 + 4] = small[2 * 10 + 3] = 4;
    small[2 * 10 + 4] = 0;
    const SourceRect block{3, 1, 5, 3};
    rec.convertHighRes(small.data(), &block, 10, 0, 0, nullptr);
    ASSERT_EQ(rec.picture.size(), 1u);
    EXPECT_EQ(rec.picture[0], 3u);
}

TEST(BoxFilter, OddAndEmptyRectangles) {
    RecordingConverter rec;
    std::vector<uint32_t> frame(322 * Height, 0x00404040);
    const SourceRect wide{0, 0, 321, Height}, narrow{0, 0, 3, Height}, flat{0, 0, Width, 1};
    rec.convertHighRes(frame.data(), &wide, 322, 0, 0, nullptr);
    EXPECT_EQ(rec.seen.right, 160);
    rec.convertHighRes(frame.data(), &narrow, 322, 0, 0, nullptr);
    EXPECT_EQ(rec.seen.right, 1);
    rec.convertHighRes(frame.data(), &flat, 322, 0, 0, nullptr);
    EXPECT_EQ(rec.seen.bottom, 0);
    EXPECT_EQ(rec.calls, 3);
}

TEST(Doubling, CopiesEveryPixelToATwoByTwoBlock) {
    RecordingConverter rec;
    const uint32_t source[3 * 4] = {0, 0, 0, 0,  //
                                    0, 1, 2, 0,  //
                                    0, 3, 4, 0};
    const SourceRect rect{1, 1, 3, 3};
    rec.convertLowRes(source, &rect, 4, 2, 5, nullptr);
    EXPECT_EQ(rec.seen.right, 4);
    EXPECT_EQ(rec.seen.bottom, 4);
    EXPECT_EQ(rec.seenPitch, 4);
    EXPECT_EQ(rec.seenColumn, 2);
    EXPECT_EQ(rec.seenRow, 5);
    EXPECT_EQ(rec.picture, (std::vector<uint32_t>{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
}

TEST(ScratchPicture, KeptFromFrameToFrameAndGrownForALargerOne) {
    RecordingConverter rec;
    std::vector<uint32_t> frame(Width * Height, 0x00808080);
    const SourceRect block{0, 0, 2, 2}, whole{0, 0, Width, Height};
    rec.convertHighRes(frame.data(), &block, Width, 0, 0, nullptr);
    EXPECT_EQ(rec.picture, std::vector<uint32_t>{0x00808080});
    // Larger than the first: the picture grows and is filled in full.
    rec.convertHighRes(frame.data(), &whole, Width, 0, 0, nullptr);
    const uint32_t* first = rec.seenPixels;
    EXPECT_EQ(std::count(rec.picture.begin(), rec.picture.end(), 0x00808080u), 160 * 100);
    // Frame after frame of one size, and a smaller doubling between them,
    // all use that one picture.
    std::fill(frame.begin(), frame.end(), 0x00404040);
    rec.convertLowRes(frame.data(), &block, Width, 0, 0, nullptr);
    EXPECT_EQ(rec.seenPixels, first);
    EXPECT_EQ(rec.picture, std::vector<uint32_t>(16, 0x00404040));
    rec.convertHighRes(frame.data(), &whole, Width, 0, 0, nullptr);
    EXPECT_EQ(rec.seenPixels, first);
    EXPECT_EQ(std::count(rec.picture.begin(), rec.picture.end(), 0x00404040u), 160 * 100);
}

TEST(ConverterDeathTest, OverflowingPictureSizeEndsTheProcess) {
    RecordingConverter rec;
    const uint32_t pixel = 0;
    // 65 536 x 16 384 filtered pixels need exactly 4 GiB: the count wraps.
    const SourceRect huge{0, 0, 131072, 32768};
    EXPECT_DEATH(rec.convertHighRes(&pixel, &huge, 131072, 0, 0, nullptr), "out of memory");
    const SourceRect doubled{0, 0, 20000, 20000};
    EXPECT_DEATH(rec.convertLowRes(&pixel, &doubled, 20000, 0, 0, nullptr), "out of memory");
}

class AsciiArtCells : public AsciiArtTable {
protected:
    // A table that shows the pattern itself: its high byte with high = true,
    // else its low byte.
    static void probePatterns(PKR_AsciiArt& probe, bool high) {
        probe.init();
        for (int p = 0; p < 65536; ++p) probe.glyphLut[p] = static_cast<uint8_t>(high ? p >> 8 : p);
    }
    std::vector<uint16_t> cells = std::vector<uint16_t>(GridCells, 0xBEEF);
};

TEST_F(AsciiArtCells, FlatPicturesGiveSpaceAndZero) {
    std::vector<uint32_t> frame(Width * Height, 0);
    const SourceRect whole{0, 0, Width, Height};
    art->convertHighRes(frame.data(), &whole, Width, 0, 0, cells.data());
    EXPECT_EQ(std::count(cells.begin(), cells.end(), 0x0720), GridCells);

    std::fill(frame.begin(), frame.end(), 0x00FFFFFF);
    art->convertHighRes(frame.data(), &whole, Width, 0, 0, cells.data());
    EXPECT_EQ(std::count(cells.begin(), cells.end(), 0x0730), GridCells);
}

TEST_F(AsciiArtCells, BrightnessQuantisesToPatternNibbles) {
    PKR_AsciiArt high, low;
    probePatterns(high, true);
    probePatterns(low, false);
    // Quadrants in pattern order: red 76 -> 4, green 153 -> 9, blue 25 -> 1,
    // grey 16 -> 1; grey 15 -> 0.
    const uint32_t picture[2 * 4] = {0x00FF0000, 0x0000FF00, 0x00101010, 0x000F0F0F,  //
                                     0x000000FF, 0x00101010, 0xFF0F0F0F, 0x00000000};
    const SourceRect rect{0, 0, 4, 2};
    std::vector<uint16_t> highCells = cells;
    high.convertCells(picture, &rect, 4, 0, 0, highCells.data());
    low.convertCells(picture, &rect, 4, 0, 0, cells.data());
    EXPECT_EQ(highCells[0], 0x0749);
    EXPECT_EQ(cells[0], 0x0711);
    EXPECT_EQ(highCells[1], 0x0710);
    EXPECT_EQ(cells[1], 0x0700);

    // Exact brightness shows in the feedback error: level 127 minus brightness.
    std::fill(low.glyphLevels, low.glyphLevels + 4 * 65536, 127);
    low.setFlags(1);
    low.convertCells(picture, &rect, 4, 0, 0, cells.data());
    EXPECT_EQ(low.errorBuffer[0], 127 - 76);
    EXPECT_EQ(low.errorBuffer[1], 127 - 153);
    EXPECT_EQ(low.errorBuffer[2], 127 - 25);
}

TEST_F(AsciiArtCells, WritesOnlyTheTargetRectangleOfCells) {
    PKR_AsciiArt probe;
    probePatterns(probe, true);
    // A 12x8 picture whose pixels encode their own coordinates; the 9x7
    // rectangle at (2, 1) loses its odd column and row: 4x3 cells.
    std::vector<uint32_t> picture(12 * 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) picture[y * 12 + x] = static_cast<uint32_t>(0x10 * ((x + y) & 15)) * 0x010101u;
    const SourceRect rect{2, 1, 11, 8};
    probe.convertCells(picture.data(), &rect, 12, 10, 3, cells.data());
    for (int r = 0; r < 50; ++r)
        for (int c = 0; c < 80; ++c) {
            const uint16_t cell = cells[r * 80 + c];
            if (r >= 3 && r < 6 && c >= 10 && c < 14) {
                const int x = 2 + 2 * (c - 10), y = 1 + 2 * (r - 3);
                EXPECT_EQ(cell, 0x0700 | ((x + y) & 15) << 4 | ((x + 1 + y) & 15)) << c << "," << r;
            } else {
                EXPECT_EQ(cell, 0xBEEF) << c << "," << r;
            }
        }

    const SourceRect thin{0, 0, 1, 8}, empty{0, 0, 12, 1};
    probe.convertCells(picture.data(), &thin, 12, 0, 0, cells.data());
    probe.convertCells(picture.data(), &empty, 12, 0, 0, cells.data());
    EXPECT_EQ(std::count(cells.begin(), cells.end(), 0xBEEF), GridCells - 12);
}

TEST_F(AsciiArtCells, OddWidthsConvertLikeTheEvenWidthBelow) {
    std::vector<uint32_t> frame(322 * Height);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint32_t>(i * 2654435761u) & 0x00FFFFFF;
    const SourceRect even{0, 0, 320, Height}, odd{0, 0, 321, Height}, three{0, 0, 3, Height};
    std::vector<uint16_t> expected = cells;
    art->convertHighRes(frame.data(), &even, 322, 0, 0, expected.data());
    art->convertHighRes(frame.data(), &odd, 322, 0, 0, cells.data());
    EXPECT_EQ(cells, expected);

    std::fill(cells.begin(), cells.end(), 0xBEEF);
    art->convertHighRes(frame.data(), &three, 322, 0, 0, cells.data());
    EXPECT_EQ(std::count(cells.begin(), cells.end(), 0xBEEF), GridCells);
}

TEST_F(AsciiArtCells, ErrorFeedbackCarriesToTheNextConversion) {
    PKR_AsciiArt feedback;
    feedback.init();
    const uint32_t grey[4] = {0x00404040, 0x00404040, 0x00404040, 0x00404040};  // brightness 64
    const SourceRect cell{0, 0, 2, 2};
    const int8_t* error = feedback.errorBuffer + 4 * (2 * 80 + 5);

    // Flag clear: the buffer is neither read nor written, results repeat.
    std::fill(feedback.errorBuffer, feedback.errorBuffer + 64000, int8_t{0x5A});
    feedback.convertCells(grey, &cell, 2, 5, 2, cells.data());
    EXPECT_EQ(cells[2 * 80 + 5], 0x0700 | '=');
    EXPECT_EQ(std::count(feedback.errorBuffer, feedback.errorBuffer + 64000, 0x5A), 64000);
    std::fill(feedback.errorBuffer, feedback.errorBuffer + 64000, int8_t{0});

    // '=' has levels 79, 79, 47, 47; the error terms steer the next
    // conversion of the same cell to 79, 79, 47, 47 -> pattern 0x4422, '-'
    // (levels 59, 47, 19, 15).
    feedback.setFlags(1);
    feedback.convertCells(grey, &cell, 2, 5, 2, cells.data());
    EXPECT_EQ(cells[2 * 80 + 5], 0x0700 | '=');
    EXPECT_EQ((std::vector<int>(error, error + 4)), (std::vector<int>{15, 15, -17, -17}));
    feedback.convertCells(grey, &cell, 2, 5, 2, cells.data());
    EXPECT_EQ(cells[2 * 80 + 5], 0x0700 | '-');
    EXPECT_EQ((std::vector<int>(error, error + 4)), (std::vector<int>{-20, -32, -28, -32}));
    EXPECT_EQ(std::count(feedback.errorBuffer, feedback.errorBuffer + 64000, 0), 64000 - 4);

    // A lone white bottom-right pixel becomes '_' (levels 0, 0, 79, 79): the
    // error 79 - 255 does not fit a byte and clamps instead of turning positive.
    const uint32_t corner[4] = {0, 0, 0, 0x00FFFFFF};
    feedback.convertCells(corner, &cell, 2, 0, 0, cells.data());
    EXPECT_EQ(cells[0], 0x0700 | '_');
    EXPECT_EQ((std::vector<int>(feedback.errorBuffer, feedback.errorBuffer + 4)), (std::vector<int>{0, 0, 79, -128}));
}

}  // namespace
