// Which grid a terminal gets: the whole picture in its 640:600 shape, the
// console's own cells where the terminal's cells have their shape and room
// for them (or when asked for).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "display/terminal_grid.h"

namespace {

struct Case {
    int columns, rows;
    CellShape shape;
    FitMode mode;
    PictureGrid expected;
};

std::string describe(const Case& c) {
    return std::to_string(c.columns) + "x" + std::to_string(c.rows) + " cells of " + std::to_string(c.shape.width) +
           ":" + std::to_string(c.shape.height) + ", mode " + std::to_string(static_cast<int>(c.mode));
}

constexpr PictureGrid Exact{true, 80, 50};
constexpr PictureGrid fit(int columns, int rows) {
    return {false, columns, rows};
}

TEST(TerminalGrid, TableOfTerminalsAndCellShapes) {
    const CellShape half{1, 2};     // no pixel size reported
    const CellShape xterm{6, 13};   // 6x13 pixel cells
    const CellShape console{2, 3};  // the console's own 8x12
    const Case cases[] = {
        // Twice as tall as wide: the picture fitted at every size, the
        // 80x50 cells (too narrow on these cells) only when asked for.
        {80, 24, half, FitMode::Auto, fit(51, 24)},
        {100, 30, half, FitMode::Auto, fit(64, 30)},
        {120, 40, half, FitMode::Auto, fit(85, 40)},
        {80, 50, half, FitMode::Auto, fit(80, 38)},  // 37.5 rows, rounded up
        {100, 55, half, FitMode::Auto, fit(100, 47)},
        {200, 60, half, FitMode::Auto, fit(128, 60)},
        {266, 76, half, FitMode::Auto, fit(162, 76)},
        {1, 1, half, FitMode::Auto, fit(1, 1)},
        {400, 200, half, FitMode::Auto, fit(400, 188)},
        {1000, 1000, half, FitMode::Auto, fit(400, 188)},  // no more than 400 x 200 cells
        {79, 50, half, FitMode::Auto, fit(79, 37)},
        {80, 49, half, FitMode::Auto, fit(80, 38)},
        // --fill names the default.
        {80, 24, half, FitMode::Fill, fit(51, 24)},
        {100, 55, half, FitMode::Fill, fit(100, 47)},
        {200, 60, half, FitMode::Fill, fit(128, 60)},
        {80, 24, half, FitMode::Exact, Exact},
        {200, 60, half, FitMode::Exact, Exact},
        // Pixel sizes reported: 6x13.
        {80, 24, xterm, FitMode::Auto, fit(55, 24)},
        {100, 30, xterm, FitMode::Auto, fit(69, 30)},
        {120, 40, xterm, FitMode::Auto, fit(92, 40)},
        {80, 50, xterm, FitMode::Auto, fit(80, 35)},
        {80, 50, xterm, FitMode::Fill, fit(80, 35)},
        {80, 50, xterm, FitMode::Exact, Exact},
        {200, 60, xterm, FitMode::Auto, fit(139, 60)},
        {1, 1, xterm, FitMode::Auto, fit(1, 1)},
        {400, 200, xterm, FitMode::Fill, fit(400, 173)},
        // Cells of the console's own shape: with room for 80x50 of them,
        // those are the console, and stay so in a larger terminal.
        {80, 24, console, FitMode::Auto, fit(38, 24)},
        {79, 50, console, FitMode::Auto, fit(79, 49)},
        {80, 50, console, FitMode::Auto, Exact},
        {80, 50, console, FitMode::Fill, Exact},
        {200, 60, console, FitMode::Fill, Exact},
        {80, 50, CellShape{8, 12}, FitMode::Auto, Exact},
        // Within 4 % of 8x12: 31x48 is 3.1 % narrower; 30x48 (6.3 %) and
        // 9x12 (12.5 % wider) are not the console's shape.
        {80, 50, CellShape{31, 48}, FitMode::Auto, Exact},
        {80, 50, CellShape{30, 48}, FitMode::Auto, fit(80, 47)},
        {80, 50, CellShape{9, 12}, FitMode::Auto, fit(71, 50)},
        // A terminal that reports no size at all still gets one cell.
        {0, 0, half, FitMode::Auto, fit(1, 1)},
    };
    for (const Case& c : cases) {
        const PictureGrid g = pictureGridFor(c.columns, c.rows, c.shape, c.mode);
        EXPECT_TRUE(g.exact == c.expected.exact && g.columns == c.expected.columns && g.rows == c.expected.rows)
            << describe(c) << ": got " << (g.exact ? "exact " : "fit ") << g.columns << "x" << g.rows;
    }
}

TEST(TerminalGrid, OnlyCellsOfTheConsolesShapeAreTheConsoles) {
    EXPECT_TRUE(consoleShaped({2, 3}));
    EXPECT_TRUE(consoleShaped({10, 15}));
    EXPECT_FALSE(consoleShaped({1, 2}));
    EXPECT_FALSE(consoleShaped({10, 19}));  // VTE's
    EXPECT_FALSE(consoleShaped({0, 0}));
    EXPECT_FALSE(consoleShaped({-2, -3}));
    // The edge: 4 % either way.
    EXPECT_TRUE(consoleShaped({104, 150}));
    EXPECT_FALSE(consoleShaped({105, 150}));
    EXPECT_TRUE(consoleShaped({96, 150}));
    EXPECT_FALSE(consoleShaped({95, 150}));
}

TEST(TerminalGrid, CellShapeFromThePixelSize) {
    auto same = [](CellShape a, CellShape b) { return a.width == b.width && a.height == b.height; };
    EXPECT_TRUE(same(cellShapeFor(80, 24, 560, 336), {1, 2}));  // 7x14
    EXPECT_TRUE(same(cellShapeFor(80, 24, 480, 312), {6, 13}));
    EXPECT_TRUE(same(cellShapeFor(80, 50, 640, 600), {2, 3}));
    // Not reported, or only in part: twice as tall as wide.
    EXPECT_TRUE(same(cellShapeFor(80, 24, 0, 0), DefaultCellShape));
    EXPECT_TRUE(same(cellShapeFor(80, 24, 640, 0), DefaultCellShape));
    EXPECT_TRUE(same(cellShapeFor(0, 0, 640, 480), DefaultCellShape));
    // The largest sizes a kernel can report do not overflow.
    EXPECT_TRUE(same(cellShapeFor(65535, 65535, 65535, 65535), {1, 1}));
}

TEST(TerminalGrid, FitIsTheLargestGridInTheConsolesShape) {
    // Every terminal up to 220x90 for three cell shapes: the grid fits, one
    // side fills the terminal, and the shape is 640:600 to within half a
    // cell each way.
    for (const CellShape shape : {CellShape{1, 2}, CellShape{6, 13}, CellShape{10, 9}}) {
        for (int columns = 1; columns <= 220; columns += 3) {
            for (int rows = 1; rows <= 90; ++rows) {
                const PictureGrid g = pictureGridFor(columns, rows, shape, FitMode::Fill);
                ASSERT_FALSE(g.exact);
                ASSERT_TRUE(g.columns >= 1 && g.columns <= columns && g.rows >= 1 && g.rows <= rows)
                    << columns << "x" << rows << " -> " << g.columns << "x" << g.rows;
                ASSERT_TRUE(g.columns == columns || g.rows == rows) << columns << "x" << rows;
                // |W w 15 - H h 16| within half a cell of either side.
                const int64_t off = std::llabs(g.columns * shape.width * 15 - g.rows * shape.height * 16);
                if (g.columns > 1 && g.rows > 1) {
                    ASSERT_LE(2 * off, std::max(shape.width * 15, shape.height * 16))
                        << columns << "x" << rows << " -> " << g.columns << "x" << g.rows;
                }
            }
        }
    }
}

TEST(TerminalGrid, OnlyASmallWindowIsAskedToGrowAndNeverToShrink) {
    struct Window {
        int x, y;
        bool asked;
        int width, height;
    };
    const Window cases[] = {
        {480, 312, true, 640, 600},     // xterm's 80x24 of 6x13: the console's picture
        {800, 456, true, 800, 750},     // wide enough already: only taller, to 16:15
        {600, 900, true, 960, 900},     // tall enough already: only wider
        {1600, 500, true, 1600, 1500},  // never narrower than it was
        {639, 600, true, 640, 600},     // one pixel short
        {640, 600, false, 0, 0},        // room for the console's picture: nothing asked
        {1600, 1000, false, 0, 0},      // a maximised window is left alone
        {0, 0, false, 0, 0},            // pixel size unknown: nothing asked blind
        {480, 0, false, 0, 0},
    };
    for (const Window& c : cases) {
        int width = 0, height = 0;
        const bool asked = growRequestFor(c.x, c.y, width, height);
        EXPECT_EQ(asked, c.asked) << c.x << "x" << c.y;
        if (!asked || !c.asked) continue;
        EXPECT_EQ(width, c.width) << c.x << "x" << c.y;
        EXPECT_EQ(height, c.height) << c.x << "x" << c.y;
        EXPECT_TRUE(width >= c.x && height >= c.y) << "shrunk " << c.x << "x" << c.y;
        // The picture's shape, rounded up to whole pixels.
        EXPECT_LE(std::llabs(int64_t{width} * 15 - int64_t{height} * 16), 16) << c.x << "x" << c.y;
    }
}

}  // namespace
